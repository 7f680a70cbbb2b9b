// What the KILTORRA driver sends, as bytes: the window, the 13-bit tone tables, the sharpening
// curve and the film values; and how it paces its reads and its pass start.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "core/util/Clock.h"
#include "sim/TestChart.h"
#include "tests/drivers/kiltorra/KiltorraBench.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using CByteMap = std::map<int, uint8_t>;

class KiltorraCommandTest : public KiltorraBench {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        KiltorraBench::TearDown();
    }

    // The scan's operations up to the window and what goes with it.
    uint16_t SendWindow()
    {
        uint16_t result = Driver().UpdateScanGeometry();
        if (result == kDriverOk)
            result = Driver().SetScanParameters(&m_Settings);
        return result;
    }
};

// Every byte of a descriptor that is not listed must be 0.
void ExpectDescriptor(const std::vector<uint8_t>& got, const CByteMap& expected)
{
    ASSERT_EQ(140u, got.size());
    for (int i = 0; i < 140; ++i) {
        auto it = expected.find(i);
        EXPECT_EQ(it != expected.end() ? it->second : 0, got[size_t(i)]) << "byte " << i;
    }
}

}  // namespace

TEST_F(KiltorraCommandTest, WindowDescriptorAsGoldenBytes)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t original;
        int32_t resolution;
        int32_t ruling;
        int32_t quality;
        int32_t sharpness;
        CByteMap bytes;
    };
    // Selection 1000, 2000 to 3540, 4540 (1/100 mm); densities 150 and 2500; threshold 50 %.
    const Case kCases[] = {
        {"GreyReflective", kImageGrey, 0, 300, 0, 2, 0,
            {{3, 0x2C}, {2, 0x01}, {4, 0x01}, {5, 0x2C}, {9, 118}, {13, 236}, {16, 0x01}, {17, 0x2C}, {20, 0x01},
                {21, 0x2C}, {23, 128}, {25, 2}, {26, 8}, {29, 3}, {40, 1}, {44, 7}, {46, 255}, {47, 100}, {48, 100},
                {49, 100}, {56, 1}, {59, 100}, {67, 1}, {68, 1}, {69, 1}, {73, 100}, {74, 1}, {75, 194}, {76, 0x05},
                {77, 0xDC}, {78, 0x61}, {79, 0xA8}, {81, 31}, {82, 0x1B}, {83, 0xA7}, {118, 0x03}, {119, 0xE8},
                {120, 0x03}, {121, 0xE8}, {122, 0x03}, {123, 0xE8}, {124, 3}, {125, 1}, {126, 1}, {134, 1}, {138, 1}}},
        // A slide in colour at quality, with the custom sharpening and a 60 lpi ruling: 240 ppi,
        // the film gamma 1.8, byte 128 4.
        {"RgbSlideCustomSharpening", kImageRgb, 1, 300, 60, 1, 65534,
            {{2, 0x00}, {3, 240}, {5, 240}, {9, 94}, {13, 188}, {17, 240}, {21, 240}, {23, 128}, {25, 5}, {26, 8},
                {29, 3}, {40, 5}, {44, 7}, {46, 1}, {47, 100}, {48, 100}, {49, 100}, {59, 100}, {63, 30}, {64, 60},
                {65, 10}, {67, 1}, {68, 1}, {69, 1}, {73, 60}, {74, 3}, {75, 194}, {76, 0x05}, {77, 0xDC}, {78, 0x61},
                {79, 0xA8}, {81, 31}, {82, 0x1B}, {83, 0xA7}, {118, 0x07}, {119, 0x08}, {120, 0x07}, {121, 0x08},
                {122, 0x07}, {123, 0x08}, {124, 3}, {125, 1}, {126, 1}, {128, 4}, {129, 9}, {130, 1}, {134, 1},
                {138, 1}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        Select(c.type, c.resolution, 1000, 2000, 2540, 2540);
        m_Settings.SetParam(kParamOriginal, c.original);
        m_Settings.SetParam(kParamMinDensity, 150);
        m_Settings.SetParam(kParamMaxDensity, 2500);
        m_Settings.SetParam(kParamWindow50, 7);
        m_Settings.SetParam(kParamWindowId, 0);
        m_Settings.SetParam(kParamStoredHundred, 100);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        m_Settings.SetParam(kParamQuality, c.quality);
        m_Settings.SetParam(kParamSharpness, c.sharpness);
        m_Settings.SetParam(kParamSharpenLevel, 5);
        m_Settings.SetParam(kParamSharpenRadius, 9);
        ASSERT_EQ(kDriverOk, SendWindow());
        std::vector<CSimLogEntry> windows = Commands({0x24});
        ASSERT_EQ(1u, windows.size());
        const std::vector<uint8_t>& list = windows[0].dataOut;
        ASSERT_EQ(148u, list.size());
        EXPECT_EQ(
            std::vector<uint8_t>({0, 0, 0, 0, 0, 0, 0, 140}), std::vector<uint8_t>(list.begin(), list.begin() + 8));
        ExpectDescriptor(std::vector<uint8_t>(list.begin() + 8, list.end()), c.bytes);
    }
}

TEST_F(KiltorraCommandTest, ThresholdAndNarrowWidthsOfTheWindow)
{
    struct Case {
        int32_t type;
        int32_t threshold;
        int32_t resolution;
        int32_t width;  // 1/100 mm
        uint8_t byte23;
        uint32_t pixels;
    };
    const Case kCases[] = {
        {kImageLineArt, 0, 600, 2540, 255, 600},
        {kImageLineArt, 40, 600, 2540, 153, 600},  // no wrap past 255
        {kImageLineArt, 50, 600, 2540, 128, 600},
        {kImageLineArt, 100, 600, 2540, 0, 600},
        {kImageGrey, 50, 600, 3, 128, 2},  // widened to 5 units: 1 pixel, kept at 2
        {kImageGrey, 50, 600, 13, 128, 4},  // 3 pixels rounded up to even
        {kImageRgb, 50, 50, 100, 128, 2},  // 1 pixel
        {kImageGrey, 50, 300, 2540, 128, 300},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " width " << c.width);
        Device().ClearLog();
        Select(c.type, c.resolution, 0, 0, c.width, 2540);
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        ASSERT_EQ(kDriverOk, SendWindow());
        std::vector<uint8_t> window = Device().Window();
        ASSERT_EQ(140u, window.size());
        EXPECT_EQ(c.byte23, window[23]);
        EXPECT_EQ(c.pixels, uint32_t((window[16] << 8) | window[17]));
    }
}

