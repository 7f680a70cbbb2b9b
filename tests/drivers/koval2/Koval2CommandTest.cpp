#include "drivers/koval2/Koval2Driver.h"

#include "core/cms/CmsEngineInstance.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/util/Clock.h"
#include "drivers/koval2/Koval2Exposure.h"
#include "tests/core/driver/FakeCmsEngine.h"
#include "tests/drivers/koval2/Koval2Bench.h"
#include "tests/support/Screenshot.h"

#include <cstring>

#include <fstream>
#include <string>
#include <vector>

namespace {

class Koval2CommandTest : public Koval2Bench {};

std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(Koval2Exposure, DensitiesBecomeExposureAndLevels)
{
    const CExposureRange koval2Reflective = {50, 2300, 900, 1000};
    struct Case {
        uint32_t minDensity, maxDensity, limit;
        CExposure expected;
    };
    const Case kCases[] = {
        {50, 2300, 121, {7, 0, 255}},       // the device's whole range: shortest exposure
        {300, 2000, 150, {23, 2, 212}},
        {0, 5000, 150, {7, 0, 255}},        // settings outside the device range are brought in
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.minDensity << ".." << c.maxDensity);
        CExposure e = ComputeExposure(c.minDensity, c.maxDensity, koval2Reflective, c.limit);
        EXPECT_EQ(c.expected.m_nExposure, e.m_nExposure);
        EXPECT_EQ(c.expected.m_nHigh, e.m_nHigh);
        EXPECT_EQ(c.expected.m_nLow, e.m_nLow);
    }
}

TEST_F(Koval2CommandTest, LookupTablesGoBigEndianWithTheirChannelByte)
{
    struct Case {
        const char* lut;            // INQUIRY byte 66
        int32_t type;
        uint32_t entries;
        std::vector<uint8_t> tableBytes;
    };
    const Case kCases[] = {
        {"34", kImageGrey, 1024, {0x01}},                    // 0x22: 1024 entries, two bytes each
        {"34", kImageRgb, 1024, {0x41, 0x81, 0xC1}},
        {"1", kImageGrey, 256, {0x00}},                      // 256 entries, one byte each
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "lut " << c.lut << " type " << c.type);
        Start({{"lut", c.lut}});
        Select(c.type, 300, 0, 0, 1270, 1270);
        // A tone curve, so that byte order and channel matter.
        m_Settings.SetParamAllTypes(kParamToneCode, 0xFF04);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());

        std::vector<CSimLogEntry> sent = EntriesWithOpcode(Device(), 0x55);
        ASSERT_EQ(c.tableBytes.size(), sent.size());
        bool twoBytes = c.entries > 256;
        uint32_t length = twoBytes ? 2 * c.entries : c.entries;
        for (size_t i = 0; i < sent.size(); ++i) {
            const std::vector<uint8_t>& cdb = sent[i].cdb;
            ASSERT_EQ(10u, cdb.size());
            EXPECT_EQ(0, cdb[2]);
            EXPECT_EQ(length, (uint32_t(cdb[7]) << 8) | cdb[8]);
            EXPECT_EQ(c.tableBytes[i], cdb[9]);
            ASSERT_EQ(length, sent[i].dataOut.size());

            int channel = c.type == kImageRgb ? int(i) + 1 : 0;
            std::vector<uint16_t> table(c.entries);
            Driver().BuildScannerLut(table.data(), c.entries, 255, channel, 1000);
            EXPECT_EQ(table, Device().Lut(channel));
            // High byte first on the wire.
            uint32_t middle = c.entries / 2;
            if (twoBytes) {
                EXPECT_EQ(uint8_t(table[middle] >> 8), sent[i].dataOut[2 * middle]);
                EXPECT_EQ(uint8_t(table[middle]), sent[i].dataOut[2 * middle + 1]);
            } else {
                EXPECT_EQ(uint8_t(table[middle]), sent[i].dataOut[middle]);
            }
        }
    }
}

