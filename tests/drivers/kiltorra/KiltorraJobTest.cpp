// Whole KILTORRA scans from the virtual device through the driver and the scan job into BMP files of
// exactly the selected size, compared with the chart the device scanned, through both transports.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngineInstance.h"
#include "sim/TestChart.h"
#include "tests/drivers/kiltorra/KiltorraBench.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/engine/EngineFixture.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class KiltorraJobTest : public JobBench<KiltorraBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    KiltorraJobTest() : JobBench("kiltorra_scan.bmp") { }
};

struct JobCase {
    const char* name;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;  // 1/100 mm
    uint16_t bits;
};

// The largest difference of the file from the chart the device scanned; columns beyond the device's
// pixels must repeat its last column. -1 when the file is not a whole 8- or 24-bit BMP, or the
// device scanned more than the one pixel an even window adds.
int WorstDifference(const std::vector<uint8_t>& file, const CChartWindow& device)
{
    if (file.size() < 62 || file[0] != 'B')
        return -1;
    const uint32_t bytes = uint32_t(file[28] | (file[29] << 8)) / 8;
    const uint32_t offset = Get32(file, 10), width = Get32(file, 18), height = Get32(file, 22);
    const uint32_t stride = (width * bytes * 8 + 31) / 32 * 4;
    const uint32_t pixels = uint32_t(device.pixelsPerLine);
    if ((bytes != 1 && bytes != 3) || offset + size_t(stride) * height != file.size() || pixels == 0 ||
        pixels > width + 1 || uint32_t(device.lines) < height)
        return -1;
    const std::vector<uint8_t> chart = CTestChart::Render(device);
    const size_t rowBytes = CTestChart::BytesPerLine(device);
    int worst = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &file[offset + (height - 1 - y) * stride];
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t ch = 0; ch < bytes; ++ch) {
                // BMP colour pixels are blue first.
                int got = row[x * bytes + (bytes == 3 ? 2 - ch : 0)];
                int want = x < pixels ? chart[y * rowBytes + x * bytes + ch]
                                      : row[(pixels - 1) * bytes + (bytes == 3 ? 2 - ch : 0)];
                worst = std::max(worst, std::abs(got - want));
            }
        }
    }
    return worst;
}

const JobCase kJobs[] = {
    {"GreyReflective", kImageGrey, 150, 0, 500, 500, 5080, 3000, 8},
    {"RgbReflective", kImageRgb, 200, 0, 2000, 1500, 3810, 2540, 24},
    // An odd number of pixels: the device scans one more, past the selection.
    {"GreyOddWidth", kImageGrey, 300, 0, 1000, 1000, 1702, 1000, 8},
    {"RgbSlide", kImageRgb, 300, 1, 9250, 23998, 2500, 1200, 24},
    {"GreySlide", kImageGrey, 120, 1, 0, 0, 20320, 3000, 8},
};

}  // namespace

TEST_P(KiltorraJobTest, BmpFilesHoldTheChartAtTheSelectedSize)
{
    // The device's film gamma off, so that a slide gives the chart back as it is.
    SetIni("KILTORRA", "ScannerTransGamma", "1000");
    for (const JobCase& c : kJobs) {
        SCOPED_TRACE(c.name);
        Start({}, GetParam());
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_FALSE(Device().IsReservedByHost());

        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        EXPECT_EQ(c.bits, file[28] | (file[29] << 8));
        EXPECT_EQ(uint32_t(c.width * c.resolution / 2540), Get32(file, 18));
        EXPECT_EQ(uint32_t(c.height * c.resolution / 2540), Get32(file, 22));
        CKiltorraScan scan = Device().LastScan();
        EXPECT_EQ(c.original != 0 ? 3 : 1, Device().Window()[74]);
        uint32_t width = Get32(file, 18);
        EXPECT_TRUE(scan.pixels == width || scan.pixels == width + 1) << scan.pixels;
        int worst = WorstDifference(file, scan.chart);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, 1);
    }
    SetIni("KILTORRA", "ScannerTransGamma", nullptr);
}

// A negative through the installed colour engine: the scan sends the six film values after its window
// and the file has the selected size. Its colours are the engine's inversion of a film the chart
// is not, so they are not compared here.
TEST_P(KiltorraJobTest, NegativeScansWithItsFilmValuesToTheSelectedSize)
{
    std::string folder = enginetest::MakeTempFolder("kiltneg");
    ASSERT_TRUE(
        enginetest::WriteTextFile(folder + "engine.ini", "[Zelk CMS]\nBaseDir=" + enginetest::InstalledBase() + "\n"));
    ASSERT_TRUE(OpenColourEngine((folder + "engine.ini").c_str()) && g_pCmsEngine != nullptr);
    Start({}, GetParam());
    SelectForJob(kImageRgb, 300, 2, 9200, 20000, 2500, 3600);
    // Levels already known: the automatic prescan needs the engine's resampling, which this engine
    // build does not have yet.
    m_Settings.SetParam(kParamPrescanDone, 1);
    uint16_t result = ScanToFile();
    CloseColourEngine();
    enginetest::RemoveTree(folder);
    ASSERT_EQ(1, result) << testing::PrintToString(m_Messages.Ids());
    EXPECT_TRUE(m_Messages.Ids().empty());
    std::vector<uint8_t> file = ReadOutput();
    ASSERT_GT(file.size(), 62u);
    EXPECT_EQ(24, file[28] | (file[29] << 8));
    EXPECT_EQ(uint32_t(2500 * 300 / 2540), Get32(file, 18));
    EXPECT_EQ(uint32_t(3600 * 300 / 2540), Get32(file, 22));
    // The last window is the scan's; the six values follow it.
    std::vector<CSimLogEntry> log = Commands({0x24, 0x2A});
    size_t lastWindow = 0;
    for (size_t i = 0; i < log.size(); ++i)
        lastWindow = log[i].cdb[0] == 0x24 ? i : lastWindow;
    std::vector<uint16_t> codes;
    for (size_t i = lastWindow + 1; i < log.size(); ++i)
        codes.push_back(uint16_t((log[i].cdb[4] << 8) | log[i].cdb[5]));
    EXPECT_EQ((std::vector<uint16_t> {33, 32, 31, 43, 42, 41}), codes);
    EXPECT_FALSE(Device().IsReservedByHost());
}

TEST_P(KiltorraJobTest, FailedScanReportsAndReleasesTheDevice)
{
    Start({}, GetParam());
    SelectForJob(kImageGrey, 150, 0, 0, 0, 2540, 2540);
    CSimFault refuse;
    refuse.kind = SimFaultKind::Check;
    refuse.opcode = 0x24;
    refuse.sense = {5, 0x26, 0};
    Device().AddFault(refuse);
    uint16_t result = ScanToFile();
    EXPECT_NE(1, result);
    EXPECT_NE(0, result);
    EXPECT_EQ(std::vector<int> {3442}, m_Messages.Ids());
    EXPECT_FALSE(Device().IsScanning());
    EXPECT_FALSE(Device().IsReservedByHost());
    EXPECT_TRUE(ReadOutput().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Transports, KiltorraJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