TEST_F(KiltorraCommandTest, ToneTablesAreBigEndianThirteenBitEntriesPerChannel)
{
    struct Case {
        int32_t type;
        std::vector<uint8_t> channels;
    };
    const Case kCases[] = {{kImageGrey, {2}}, {kImageRgb, {1, 2, 3}}, {kImageLineArt, {2}}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type);
        Start();
        Select(c.type, 300, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<CSimLogEntry> sends = Commands({0x2A});
        ASSERT_EQ(c.channels.size(), sends.size());
        for (size_t i = 0; i < sends.size(); ++i) {
            const CSimLogEntry& send = sends[i];
            EXPECT_EQ(std::vector<uint8_t>({0x2A, 0, 0x93, 0, 0, 0, 0x00, 0x40, 0x06, 0}), send.cdb);
            ASSERT_EQ(16390u, send.dataOut.size());
            EXPECT_EQ(std::vector<uint8_t>({c.channels[i], 0, 13, 13, 0x03, 0xE8}),
                std::vector<uint8_t>(send.dataOut.begin(), send.dataOut.begin() + 6));
            // The whole density range: a rising identity over 13 bits.
            const uint8_t* e = send.dataOut.data() + 6;
            EXPECT_EQ(0, (e[0] << 8) | e[1]);
            EXPECT_EQ(4096, (e[2 * 4096] << 8) | e[2 * 4096 + 1]);
            EXPECT_EQ(8191, (e[2 * 8191] << 8) | e[2 * 8191 + 1]);
        }
    }
}

TEST_F(KiltorraCommandTest, SharpeningCurveAsGoldenBytes)
{
    struct Case {
        int32_t low;  // selects the curve
        std::vector<std::pair<int, uint16_t>> points;  // entry, value
    };
    const Case kCases[] = {
        {0, {{0, 1023}, {961, 1023}, {962, 1023}, {963, 998}, {1001, 48}, {1002, 0}, {1022, 0}, {1023, 0}}},
        {1,
            {{0, 0}, {39, 0}, {40, 0}, {41, 51}, {59, 969}, {60, 1023}, {961, 1023}, {963, 998}, {1001, 48}, {1002, 0},
                {1023, 0}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.low);
        Start();
        Select(kImageGrey, 300, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamSharpness, 65534);
        m_Settings.SetParam(kParamSharpenLow, c.low);
        m_Settings.SetParam(kParamSharpenHigh, 77);
        ASSERT_EQ(kDriverOk, SendWindow());
        std::vector<uint8_t> curve = Device().Curve();
        ASSERT_EQ(2054u, curve.size());
        EXPECT_EQ(
            std::vector<uint8_t>({0, 3, 10, 10, 0x03, 0xE8}), std::vector<uint8_t>(curve.begin(), curve.begin() + 6));
        for (const auto& point : c.points)
            EXPECT_EQ(point.second, (curve[size_t(6 + 2 * point.first)] << 8) | curve[size_t(7 + 2 * point.first)])
                << "entry " << point.first;
        EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>> {{1120, 77}}), Device().Values());
    }
}