TEST_F(Koval2CommandTest, TableTooLongForTheLengthFieldIsRefused)
{
    // Only the 65536-entry size offered: 131072 bytes cannot be named in a 16-bit length.
    Start({{"lut", "104"}});      // 0x68
    ASSERT_EQ(65536u, Driver().m_nLutEntries);
    Select(kImageGrey, 300, 0, 0, 1270, 1270, 16);
    Driver().UpdateScanGeometry();
    Device().ClearLog();
    EXPECT_EQ(kDriverAborted, Driver().SendLookupTables());
    EXPECT_EQ(std::vector<int>{3415}, m_Messages.Ids());
    EXPECT_TRUE(EntriesWithOpcode(Device(), 0x55).empty());
}

TEST_F(Koval2CommandTest, VendorSenseClasses)
{
    struct Case {
        std::vector<uint8_t> sense;
        std::vector<int> messages;
        uint16_t result;
    };
    const Case kCases[] = {
        {{0x80, 0x00, 0x00, 0x00}, {3340}, 252},
        {{0x81, 0x01, 0x00, 0x00}, {3342}, 252},
        {{0x81, 0x02, 0x00, 0x00}, {3335}, 252},
        {{0x81, 0x03, 0x00, 0x00}, {3342}, 252},
        {{0x81, 0x00, 0x00, 0x00}, {}, 252},
        {{0x82, 0x81, 0x00, 0x01}, {3392, 3338, 3410}, 252},
        {{0x82, 0x08, 0x00, 0x00}, {}, 252},
        {{0x82, 0x76, 0x00, 0x00}, {3393, 3394, 3395, 3396, 3397}, 252},
        {{0x83, 0x09, 0x1F, 0x00}, {3398, 3405, 3406, 3407, 3408, 3409}, 252},
        {{0x83, 0xF6, 0x00, 0x00}, {3399, 3400, 3401, 3402, 3403, 3404}, 252},
        {{0x84, 0x04, 0x00, 0x00}, {3411}, 252},
        {{0x84, 0x02, 0x00, 0x00}, {}, 255},
        {{0x70, 0x00, 0x06, 0x00}, {}, 255},      // the standard format is not this family's
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "class " << std::hex << int(c.sense[0]) << " " << int(c.sense[1]));
        m_Messages.Clear();
        EXPECT_EQ(c.result, Driver().HandleSense(c.sense.data()));
        EXPECT_EQ(c.messages, m_Messages.Ids());
    }
}

TEST_F(Koval2CommandTest, SenseFromTheDeviceReachesTheMessages)
{
    // The vendor layout given byte for byte on a bus description's fault line.
    for (ScsiDriverId id : {kScsiDriverNtScsi, kScsiDriverAspi32}) {
        SCOPED_TRACE(id);
        Start({}, id);
        m_Messages.Clear();
        Describe("fault 0 0 4 kind=check opcode=0x00 rawsense=83/40/02/00\n");
        EXPECT_EQ(kDriverAborted, Driver().WaitReady(60000));
        EXPECT_EQ((std::vector<int>{3403, 3406}), m_Messages.Ids());
    }
}

TEST_F(Koval2CommandTest, WaitReadyRetriesBusyThenSucceeds)
{
    Start();
    CSimFault busy;
    busy.kind = SimFaultKind::Busy;
    busy.opcode = 0x00;
    busy.count = 3;
    Device().AddFault(busy);
    Device().ClearLog();
    EXPECT_EQ(kDriverOk, Driver().WaitReady(60000));
    EXPECT_EQ(4u, EntriesWithOpcode(Device(), 0x00).size());
}

