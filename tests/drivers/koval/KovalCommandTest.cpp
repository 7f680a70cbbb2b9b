#include "drivers/koval/KovalDriver.h"

#include "core/scsi/ScsiBuffer.h"
#include "core/util/Clock.h"
#include "tests/drivers/koval/KovalBench.h"

#include <string>
#include <vector>

namespace {

class KovalCommandTest : public KovalBench { };

CSimFault Check(uint8_t opcode, uint8_t key, uint8_t asc, uint8_t ascq, int count = 1)
{
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = opcode;
    fault.count = count;
    fault.sense = {key, asc, ascq};
    return fault;
}

}  // namespace

TEST_F(KovalCommandTest, LookupTableBlockHoldsEveryChannel)
{
    struct Case {
        int32_t type;
        std::vector<uint8_t> channels;  // empty: no table goes out
    };
    const Case kCases[] = {
        {kImageGrey, {0}}, {kImageRgb, {1, 2, 3}},
        {kImageLineArt, {}},  // the device thresholds at the window's byte 23
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type);
        Select(c.type, 300, 0, 0, 1270, 1270);
        // A tone curve, so that each channel's table differs from a plain ramp.
        m_Settings.SetParamAllTypes(kParamToneCode, 0xFF04);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<CSimLogEntry> sent = EntriesWithOpcode(Device(), 0x2A);
        if (c.channels.empty()) {
            EXPECT_TRUE(sent.empty());
            continue;
        }
        ASSERT_EQ(1u, sent.size());
        const std::vector<uint8_t>& block = sent[0].dataOut;
        ASSERT_EQ(1 + c.channels.size() * 1025, block.size());  // 1026 or 3076
        EXPECT_EQ(3, sent[0].cdb[2]);  // data type: lookup table
        EXPECT_EQ(c.channels.size(), block[0]);
        for (size_t t = 0; t < c.channels.size(); ++t) {
            EXPECT_EQ(c.channels[t], block[1 + t * 1025]);
            std::vector<uint16_t> table(1024);
            Driver().BuildScannerLut(table.data(), 1024, 255, c.channels[t], 1000);
            std::vector<uint8_t> expected(table.begin(), table.end());
            EXPECT_EQ(expected, Device().Lut(c.channels[t]));
            EXPECT_LT(expected[300], expected[700]);  // rising
        }
    }
}

TEST_F(KovalCommandTest, ColourWindowsCarryTheirColourAndLevels)
{
    Start();
    Select(kImageRgb, 300, 2540, 1270, 2540, 1270);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    Device().ClearLog();
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    std::vector<CSimLogEntry> set = EntriesWithOpcode(Device(), 0x24);
    ASSERT_EQ(1u, set.size());
    const std::vector<uint8_t>& list = set[0].dataOut;
    ASSERT_EQ(8u + 3 * 48, list.size());
    EXPECT_EQ(144, (list[6] << 8) | list[7]);
    const uint8_t kColours[3] = {0x80, 0x40, 0x20};
    for (int w = 0; w < 3; ++w) {
        SCOPED_TRACE(w);
        const uint8_t* d = list.data() + 8 + 48 * w;
        EXPECT_EQ(w + 1, d[0]);
        EXPECT_EQ(300, (d[2] << 8) | d[3]);
        EXPECT_EQ(300, (d[4] << 8) | d[5]);
        EXPECT_EQ(1200, (d[8] << 8) | d[9]);  // one inch from the left in 1/1200 inch
        EXPECT_EQ(600, (d[12] << 8) | d[13]);
        EXPECT_EQ(1204, (d[16] << 8) | d[17]);  // 301 pixels
        EXPECT_EQ(604, (d[20] << 8) | d[21]);
        EXPECT_EQ(5, d[25]);  // colour composition
        EXPECT_EQ(8, d[26]);
        EXPECT_EQ(kColours[w], d[41]);
        EXPECT_EQ(17, d[47]);  // reflective
    }
}

