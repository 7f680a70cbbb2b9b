#include <gtest/gtest.h>

#include <cstring>

#include "sim/VirtualBus.h"

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
    };
    for (const auto& c : cases) {
        CVirtualBus bus;
        std::string error;
        EXPECT_FALSE(bus.LoadDescription(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

TEST(BusDescription, ManagerDown)
{
    CVirtualBus bus;
    ASSERT_TRUE(bus.LoadDescription("manager down\nhost 0\n", nullptr));
    EXPECT_FALSE(bus.ManagerReady());
}

}  // namespace
