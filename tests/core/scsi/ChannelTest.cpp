#include <algorithm>
#include <cstring>
#include <functional>

#include "core/scsi/ScsiBuffer.h"
#include "tests/core/scsi/ScsiBench.h"

namespace {

constexpr uint32_t kMs = 30000;

struct CChannelCase {
    const char* name;
    std::function<TransportResult(CScsiChannel&)> send;
    const char* cdb;
    int direction;
    uint32_t length;  // bytes the transport moved or offered
};

std::vector<CChannelCase> ChannelCases()
{
    using B = CScsiByteBuffer;
    using W = CScsiWindowList;
    using F2 = CScsiFixedBuffer<2>;
    using F6 = CScsiFixedBuffer<6>;
    using F9 = CScsiFixedBuffer<9>;
    using F10 = CScsiFixedBuffer<10>;
    // Each operation brings its own data block, alive until its command is done.
    return {
        {"TestUnitReady",
         [](CScsiChannel& c) {
             F6 b;
             return c.TestUnitReady(b, kMs, kSense);
         },
         "00 00 00 00 00 00", 0, 6},
        {"ScanWindows",
         [](CScsiChannel& c) {
             B b(3);
             return c.ScanWindows(b, 0x80, kMs, kSense);
         },
         "1b 00 00 00 03 80", 0x10, 3},
        {"Read10",
         [](CScsiChannel& c) {
             B b(0x12345);
             return c.Read10(b, 0x12345, 0x81, 0x0203, true, kMs, kSense);
         },
         "28 00 81 00 02 03 01 23 45 00", 0x08, 0x12345},
        {"GetDataBufferStatus",
         [](CScsiChannel& c) {
             B b(12);
             return c.GetDataBufferStatus(b, 5, kMs, kSense);
         },
         "34 01 00 00 00 00 00 00 0c 00", 0x08, 12},
        {"Send10",
         [](CScsiChannel& c) {
             B b(4);
             return c.Send10(b, 0x80, 0x0102, kMs, kSense);
         },
         "2a 00 80 00 01 02 00 00 04 00", 0x10, 4},
        {"Send10WithControl",
         [](CScsiChannel& c) {
             B b(0x10203);
             return c.Send10WithControl(b, 0x88, 1, 0xC0, kMs, kSense);
         },
         "2a 00 88 00 00 01 01 02 03 c0", 0x10, 0x10203},
        {"SetWindow",
         [](CScsiChannel& c) {
             W b(1, 48);
             return c.SetWindow(b, kMs, kSense);
         },
         "24 00 00 00 00 00 00 00 38 00", 0x10, 56},
        {"GetWindow",
         [](CScsiChannel& c) {
             W b(1, 48);
             return c.GetWindow(b, kMs, kSense);
         },
         "25 00 00 00 00 00 00 00 38 00", 0x08, 56},
        {"ReserveUnit",
         [](CScsiChannel& c) {
             F6 b;
             return c.ReserveUnit(b, kMs, kSense);
         },
         "16 00 00 00 00 00", 0, 6},
        {"ReleaseUnit",
         [](CScsiChannel& c) {
             F6 b;
             return c.ReleaseUnit(b, kMs, kSense);
         },
         "17 00 00 00 00 00", 0, 6},
        {"ObjectPositionUnload",
         [](CScsiChannel& c) {
             F6 b;
             return c.ObjectPositionUnload(b, kMs, kSense);
         },
         "31 00 00 00 00 00 00 00 00 00", 0, 6},
        {"DefineWindowParams",
         [](CScsiChannel& c) {
             F9 b;
             return c.DefineWindowParams(b, kMs, kSense);
         },
         "04 00 00 00 09 00", 0x10, 9},
        {"Read6",
         [](CScsiChannel& c) {
             B b(0x10203);
             return c.Read6(b, 0x10203, true, kMs, kSense);
         },
         "08 00 01 02 03 00", 0x08, 0x10203},
        {"GetBufferStatus6",
         [](CScsiChannel& c) {
             F6 b;
             return c.GetBufferStatus6(b, kMs, kSense);
         },
         "0f 00 00 00 06 00", 0x08, 6},
        {"GetBufferStatus9",
         [](CScsiChannel& c) {
             F9 b;
             return c.GetBufferStatus9(b, kMs, kSense);
         },
         "0f 00 00 00 09 00", 0x08, 9},
        {"SetAccessory",
         [](CScsiChannel& c) {
             F6 b;
             return c.SetAccessory(b, 3, kMs, kSense);
         },
         "10 00 00 00 03 00", 0, 6},
        {"ModeSelect",
         [](CScsiChannel& c) {
             B b(12);
             return c.ModeSelect(b, 12, kMs, kSense);
         },
         "15 00 00 00 0c 00", 0x10, 12},
        {"ModeSelect1",
         [](CScsiChannel& c) {
             F10 b;
             return c.ModeSelect1(b, kMs, kSense);
         },
         "16 00 00 00 0a 00", 0x10, 10},
        {"Scan",
         [](CScsiChannel& c) {
             F6 b;
             return c.Scan(b, 2, kMs, true, kSense);
         },
         "1b 00 00 00 02 00", 0, 6},
        {"DownloadLookupTable",
         [](CScsiChannel& c) {
             B b(768);
             return c.DownloadLookupTable(b, 0x27, 0x10, kMs, kSense);
         },
         "55 00 10 00 00 00 00 03 00 27", 0x10, 768},
        {"StartShadingSampling",
         [](CScsiChannel& c) {
             F2 b;
             return c.StartShadingSampling(b, kMs, kSense);
         },
         "11 00 00 00 02 00", 0x10, 2},
        {"DownloadCalibration",
         [](CScsiChannel& c) {
             B b(0x1234);
             return c.DownloadCalibration(b, kMs, kSense);
         },
         "0c 00 00 12 34 00", 0x10, 0x1234},
    };
}

using ChannelTest = TransportBench;

TEST_P(ChannelTest, EveryOperationSendsItsCommandBlock)
{
    for (const CChannelCase& c : ChannelCases()) {
        Device().ClearLog();
        c.send(Channel());
        std::vector<CSimLogEntry> log = Device().Log();
        ASSERT_EQ(log.size(), 1u) << c.name;
        EXPECT_EQ(log[0].CdbText(), c.cdb) << c.name;
        EXPECT_EQ(log[0].direction, c.direction) << c.name;
        EXPECT_EQ(log[0].length, c.length) << c.name;
    }
}

TEST_P(ChannelTest, SendCarriesTheBlockBytes)
{
    CScsiByteBuffer block(4);
    const uint8_t value[4] = {0x00, 0x01, 0x02, 0x2C};
    std::memcpy(block.GetData(), value, 4);
    EXPECT_EQ(Channel().Send10(block, 0xA2, 7, kMs, kSense), kScsiGood);
    EXPECT_EQ(Device().SentData(0xA2, 7), std::vector<uint8_t>(value, value + 4));
}

TEST_P(ChannelTest, InquiryOfAFreshBlockAsksForTheHeaderFirst)
{
    struct Case {
        size_t imageLength;
        bool longBlock;
        std::vector<std::string> transcript;
        uint32_t length;
    };
    const Case cases[] = {
        {36, false, {"12 00 00 00 05 00", "12 00 00 00 24 00"}, 36},
        {200, false, {"12 00 00 00 05 00", "12 00 00 00 60 00"}, 96},
        {200, true, {"12 00 00 00 05 00", "12 00 00 00 c8 00"}, 200},
        {255 + 5, true, {"12 00 00 00 05 00", "12 00 00 00 f0 00"}, 240},
    };
    for (const Case& c : cases) {
        Device().ClearLog();
        Device().SetInquiryImage(
            CVirtualTarget::MakeInquiryImage(6, "ZELK", "FILM 35", "1.10", c.imageLength));
        CScsiInquiryBuffer shortBlock;
        CLongInquiryBuffer longBlock;
        CScsiBuffer& block = c.longBlock ? static_cast<CScsiBuffer&>(longBlock) : shortBlock;
        EXPECT_EQ(Channel().Inquiry(block, 1000, kSense), kScsiGood);
        EXPECT_EQ(Device().Transcript(), c.transcript) << c.imageLength;
        EXPECT_EQ(block.GetLength(), c.length);
        if (!c.longBlock) {
            EXPECT_EQ(shortBlock.GetVendor(), CString("ZELK    "));
            EXPECT_EQ(shortBlock.GetProduct(), CString("FILM 35         "));
            EXPECT_EQ(shortBlock.GetRevision(), CString("1.10"));
        }
    }
}

TEST_P(ChannelTest, InquiryOfAKnownLengthIsOneCommand)
{
    CScsiInquiryBuffer block;
    block.GetData()[4] = 31;
    EXPECT_EQ(Channel().Inquiry(block, 1000, kSense), kScsiGood);
    EXPECT_EQ(Device().Transcript(), std::vector<std::string>{"12 00 00 00 24 00"});
    EXPECT_EQ(block.GetProduct(), CString("FLATBED 600     "));
}

// Devices may announce more INQUIRY data than they send; the channel keeps what came instead of
// taking the transport's underrun as a failed search.
TEST_P(ChannelTest, ShortInquiryKeepsWhatCame)
{
    struct Case {
        const char* name;
        size_t sent;  // bytes of the image the device has
        int shortTo;  // a short-transfer fault on the second INQUIRY; -1 none
        size_t kept;
    };
    const Case cases[] = {
        {"announces 96, has 40", 40, -1, 40},
        {"transfer cut at 36", 96, 36, 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", "FILM 35", "1.10", 96);
        std::fill(image.begin() + 36, image.end(), 0x5A);
        image.resize(c.sent);
        Device().SetInquiryImage(image);
        Device().ClearFaults();
        if (c.shortTo >= 0) {
            CSimFault fault;
            fault.kind = SimFaultKind::ShortTransfer;
            fault.opcode = 0x12;
            fault.skip = 1;
            fault.bytes = uint32_t(c.shortTo);
            Device().AddFault(fault);
        }
        Device().ClearLog();
        CScsiInquiryBuffer block;
        EXPECT_EQ(Channel().Inquiry(block, 1000, kSense), kScsiGood);
        EXPECT_EQ(Device().Transcript(), (std::vector<std::string>{"12 00 00 00 05 00", "12 00 00 00 60 00"}));
        EXPECT_EQ(block.GetProduct(), CString("FILM 35         "));
        EXPECT_EQ(block.GetRevision(), CString("1.10"));
        const uint8_t* data = block.GetData();
        EXPECT_TRUE(std::equal(data, data + c.kept, image.begin()));
        EXPECT_TRUE(std::all_of(data + c.kept, data + 96, [](uint8_t b) { return b == 0; }))
            << "bytes the device never sent";
    }
}

TEST_P(ChannelTest, FailedHeaderInquiryStopsThere)
{
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = 0x12;
    fault.sense = CSimSense{0x05, 0x25, 0x00};
    Device().AddFault(fault);
    CScsiInquiryBuffer block;
    EXPECT_EQ(Channel().Inquiry(block, 1000, kSense), kScsiCheckCondition);
    EXPECT_EQ(Device().Transcript().size(), 1u);
    EXPECT_EQ(block.m_sense[2], 0x05);
    EXPECT_EQ(block.m_sense[12], 0x25);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, ChannelTest,
                         testing::Values(kScsiDriverAspi32, kScsiDriverNtScsi), TransportName);

}  // namespace