TEST_F(KiltorraCommandTest, NegativesSendSixFilmValuesAfterTheWindow)
{
    struct Case {
        int32_t original;
        std::vector<std::pair<uint16_t, uint32_t>> values;
    };
    // Minimum densities 100, 200, 300 and maximum 1000, 2000, 3000 for red, green, blue: the
    // transmission 10^-D in 1/10000, maximum densities first, blue to red.
    const Case kCases[] = {
        {2, {{33, 1000}, {32, 100}, {31, 10}, {43, 7943}, {42, 6309}, {41, 5011}}},
        {1, {}},
        {0, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.original);
        Start();
        Select(kImageRgb, 300, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamOriginal, c.original);
        const uint16_t ids[6] = {kParamMinDensityRed, kParamMinDensityGreen, kParamMinDensityBlue, kParamMaxDensityRed,
            kParamMaxDensityGreen, kParamMaxDensityBlue};
        const int32_t densities[6] = {100, 200, 300, 1000, 2000, 3000};
        for (int i = 0; i < 6; ++i)
            m_Settings.SetParam(ids[i], densities[i]);
        ASSERT_EQ(kDriverOk, SendWindow());
        EXPECT_EQ(c.values, Device().Values());
        std::vector<CSimLogEntry> log = Commands({0x24, 0x2A});
        ASSERT_EQ(1 + c.values.size(), log.size());
        EXPECT_EQ(0x24, log[0].cdb[0]);
        for (size_t i = 1; i < log.size(); ++i) {
            EXPECT_EQ(0xA2, log[i].cdb[2]);
            EXPECT_EQ(c.values[i - 1].first, (log[i].cdb[4] << 8) | log[i].cdb[5]);
        }
    }
}

TEST_F(KiltorraCommandTest, ReadStartsWhenHalfTheBytesAreBufferedAndWaitsOutBusy)
{
    // 300 lines of 300 grey pixels; the buffer gains 20 lines per 100 ms.
    Start({{"fill", "20"}});
    Select(kImageGrey, 300, 0, 0, 2540, 2540);
    ASSERT_EQ(kDriverOk, StartScan());
    std::vector<uint8_t> buffer(size_t(300) * 300);
    Device().ClearLog();
    uint32_t start = MillisecondClock();
    ASSERT_EQ(kDriverOk, Driver().ReadData(buffer.data(), 0, 300, 300));
    EXPECT_LT(ClockElapsed(start), 5000u);
    // The read went out once half was there, and the device held it off until the rest came.
    std::vector<CSimLogEntry> reads = Commands({0x28});
    ASSERT_GE(reads.size(), 2u);
    EXPECT_GT(Device().BusyReads(), 0);
    EXPECT_EQ(kSimGood, reads.back().status);
    for (const CSimLogEntry& read : reads)
        EXPECT_EQ(90000u, read.length);
    EXPECT_EQ(300u, Driver().m_nLinesRead);
    Driver().StopScan(0);
}

TEST_F(KiltorraCommandTest, WaitForDataAnswersOnHalfTheWantedBytes)
{
    struct Case {
        const char* name;
        const char* fill;
        int32_t type;
        int32_t resolution;
        uint32_t wanted;
        uint32_t timeout;
        uint16_t result;
        size_t polls;  // 0: not counted
    };
    const Case kCases[] = {
        {"AllThere", "0", kImageGrey, 300, 90000, 1000, kDriverOk, 1},
        {"HalfThere", "0", kImageGrey, 300, 180000, 1000, kDriverOk, 1},
        // 3.2 MB of colour fill the 1 MB buffer: over half of it is filled.
        {"BufferFull", "0", kImageRgb, 600, 4000000, 1000, kDriverOk, 1},
        // The whole small image is there but less than half the wanted bytes: six unchanged polls.
        {"NothingMoreComes", "0", kImageGrey, 300, 200000, 5000, kDriverOk, 7},
        // One line per 100 ms would need 15 s for half: the deadline comes first.
        {"DeadlineFirst", "1", kImageGrey, 300, 90000, 1000, kDriverFailed, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"fill", c.fill}});
        Select(c.type, c.resolution, 0, 0, 2540, 2540);
        ASSERT_EQ(kDriverOk, StartScan());
        Device().ClearLog();
        EXPECT_EQ(c.result, Driver().WaitForData(0, c.wanted, c.timeout));
        if (c.polls != 0) {
            EXPECT_EQ(c.polls, Commands({0x34}).size());
        }
        Driver().StopScan(0);
    }
}

