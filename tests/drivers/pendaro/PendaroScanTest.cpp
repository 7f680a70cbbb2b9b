// Whole PENDARO scans through the driver's data path from the virtual device, compared byte for
// byte with the chart the device scanned, through both transports.

#include "sim/TestChart.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    CDeviceOptions device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;       // 1/100 mm
    int expectedMode;
};

const ScanCase kScans[] = {
    {"Grey300", {}, kImageGrey, 300, 0, 500, 500, 5080, 3000, 2},
    {"RgbWithLag", {{"lag", "3"}}, kImageRgb, 150, 0, 2000, 1500, 3810, 2540, 3},
    {"RgbAboveTheLowerOptical", {}, kImageRgb, 450, 0, 1000, 1000, 1270, 1270, 3},
    {"PendaroIIGrey", {{"model", "pendaro2"}}, kImageGrey, 200, 0, 0, 0, 2540, 2540, 2},
    {"DX690Rgb", {{"model", "dx690"}, {"lag", "2"}}, kImageRgb, 400, 0, 1000, 2000, 2000, 2000, 3},
    {"Transparency", {{"transparency", "1"}}, kImageRgb, 150, 1, 3000, 3000, 3600, 2400, 3},
    {"DeviceLineArt", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 2000, 0},
    {"DeviceLineArtWideTable", {{"lut", "0x02"}}, kImageLineArt, 300, 0, 1000, 7000, 5000, 2000, 0},
    {"FewLinesAtATime", {{"readylines", "7"}}, kImageGrey, 300, 0, 0, 0, 3000, 3000, 2},
    {"WordTableOfAWideDevice", {{"lut", "0x44"}}, kImageGrey, 150, 0, 0, 0, 2540, 2540, 2},
};

class PendaroScanTest : public PendaroBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    // 256 one-byte entries: identity tables that keep the chart's values exactly.
    static CDeviceOptions WithTable(CDeviceOptions options)
    {
        for (const auto& option : options) {
            if (option.first == "lut")
                return options;
        }
        options.push_back({"lut", "1"});
        return options;
    }

    void Run(const ScanCase& c)
    {
        Start(WithTable(c.device), GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        // The original's own density range: the device's exposure then leaves every level as it is.
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(c.original)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(c.original)));
        CBenchImage image = ScanFromPrescan();
        ASSERT_EQ(kDriverOk, image.status);
        ASSERT_EQ(0, image.postStatus);
        CKoval2Scan scan = Device().LastScan();
        EXPECT_EQ(c.expectedMode, scan.mode);
        double optical = Driver().m_nOpticalLow;
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / optical);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / optical);
        EXPECT_GE(scan.pixels, c.width * c.resolution / 2540);
        EXPECT_GE(scan.lines, c.height * c.resolution / 2540);
        EXPECT_EQ(c.original == 1 ? 0x04 : 0, scan.accessory & 0x04);
        std::vector<uint8_t> expected = CTestChart::Render(scan.chart);
        EXPECT_EQ(CTestChart::BytesPerLine(scan.chart), image.bytesPerLine);
        ASSERT_EQ(uint32_t(scan.lines), image.lines);
        size_t at = 0;
        while (at < expected.size() && at < image.bytes.size() && expected[at] == image.bytes[at])
            ++at;
        EXPECT_EQ(expected.size(), at) << "the scanned image differs from the chart at byte " << at << " of line "
                                       << at / std::max<size_t>(image.bytesPerLine, 1);
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
};

}  // namespace

TEST_P(PendaroScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Run(c);
        if (HasFatalFailure())
            return;
    }
}

TEST_P(PendaroScanTest, FeederSheetScansAndGoes)
{
    SetIni("General", "ADF", "1");
    Run({"Feeder", {{"feeder", "2"}}, kImageGrey, 300, 0, 0, 0, 2540, 2540, 2});
    EXPECT_EQ(0x01, Device().LastScan().accessory & 0x01);
    EXPECT_EQ(1, Device().FeederSheets());
}

INSTANTIATE_TEST_SUITE_P(Transports, PendaroScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