TEST_F(KovalCommandTest, ShadowAndHighlightLevelsFromTheDensities)
{
    struct Case {
        int32_t minDensity, maxDensity;
        uint8_t shadow, highlight;
    };
    // KOVAL reflective limits: minimum 10, its ceiling 225, maximum floor 420, maximum 4000.
    const Case kCases[] = {
        {10, 4000, 50, 0},  // the device's whole range
        {225, 4000, 1, 0},  // minimum at its ceiling: 0, forced above the highlight
        {0, 420, 50, 49},  // below the device minimum counts as it; maximum at its floor
        {225, 420, 50, 49},  // both levels pushed to the top: 50 and 49
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.minDensity << ".." << c.maxDensity);
        Select(kImageGrey, 300, 0, 0, 1270, 1270);
        m_Settings.SetParam(kParamMinDensity, c.minDensity);
        m_Settings.SetParam(kParamMaxDensity, c.maxDensity);
        uint8_t shadow = 0, highlight = 0;
        Driver().ShadowAndHighlight(m_Settings, kParamMinDensity, kParamMaxDensity, shadow, highlight);
        EXPECT_EQ(c.shadow, shadow);
        EXPECT_EQ(c.highlight, highlight);
    }
    // The device records the levels and leaves them to the table.
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    m_Settings.SetParam(kParamMinDensity, 225);
    m_Settings.SetParam(kParamMaxDensity, 4000);
    Driver().UpdateScanGeometry();
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    ASSERT_EQ(1u, Device().Windows().size());
    EXPECT_EQ(1, Device().Windows()[0].shadow);
    EXPECT_EQ(0, Device().Windows()[0].highlight);
}

TEST_F(KovalCommandTest, CarriageTimeDividesInFloatingPoint)
{
    Start();
    Select(kImageRgb, 300, 0, 0, 2540, 2540);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    EXPECT_EQ(2073u, Driver().CarriageTime(100));
    Select(kImageGrey, 300, 0, 0, 2540, 2540);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    EXPECT_EQ(691u, Driver().CarriageTime(100));
}

TEST_F(KovalCommandTest, GreyScanTranscript)
{
    // Half an inch at 300: 151 lines of 151 bytes in one transfer. The first line is read at once,
    // the rest when the carriage has passed it; the stop releases the unit and unloads.
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    uint32_t start = MillisecondClock();
    CKovalImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_GE(ClockElapsed(start), Driver().CarriageTime(151) - 50);
    const std::vector<std::string> kExpected = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 03 00 00 00 00 04 02 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 38 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00",
        "00 00 00 00 00 00",
        "28 00 00 00 00 00 00 00 97 00",
        "28 00 00 00 00 00 00 58 7a 00",
        "17 00 00 00 00 00",
        "31 00 00 00 00 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(151u, image.lines);
    EXPECT_EQ(1, Device().Unloads());
}

TEST_F(KovalCommandTest, ColourScanTranscriptWithThreeWindows)
{
    // A quarter inch of colour at 300: three windows, SCAN naming window 0 scans them all; 76 lines
    // of 453 bytes.
    Start();
    Select(kImageRgb, 300, 0, 0, 1270, 635);
    Device().ClearLog();
    CKovalImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 03 00 00 00 00 0c 04 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 98 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00",
        "00 00 00 00 00 00",
        "28 00 00 00 00 00 00 01 c5 00",
        "28 00 00 00 00 00 00 84 b7 00",
        "17 00 00 00 00 00",
        "31 00 00 00 00 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(3, Device().LastScan().windows);
    EXPECT_EQ(76u, image.lines);
}

TEST_F(KovalCommandTest, KovalPlusScanTranscriptWithBufferStatus)
{
    Start({{"model", "kovalplus"}});
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    CKovalImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 03 00 00 00 00 04 02 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 38 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00",
        "00 00 00 00 00 00",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 59 11 00",
        "17 00 00 00 00 00",
        "31 00 00 00 00 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(151u, image.lines);
}

TEST_F(KovalCommandTest, KovalPlusWaitsForItsBufferToFill)
{
    // 10 lines per 100 ms: the 151 lines of one transfer are there after about 1.5 s; the driver
    // asks for the buffer status until then and reads once.
    Start({{"model", "kovalplus"}, {"fill", "10"}});
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    uint32_t start = MillisecondClock();
    CKovalImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_GE(ClockElapsed(start), 1400u);
    EXPECT_EQ(151u, image.lines);
    EXPECT_EQ(1u, EntriesWithOpcode(Device(), 0x28).size());
    EXPECT_GT(EntriesWithOpcode(Device(), 0x34).size(), 5u);
}

TEST_F(KovalCommandTest, KovalPlusPageLargerThanItsStatusCountReadsWithoutWaiting)
{
    // 120 x 120 mm at 600 ppi RGB is about 20 MB, more than the status's three-byte count can say:
    // every transfer is already there, so each read follows one status answer.
    Start({{"model", "kovalplus"}});
    Select(kImageRgb, 600, 0, 0, 12000, 12000);
    Device().ClearLog();
    uint32_t start = MillisecondClock();
    CKovalImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_GT(uint64_t(image.lines) * image.bytesPerLine, 0xFFFFFFull);
    EXPECT_EQ(Device().LastScan().lines, image.lines);
    EXPECT_EQ(EntriesWithOpcode(Device(), 0x28).size(), EntriesWithOpcode(Device(), 0x34).size());
    EXPECT_LT(ClockElapsed(start), 30000u);
}

