#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/VirtualBus.h"
#include "tests/support/Screenshot.h"

namespace {

CSimReply RunOn(CVirtualBus& bus, const CSimAddress& address, std::vector<uint8_t> cdb,
                std::vector<uint8_t>& data)
{
    CSimCommand cmd;
    cmd.cdb = cdb.data();
    cmd.cdbLength = int(cdb.size());
    cmd.direction = data.empty() ? 0 : kSimDataIn;
    cmd.data = data.data();
    cmd.length = uint32_t(data.size());
    return bus.Execute(address, cmd);
}

const char kDescription[] = R"(# two adapters, a scanner on each
host 0 name="AHA-2940 Sparrow" targets=16 maxtransfer=65536 pages=17
host 1 name="ESDI_506 PORT" buses=2 immediate=1
device 0 0 3 kind=generic vendor="ZELK" product="FLATBED 600" revision="2.09" scanner=1
device 1 1 4 product="SECOND" tur=busy:2,ready reserved=foreign scanner=0
fault 0 0 3 kind=check opcode=0x28 sense=3/3b/08 count=0
fault 0 0 3 kind=delay ms=40
manager ready
)";

TEST(BusDescription, BuildsHostsDevicesAndFaults)
{
    CVirtualBus bus;
    std::string error;
    ASSERT_TRUE(bus.LoadDescription(kDescription, &error)) << error;
    ASSERT_EQ(bus.HostCount(), 2);
    CSimHostInfo host;
    ASSERT_TRUE(bus.GetHost(0, host));
    EXPECT_STREQ(host.name, "AHA-2940 Sparrow");
    EXPECT_EQ(host.targets, 16);
    EXPECT_EQ(host.maxTransfer, 65536u);
    ASSERT_TRUE(bus.GetHost(1, host));
    EXPECT_EQ(host.buses, 2);
    EXPECT_TRUE(host.immediate);
    EXPECT_TRUE(bus.ManagerReady());

    CSimAddress scanner;
    ASSERT_TRUE(bus.GetScannerDevice(0, scanner));
    EXPECT_EQ(scanner.host, 1);
    EXPECT_EQ(scanner.bus, 1);
    EXPECT_EQ(scanner.target, 4);
    EXPECT_FALSE(bus.GetScannerDevice(2, scanner));

    std::vector<uint8_t> inquiry(36);
    CSimAddress first{0, 0, 3, 0};
    CSimReply reply = RunOn(bus, first, {0x12, 0, 0, 0, 36, 0}, inquiry);
    EXPECT_EQ(reply.status, kSimGood);
    EXPECT_EQ(reply.delayMs, 40u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&inquiry[8]), 28),
              "ZELK    FLATBED 600     2.09");

    std::vector<uint8_t> data(8);
    reply = RunOn(bus, first, {0x28, 0, 0, 0, 0, 0, 0, 0, 8, 0}, data);
    EXPECT_EQ(reply.status, kSimCheckCondition);
    EXPECT_EQ(reply.sense[2], 3);
    EXPECT_EQ(reply.sense[12], 0x3B);
    EXPECT_EQ(reply.sense[13], 0x08);

    std::vector<uint8_t> none;
    CSimAddress second{1, 1, 4, 0};
    EXPECT_EQ(RunOn(bus, second, {0, 0, 0, 0, 0, 0}, none).status, kSimReservationConflict);
}

TEST(BusDescription, EmptySlotsAnswerNoSelection)
{
    CVirtualBus bus;
    ASSERT_TRUE(bus.LoadDescription("host 0\ndevice 0 0 2\n", nullptr));
    std::vector<uint8_t> none;
    const CSimAddress cases[] = {{0, 0, 5, 0}, {0, 1, 2, 0}, {1, 0, 2, 0}, {0, 0, 2, 1}};
    for (const CSimAddress& a : cases)
        EXPECT_EQ(RunOn(bus, a, {0, 0, 0, 0, 0, 0}, none).disposition, SimDisposition::NoTarget)
            << a.host << ":" << a.bus << ":" << a.target << ":" << a.lun;
    EXPECT_EQ(RunOn(bus, {0, 0, 2, 0}, {0, 0, 0, 0, 0, 0}, none).disposition,
              SimDisposition::Complete);
}

