// Whole scans through the driver's data path from the virtual device, compared byte for byte with
// the chart the device scanned, through both transports (asynchronous reads where they run them).

#include "drivers/koval2/Koval2Driver.h"

#include "drivers/koval2/LineInterleaver.h"
#include "sim/TestChart.h"
#include "tests/drivers/koval2/Koval2Bench.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> device;
    int32_t type;
    int32_t resolution;
    int32_t bits;
    int32_t original;
    int32_t left, top, width, height;       // 1/100 mm
    int expectedMode;                       // scan mode the device was started in
};

const ScanCase kScans[] = {
    {"Rgb8At300WithLag", {{"lag", "3"}}, kImageRgb, 300, 8, 0, 2000, 1500, 3810, 2540, 3},
    {"Grey16", {}, kImageGrey, 150, 16, 0, 500, 500, 5080, 3000, 2},
    {"LineArt", {}, kImageLineArt, 300, 8, 0, 1000, 7000, 5000, 2000, 0},
    {"Transparency", {{"transparency", "1"}}, kImageRgb, 204, 8, 1, 3000, 3000, 3600, 2400, 3},
    {"FeederSheetStays", {{"feeder", "1"}}, kImageGrey, 300, 8, 0, 0, 0, 2540, 2540, 2},
    {"BiravoRgb", {{"model", "biravo"}, {"lag", "4"}}, kImageRgb, 250, 8, 0, 1000, 1000, 2540, 2540, 3},
    {"DeviceOffersFewLinesAtATime", {{"readylines", "7"}}, kImageGrey, 300, 8, 0, 0, 0, 3000, 3000, 2},
    {"ColourFewLinesAtATime", {{"readylines", "5"}, {"lag", "2"}}, kImageRgb, 200, 8, 0, 0, 0, 3000, 3000, 3},
};

class Koval2ScanTest : public Koval2Bench,
                       public testing::WithParamInterface<std::tuple<ScsiDriverId, bool>> {
protected:
    // Lookup-table sizes whose identity tables keep the chart's values: 256 one-byte entries at 8
    // bits; 4096 entries up to 65535 above (exact at 12 bits, within 16 counts at 16 bits).
    static std::vector<std::pair<std::string, std::string>> WithTable(
        std::vector<std::pair<std::string, std::string>> options, int32_t bits)
    {
        for (const auto& option : options) {
            if (option.first == "lut")
                return options;
        }
        options.push_back({"lut", bits > 8 ? "100" : "1"});
        return options;
    }

    static bool WithinLutSteps(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& image)
    {
        if (expected.size() != image.size())
            return false;
        for (size_t i = 0; i + 1 < image.size(); i += 2) {
            int a = expected[i] | (expected[i + 1] << 8);
            int b = image[i] | (image[i + 1] << 8);
            if (a - b > 16 || b - a > 16)
                return false;
        }
        return true;
    }

    static size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
    {
        size_t i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i])
            ++i;
        return i;
    }

    void Run(const ScanCase& c)
    {
        Start(WithTable(c.device, c.bits), std::get<0>(GetParam()));
        if (std::get<1>(GetParam()))
            SetIni(CString(Driver().m_strProduct), "Blocking", "1");
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height, c.bits);
        m_Settings.SetParam(kParamOriginal, c.original);
        // The original's own density range: the device's exposure then leaves every level as it is.
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(c.original)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(c.original)));
        CKoval2Image image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        ASSERT_EQ(0, image.postStatus);

        CKoval2Scan scan = Device().LastScan();
        EXPECT_EQ(c.expectedMode, scan.mode);
        // The device scanned where the selection lies, within a pixel of the optical grid.
        double optical = Driver().m_nOpticalLow;
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / optical);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / optical);
        EXPECT_GE(scan.pixels, c.width * c.resolution / 2540);
        EXPECT_GE(scan.lines, c.height * c.resolution / 2540);

        // The driver hands 16-bit samples over in the machine's byte order.
        CChartWindow expectedWindow = scan.chart;
        expectedWindow.bigEndian16 = false;
        std::vector<uint8_t> expected = CTestChart::Render(expectedWindow);
        EXPECT_EQ(CTestChart::BytesPerLine(expectedWindow), image.bytesPerLine);
        ASSERT_EQ(uint32_t(scan.lines), image.lines);
        ASSERT_EQ(expected.size(), image.bytes.size());
        if (c.bits > 8)
            EXPECT_TRUE(WithinLutSteps(expected, image.bytes)) << "the scanned image differs from the chart";
        else
            EXPECT_TRUE(expected == image.bytes) << "the scanned image differs from the chart at byte "
                                                 << FirstDifference(expected, image.bytes) << " expected "
                                                 << int(expected[FirstDifference(expected, image.bytes)]) << " got "
                                                 << int(image.bytes[FirstDifference(expected, image.bytes)]);
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
};

}  // namespace

TEST_P(Koval2ScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Run(c);
        if (HasFatalFailure())
            return;
    }
}