TEST_F(KovalCommandTest, FaultsEndTheScanWithResultAndMessage)
{
    struct Case {
        const char* name;
        std::vector<CSimFault> faults;
        uint16_t result;
        std::vector<int> messages;
        size_t scans;  // SCAN commands the device saw
    };
    CSimFault busy;
    busy.kind = SimFaultKind::Busy;
    busy.opcode = 0x00;
    busy.count = 3;
    CSimFault abort;
    abort.kind = SimFaultKind::Abort;
    abort.opcode = 0x00;
    const Case kCases[] = {
        {"busy a while", {busy}, 0, {}, 1},
        {"medium error 14/00", {Check(0x1B, 3, 0x14, 0)}, 252, {3338}, 1},
        {"medium error 14/01 goes on", {Check(0x1B, 3, 0x14, 1)}, 0, {3339}, 1},
        {"medium error 14/02", {Check(0x1B, 3, 0x14, 2)}, 252, {3340}, 1},
        {"other medium error", {Check(0x1B, 3, 0x11, 0)}, 255, {}, 1},
        {"hardware error", {Check(0x1B, 4, 0x44, 0)}, 252, {3341}, 1},
        {"invalid command", {Check(0x1B, 5, 0x20, 0)}, 252, {3342}, 1},
        {"invalid field in CDB", {Check(0x1B, 5, 0x24, 0)}, 252, {3343}, 1},
        {"invalid parameter", {Check(0x1B, 5, 0x26, 0)}, 252, {3344}, 1},
        {"other illegal request", {Check(0x1B, 5, 0x2C, 0)}, 252, {3340}, 1},
        {"illegal request qualifier 1", {Check(0x1B, 5, 0x20, 1)}, 252, {3345}, 1},
        {"illegal request qualifier 2", {Check(0x1B, 5, 0x20, 2)}, 252, {3346}, 1},
        {"illegal request qualifier 3", {Check(0x1B, 5, 0x20, 3)}, 252, {3340}, 1},
        {"aborted command", {Check(0x1B, 0x0B, 0, 0)}, 252, {3340}, 1},
        {"unit attention is repeated once", {Check(0x1B, 6, 0x29, 0)}, 0, {}, 2},
        {"unit attention twice", {Check(0x1B, 6, 0x29, 0, 2)}, 252, {3347}, 2},
        {"unit attention on the window", {Check(0x24, 6, 0x29, 0)}, 0, {}, 1},
        {"user abort while waiting", {abort}, 252, {}, 0},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Device().ClearFaults();
        m_Messages.Clear();
        g_UserAbort = 0;
        Select(kImageGrey, 300, 0, 0, 1270, 1270);
        for (const CSimFault& fault : c.faults)
            Device().AddFault(fault);
        Device().ClearLog();
        EXPECT_EQ(c.result, StartScan());
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_EQ(c.scans, EntriesWithOpcode(Device(), 0x1B).size());
        Driver().StopScan(0);
    }
    g_UserAbort = 0;
}

TEST_F(KovalCommandTest, ReadFaultsNeverHang)
{
    struct Case {
        const char* name;
        const char* model;
        CSimFault fault;
        uint16_t result;
        std::vector<int> messages;
    };
    CSimFault hang;
    hang.kind = SimFaultKind::Hang;
    hang.opcode = 0x28;
    hang.ms = 2000;  // then the command dies on its own
    CSimFault abort;
    abort.kind = SimFaultKind::Abort;
    abort.opcode = 0x34;
    const Case kCases[] = {
        // The job reports the failures without a message of the driver's own as 3334.
        {"read that stops answering", "koval", hang, 255, {}},
        {"check condition on the read", "koval", Check(0x28, 4, 0x44, 0), 0x02, {}},  // raw status
        {"user abort during the buffer status", "kovalplus", abort, 252, {}},
        {"sense of the buffer status", "kovalplus", Check(0x34, 4, 0x44, 0), 252, {3341}},
        {"unit attention on the buffer status", "kovalplus", Check(0x34, 6, 0x29, 0), 0, {}},
        {"unit attention twice on the buffer status", "kovalplus", Check(0x34, 6, 0x29, 0, 2), 252, {3347}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}});
        m_Messages.Clear();
        g_UserAbort = 0;
        Select(kImageGrey, 300, 0, 0, 1270, 1270);
        Device().AddFault(c.fault);
        uint32_t start = MillisecondClock();
        CKovalImage image = ScanFromReserve();
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_LT(ClockElapsed(start), 10000u);
        EXPECT_FALSE(Device().IsScanning());
    }
    g_UserAbort = 0;
}