TEST_F(Koval2CommandTest, WindowExposureAndBitDepthBlocks)
{
    struct Case {
        const char* what;
        int32_t type;
        int32_t bits;
        int32_t quality;
        std::vector<uint8_t> window;
        uint8_t depthByte2, depthByte3;
    };
    // Selection 10 x 5 mm from the bed corner; 25.4 mm at 300 ppi: x0 = 1000 * 600 / 2540 = 236,
    // y0 = 118; 301 device pixels give 602 optical pixels (line art: whole bytes, 305 pixels, 610),
    // rounded up as the modes ask.
    const Case kCases[] = {
        {"grey", kImageGrey, 8, 2, {9, 236, 0, 118, 0, 0x4C, 0x03, 0xD2, 0x02}, 0x80, 8},
        {"line art", kImageLineArt, 8, 2, {8, 236, 0, 118, 0, 0x74, 0x03, 0xD2, 0x02}, 0x80, 8},
        {"grey 16", kImageGrey, 16, 2, {9, 236, 0, 118, 0, 0x4C, 0x03, 0xD2, 0x02}, 0x88, 8},
        {"grey 12 quality", kImageGrey, 12, 1, {9, 236, 0, 118, 0, 0x4C, 0x03, 0xD2, 0x02}, 0x84, 0},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Select(c.type, 300, 1000, 500, 2540, 2540, c.bits);
        m_Settings.SetParam(kParamQuality, c.quality);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<CSimLogEntry> windows = EntriesWithOpcode(Device(), 0x04);
        ASSERT_FALSE(windows.empty());
        EXPECT_EQ(c.window, windows.back().dataOut);
        std::vector<uint8_t> depth = Device().LastBitDepthBlock();
        ASSERT_EQ(10u, depth.size());
        EXPECT_EQ(c.depthByte2, depth[2]);
        EXPECT_EQ(c.depthByte3, depth[3]);
    }
    // The grey page at the device's full density range: shortest exposure, full levels; the bed
    // height is 35560 * 600 / 2540 = 8400 optical lines.
    Select(kImageGrey, 300, 1000, 500, 2540, 2540, 8);
    m_Settings.SetParam(kParamQuality, 2);
    Driver().UpdateScanGeometry();
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    std::vector<uint8_t> page = Device().LastExposurePage(0);
    EXPECT_EQ((std::vector<uint8_t>{0x8B, 50, 7, 7, 0, 1, 0, 255, 0xD0, 0x20}), page);
}

TEST_F(Koval2CommandTest, ColourScansSendOnePagePerChannel)
{
    Start({{"model", "biravo"}, {"longpage", "1"}});
    Select(kImageRgb, 500, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamQuality, 1);
    Driver().UpdateScanGeometry();
    Device().ClearLog();
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    std::vector<CSimLogEntry> pages = EntriesWithOpcode(Device(), 0x15);
    ASSERT_EQ(3u, pages.size());
    const uint8_t kFirst[3] = {0xA9, 0xC9, 0xE9};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(15, pages[i].cdb[4]);            // the long page
        std::vector<uint8_t> page = Device().LastExposurePage(i + 1);
        ASSERT_EQ(15u, page.size());
        EXPECT_EQ(kFirst[i], page[0]);
        EXPECT_EQ(0, page[1]);
        EXPECT_EQ(2, page[5]);                       // quality
        EXPECT_EQ(500, page[10] | (page[11] << 8));  // x and y resolution
        EXPECT_EQ(500, page[12] | (page[13] << 8));
        EXPECT_EQ(uint8_t((page[7] - page[6]) / 2 + page[6]), page[14]);
    }
}

TEST_F(Koval2CommandTest, ScanCommandTranscript)
{
    // One small grey scan, from reserving the device to the stop, as the device saw it. The
    // lookup table of 1024 two-byte entries, the window, one exposure page, the bit-depth block,
    // the start in grey mode, the status that sizes the scan, the status before the read, a read
    // of all 152 lines (one transfer), and the stop.
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    CKoval2Image image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "00 00 00 00 00 00",
        "55 00 00 00 00 00 00 08 00 01",
        "00 00 00 00 00 00",
        "04 00 00 00 09 00",
        "00 00 00 00 00 00",
        "15 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "16 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 41 00",
        "0f 00 00 00 06 00",
        "0f 00 00 00 06 00",
        "08 00 00 00 98 00",
        "1b 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(152u, image.lines);
}