TEST_F(KiltorraCommandTest, StartPassGivesUpAtItsDeadlineOrOnAbort)
{
    struct Case {
        const char* name;
        bool abort;
        uint16_t result;
    };
    const Case kCases[] = {{"Deadline", false, kDriverFailed}, {"UserAbort", true, kDriverAborted}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        Driver().m_nStartPassLimit = 1000;
        CSimFault refuse;
        refuse.kind = c.abort ? SimFaultKind::Abort : SimFaultKind::Check;
        refuse.opcode = 0x1B;
        refuse.count = 0;
        refuse.sense = {2, 0x04, 0x01};
        Device().AddFault(refuse);
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, Driver().StartPass(0, 0));
        EXPECT_LT(ClockElapsed(start), 4000u);
        EXPECT_GE(Commands({0x1B}).size(), 1u);
        g_UserAbort = 0;
    }
}

TEST_F(KiltorraCommandTest, StopScanTakesTheDensitiesTheDeviceChose)
{
    struct Case {
        const char* name;
        int32_t range;
        int32_t autoMinimum;
        int32_t autoMaximum;
        int32_t minimum;  // after the scan
        int32_t maximum;
        bool asked;
    };
    // The device chooses 1.20 D and 2.60 D; the settings start at 0.10 D and 3.00 D.
    const Case kCases[] = {
        {"Automatic", 0, 0, 0, 120, 2600, true},
        {"MinimumOnly", 2, 1, 0, 120, 3000, true},
        {"MaximumOnly", 2, 0, 1, 100, 2600, true},
        {"ByDensities", 2, 0, 0, 100, 3000, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"chosenmin", "120"}, {"chosenmax", "2600"}});
        Select(kImageGrey, 100, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamMinDensity, 100);
        m_Settings.SetParam(kParamMaxDensity, 3000);
        m_Settings.SetParam(kParamRangeMode, c.range);
        m_Settings.SetParam(kParamAutoMinimum, c.autoMinimum);
        m_Settings.SetParam(kParamAutoMaximum, c.autoMaximum);
        ASSERT_EQ(kDriverOk, StartScan());
        Device().ClearLog();
        EXPECT_EQ(kDriverOk, Driver().StopScan(0));
        EXPECT_EQ(c.minimum, m_Settings.GetParam(kParamMinDensity));
        EXPECT_EQ(c.maximum, m_Settings.GetParam(kParamMaxDensity));
        std::vector<CSimLogEntry> getWindow = Commands({0x25});
        ASSERT_EQ(c.asked ? 1u : 0u, getWindow.size());
        if (c.asked) {
            EXPECT_EQ(148u, getWindow[0].length);
        }
        EXPECT_EQ(1u, Commands({0x17}).size());
        EXPECT_FALSE(Device().IsScanning());
    }
}

TEST_F(KiltorraCommandTest, DeviceLineArtIsBlackWhereTheLightIsBelowTheThreshold)
{
    struct Case {
        int32_t threshold;
    };
    const Case kCases[] = {{30}, {50}, {80}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.threshold);
        Start();
        Select(kImageLineArt, 300, 1000, 7000, 5000, 2000);
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        CKiltorraScan scan = Device().LastScan();
        ASSERT_EQ(0, scan.composition);
        EXPECT_EQ(1, Driver().m_bLineArt);
        std::vector<uint8_t> light = CTestChart::Render(scan.chart);
        // The window's threshold is on the ink scale: black where the ink exceeds it.
        const int ink = 255 - c.threshold * 255 / 100;
        EXPECT_EQ(ink, scan.threshold);
        std::vector<uint8_t> expected(size_t(scan.lines) * scan.bytesPerLine, 0);
        uint32_t black = 0;
        for (uint32_t y = 0; y < scan.lines; ++y) {
            for (uint32_t x = 0; x < scan.pixels; ++x) {
                if (255 - light[size_t(y) * scan.pixels + x] > ink) {
                    expected[size_t(y) * scan.bytesPerLine + x / 8] |= uint8_t(0x80 >> (x % 8));
                    ++black;
                }
            }
        }
        EXPECT_GT(black, 0u);
        ASSERT_EQ(scan.lines, image.lines);
        EXPECT_TRUE(expected == image.bytes);
    }
}