TEST_P(Koval2ScanTest, ManyTransfersOfColourWithLag)
{
    // Small transfers make the colour lag straddle many block boundaries and the double buffer
    // change roles often.
    SetIni("General", "ScanBuffer", "4");
    Run({"SmallTransfers", {{"lag", "5"}}, kImageRgb, 100, 8, 0, 0, 0, 6000, 4000, 3});
}

TEST_P(Koval2ScanTest, SixteenBitColourWidenedBeforeTheEngine)
{
    SetIni("General", "Shiftto16beforeCMS", "1");
    Start({{"lag", "1"}, {"lut", "100"}}, std::get<0>(GetParam()));
    Select(kImageRgb, 100, 0, 0, 2540, 1270, 12);
    CKoval2Image image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    CKoval2Scan scan = Device().LastScan();
    ASSERT_EQ(12, scan.bits);
    CChartWindow window = scan.chart;
    window.bigEndian16 = true;
    std::vector<uint8_t> chart = CTestChart::Render(window);
    ASSERT_EQ(chart.size(), image.bytes.size());
    const uint16_t* samples = reinterpret_cast<const uint16_t*>(image.bytes.data());
    for (size_t i = 0; i < chart.size() / 2; ++i) {
        uint8_t device[2] = {0, 0};
        uint16_t twelve = uint16_t((chart[2 * i] << 8) | chart[2 * i + 1]) >> 4;
        device[0] = uint8_t(twelve >> 8);
        device[1] = uint8_t(twelve);
        ASSERT_EQ(WidenDeviceSample(device, 4), samples[i]) << "sample " << i;
    }
}

TEST_P(Koval2ScanTest, BadColourTagEndsTheScanAndTurnsOnBlocking)
{
    Start({{"badtag", "40"}, {"lut", "1"}}, std::get<0>(GetParam()));
    SetIni("KOVAL II", "Blocking", "0");
    Select(kImageRgb, 300, 0, 0, 2540, 2540);
    CKoval2Image image = ScanFromReserve();
    EXPECT_EQ(kDriverOk, image.status);
    EXPECT_EQ(255, image.postStatus);
    EXPECT_EQ(std::vector<int>{kMsgUnknownLineFormat}, m_Messages.Ids());
    EXPECT_EQ(1, GetIni("KOVAL II", "Blocking", 0));
    EXPECT_FALSE(Device().IsScanning());
}

TEST_P(Koval2ScanTest, SecondScanAfterTheFirst)
{
    // The driver's per-scan state starts afresh: a second scan of another mode is just as good.
    Run(kScans[0]);
    Run(kScans[1]);
}

class Koval2SyncOnlyTest : public Koval2Bench {};

TEST_F(Koval2SyncOnlyTest, AdapterWithoutOverlappedRequestsReadsSynchronously)
{
    // Our ASPI transport never posts overlapped requests to this adapter.
    strcpy(Host()->name, "AHA-2940 Sparrow");
    Start({{"lut", "1"}, {"lag", "2"}}, kScsiDriverAspi32);
    EXPECT_EQ(1, Driver().m_bSyncOnly);
    EXPECT_EQ(nullptr, Driver().m_Blocks[1].m_pData);
    Select(kImageRgb, 150, 0, 0, 5000, 5000);
    CKoval2Image image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_TRUE(CTestChart::Render(Device().LastScan().chart) == image.bytes);
}

class Koval2LineTest : public Koval2Bench {};

TEST_F(Koval2LineTest, QualityScansAtOpticalResolutionLoseSinglePixelSpikes)
{
    // One grey line of the device as the current block holds it; only odd pixels that stand out
    // from both neighbours are smoothed, and only in quality mode at the optical resolution.
    struct Case {
        const char* what;
        int32_t resolution;
        int32_t quality;
        std::vector<uint8_t> expected;
    };
    const std::vector<uint8_t> line = {10, 50, 10, 11, 12, 12};
    const Case kCases[] = {
        {"QualityAtOptical", 600, 1, {10, 10, 10, 11, 12, 12}},
        {"SpeedAtOptical", 600, 2, line},
        {"QualityBelowOptical", 300, 1, line},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Start({{"lut", "1"}});
        Select(kImageGrey, c.resolution, 0, 0, 1000, 1000);
        m_Settings.SetParam(kParamQuality, c.quality);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        m_Settings.m_nBytesPerLine = uint32_t(line.size());
        m_Settings.m_nPixelsPerLine = uint32_t(line.size());
        std::memcpy(Driver().m_Blocks[0].m_pData, line.data(), line.size());
        Driver().m_nCurrentBlock = 0;
        Driver().m_nLineLength = uint16_t(line.size());
        Driver().m_nHandedLines = 1;
        std::vector<uint8_t> out(line.size());
        int32_t status = -1;
        EXPECT_EQ(1u, Driver().PostProcessLines(out.data(), 1, &m_Settings, &status));
        EXPECT_EQ(0, status);
        EXPECT_EQ(c.expected, out);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, Koval2ScanTest,
                         testing::Combine(testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                                          testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<ScsiDriverId, bool>>& info) {
                             std::string name = std::get<0>(info.param) == kScsiDriverAspi32 ? "Aspi" : "NtPassThrough";
                             return name + (std::get<1>(info.param) ? "Blocking" : "DoubleBuffered");
                         });