TEST(BusDescription, BadLinesAreRefusedWithTheirNumber)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"host 0\nscanner 1\n", "line 2: cannot read \"scanner\" line"},
        {"device 0 0 1 kind=toaster\n", "line 1: unknown device kind \"toaster\""},
        {"host 0\nfault 0 0 1 kind=busy\n", "line 2: fault needs a device and a known kind"},
        {"device 0 0 1\nfault 0 0 1 kind=check sense=5\n", "line 2: sense is key/asc/ascq in hex"},
        {"device 0 0 1 tur=sleepy\n", "line 1: bad tur script"},
        {"host\n", "line 1: host needs its number"},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=70/0g\n", "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=70//05\n", "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=070\n", "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=\n", "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=70/\n", "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1\nfault 0 0 1 kind=check rawsense=0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0\n",
         "line 2: rawsense is 1 to 32 hex bytes b0/b1/..."},
        {"device 0 0 1 transcript=no-such-folder\\t.txt\n", "line 1: cannot write transcript \"no-such-folder\\t.txt\""},
    };
    for (const auto& c : cases) {
        CVirtualBus bus;
        std::string error;
        EXPECT_FALSE(bus.LoadDescription(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

TEST(BusDescription, TranscriptFileGetsALinePerCommandAsItArrives)
{
    const std::string path = testsupport::ProgramDirectory() + "sim_transcript.txt";
    std::ofstream(path, std::ios::binary) << "left from an earlier run\n";
    CVirtualBus bus;
    std::string error;
    ASSERT_TRUE(bus.LoadDescription("host 0\ndevice 0 0 3 transcript=\"" + path + "\"\n", &error)) << error;
    EXPECT_TRUE(FileLines(path).empty()) << "a load starts the file afresh";

    const CSimAddress address{0, 0, 3, 0};
    std::vector<uint8_t> none;
    RunOn(bus, address, {0, 0, 0, 0, 0, 0}, none);
    EXPECT_EQ(FileLines(path), std::vector<std::string>{"00 00 00 00 00 00"}) << "written before the next command";
    std::vector<uint8_t> table = {9, 8, 7};
    CSimCommand send;
    const uint8_t cdb[10] = {0x2A, 0, 0x80, 0, 0, 1, 0, 0, 3, 0};
    send.cdb = cdb;
    send.cdbLength = 10;
    send.direction = kSimDataOut;
    send.data = table.data();
    send.length = 3;
    bus.Execute(address, send);
    std::vector<uint8_t> inquiry(36);
    RunOn(bus, address, {0x12, 0, 0, 0, 36, 0}, inquiry);

    const std::vector<std::string> expected = {
        "00 00 00 00 00 00",
        "2a 00 80 00 00 01 00 00 03 00 > 3",
        "12 00 00 00 24 00",
    };
    EXPECT_EQ(FileLines(path), expected);
    DeleteFileA(path.c_str());
}

TEST(BusDescription, RawSenseIsSentAsGiven)
{
    CVirtualBus bus;
    std::string error;
    ASSERT_TRUE(bus.LoadDescription("host 0\ndevice 0 0 3\n"
                                    "fault 0 0 3 kind=check opcode=0 sense=3/3b/08 rawsense=81/2/0a/FF/0\n",
                                    &error))
        << error;
    std::vector<uint8_t> none;
    CSimReply reply = RunOn(bus, {0, 0, 3, 0}, {0, 0, 0, 0, 0, 0}, none);
    ASSERT_EQ(reply.status, kSimCheckCondition);
    EXPECT_EQ(std::vector<uint8_t>(reply.sense, reply.sense + reply.senseLength),
              (std::vector<uint8_t>{0x81, 0x02, 0x0A, 0xFF, 0x00}));
    std::vector<uint8_t> sense(18, 0xEE);
    reply = RunOn(bus, {0, 0, 3, 0}, {0x03, 0, 0, 0, 18, 0}, sense);
    EXPECT_EQ(reply.transferred, 5u) << "REQUEST SENSE returns the same bytes";
    EXPECT_EQ(sense[0], 0x81);
}

TEST(BusDescription, ManagerDown)
{
    CVirtualBus bus;
    ASSERT_TRUE(bus.LoadDescription("manager down\nhost 0\n", nullptr));
    EXPECT_FALSE(bus.ManagerReady());
}

}  // namespace