TEST_F(Koval2CommandTest, TranscriptFileHoldsTheCommandsOfAScan)
{
    // The scan of ScanCommandTranscript with the device writing its transcript file: the lines are
    // those of the log, data-out commands with the bytes they carried.
    const std::string path = testsupport::ProgramDirectory() + "koval2_transcript.txt";
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    ASSERT_TRUE(Device().SetTranscriptFile(path));
    Device().ClearLog();
    CKoval2Image image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "00 00 00 00 00 00",
        "55 00 00 00 00 00 00 08 00 01 > 2048",
        "00 00 00 00 00 00",
        "04 00 00 00 09 00 > 9",
        "00 00 00 00 00 00",
        "15 00 00 00 0a 00 > 11",      // the page of 10 bytes in its 11-byte block
        "00 00 00 00 00 00",
        "16 00 00 00 0a 00 > 10",
        "00 00 00 00 00 00",
        "1b 00 00 00 41 00",
        "0f 00 00 00 06 00",
        "0f 00 00 00 06 00",
        "08 00 00 00 98 00",
        "1b 00 00 00 00 00",
    };
    std::vector<std::string> fromLog;
    for (const CSimLogEntry& entry : Device().Log())
        fromLog.push_back(entry.TranscriptLine());
    const std::vector<std::string> lines = FileLines(path);
    EXPECT_EQ(kExpected, lines);
    EXPECT_EQ(fromLog, lines);
    DeleteFileA(path.c_str());
}

TEST_F(Koval2CommandTest, ColourScanTranscriptWithReadAhead)
{
    // Colour of 152 lines, 132 to a transfer: the first read waits for its lines, the rest is read
    // ahead while the first block is converted, and the last call only collects it.
    Start();
    Select(kImageRgb, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    CKoval2Image image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "00 00 00 00 00 00",
        "55 00 00 00 00 00 00 08 00 41",
        "55 00 00 00 00 00 00 08 00 81",
        "55 00 00 00 00 00 00 08 00 c1",
        "00 00 00 00 00 00",
        "04 00 00 00 09 00",
        "00 00 00 00 00 00",
        "15 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "15 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "15 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "16 00 00 00 0a 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 61 00",
        "0f 00 00 00 06 00",
        "0f 00 00 00 06 00",
        "08 00 00 00 84 00",
        "0f 00 00 00 06 00",
        "08 00 00 00 14 00",
        "1b 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(152u, image.lines);
}

TEST_F(Koval2CommandTest, PrescanStepSetsTheAccessories)
{
    struct Case {
        const char* model;
        int32_t original;
        int32_t quality;
        uint16_t result;
        int accessory;      // -1: no SET ACCESSORY
    };
    const Case kCases[] = {
        {"koval2", 0, 2, 0, 0xE0},
        {"koval2", 0, 1, 0, 0xE2},
        {"biravo", 0, 2, 0, 0xE2},
        {"biravo", 1, 2, 0, 0xE6},
        {"koval2", 1, 2, 255, -1},      // no transparency unit
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " original " << c.original);
        Start({{"model", c.model}});
        Select(kImageGrey, 300, 0, 0, 1270, 1270);
        m_Settings.SetParam(kParamOriginal, c.original);
        m_Settings.SetParam(kParamQuality, c.quality);
        Device().ClearLog();
        EXPECT_EQ(c.result, Driver().PrescanIfNeeded(&m_Settings, nullptr));
        std::vector<CSimLogEntry> set = EntriesWithOpcode(Device(), 0x10);
        if (c.accessory < 0) {
            EXPECT_TRUE(set.empty());
        } else {
            ASSERT_EQ(1u, set.size());
            EXPECT_EQ(c.accessory, set[0].cdb[4]);
        }
    }
}

TEST_F(Koval2CommandTest, ReturnDelayByKind)
{
    struct Case {
        const char* model;
        int32_t bottom;
        uint32_t delay;
    };
    const Case kCases[] = {
        {"koval2", 3000, 4000},
        {"koval2", 29700, 19800},
        {"biravo", 29700, 100},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.model);
        Start({{"model", c.model}});
        m_Settings.SetParam(kParamSelBottom, c.bottom);
        EXPECT_EQ(c.delay, Driver().ReturnDelay());
    }
}

TEST_F(Koval2CommandTest, ReturnDelayWaitsByDisableSleep)
{
    // Absent key: reserving the device does not wait (default 1), the prescan step does (default 0).
    struct Case {
        const char* disableSleep;   // null: key absent
        bool reserveWaits;
        bool prescanWaits;
    };
    const Case kCases[] = {
        {nullptr, false, true},
        {"0", true, true},
        {"1", false, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.disableSleep != nullptr ? c.disableSleep : "absent");
        Start();
        SetIni("General", "DisableSleep", c.disableSleep);
        Select(kImageGrey, 300, 0, 0, 1270, 1270);
        Driver().m_nReadyDeadline = MillisecondClock() + 400;
        uint32_t start = MillisecondClock();
        EXPECT_EQ(kDriverOk, Driver().ReserveDevice());
        EXPECT_EQ(c.reserveWaits, ClockElapsed(start) >= 350);
        Driver().m_nReadyDeadline = MillisecondClock() + 400;
        start = MillisecondClock();
        Driver().PrescanIfNeeded(&m_Settings, nullptr);
        EXPECT_EQ(c.prescanWaits, ClockElapsed(start) >= 350);
    }
}

TEST_F(Koval2CommandTest, UserAbortEndsTheWaits)
{
    Start();
    g_UserAbort = 1;
    EXPECT_EQ(kDriverAborted, Driver().WaitReady(60000));
    EXPECT_EQ(0, g_UserAbort);
    CSimFault busy;
    busy.kind = SimFaultKind::Abort;        // the device stays busy while the user presses Cancel
    busy.opcode = 0x00;
    Device().AddFault(busy);
    EXPECT_EQ(kDriverAborted, Driver().WaitReady(60000));
}

TEST_F(Koval2CommandTest, FeederSheetsGoWithFeederScans)
{
    // The family driver never selects the feeder; the device does what a feeder-scan asks of it.
    Start({{"feeder", "1"}, {"lut", "1"}});
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        m_Messages.Clear();
        CScsiByteBuffer none(0);
        ASSERT_EQ(0, g_pScsiChannel->SetAccessory(none, 0xE1, 30000, 32));
        CKoval2Image image = ScanFromReserve();
        if (round == 0) {
            EXPECT_EQ(kDriverOk, image.status);
            EXPECT_EQ(0, Device().FeederSheets());
        } else {
            EXPECT_EQ(kDriverAborted, image.status);      // no paper in the feeder
            EXPECT_EQ(std::vector<int>{3406}, m_Messages.Ids());
        }
    }
}

// This family sends the engine the device's maximum density of the original in place of the
// levels' copy (floats 64, 68, 72); everything else is the common block.
TEST_F(Koval2CommandTest, NegativeCorrectionCarriesTheDeviceMaximumDensity)
{
    Start({{"transparency", "1"}});
    Select(kImageRgb, 300, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamOriginal, 2);
    m_Settings.SetParam(kParamLevelsMaxRed, 1800);
    m_Settings.SetCurrentFilmTypeName("NEG100");
    CFakeCmsEngine engine;
    g_pCmsEngine = &engine;
    uint16_t result = Driver().PrepareColourCorrection();
    g_pCmsEngine = nullptr;
    ASSERT_EQ(kDriverOk, result);
    ASSERT_EQ(sizeof(CmsCorrectionBlock), engine.m_BlockSeen.size());
    float expected = float(Driver().GetMaxDensity(0)) / 1000.0f;
    EXPECT_FLOAT_EQ(3.3f, expected);        // the transparency maximum of the KOVAL II kind
    for (size_t offset : {64u, 68u, 72u}) {
        float value;
        std::memcpy(&value, engine.m_BlockSeen.data() + offset, sizeof value);
        EXPECT_FLOAT_EQ(expected, value) << offset;
    }
    float level;
    std::memcpy(&level, engine.m_BlockSeen.data() + 40, sizeof level);
    EXPECT_FLOAT_EQ(1.8f, level);
}
