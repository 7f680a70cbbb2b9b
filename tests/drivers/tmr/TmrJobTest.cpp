// Whole TM-R scans through the scan job and the engine's output steps into BMP files of exactly the
// selected size: grey and line art are made on the host from the colour the device always sends.

#include "drivers/tmr/TmrDriver.h"

#include "colour/CmsEngineLoader.h"
#include "colour/EngineScanColour.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/scan/ScanColour.h"
#include "sim/TestChart.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/drivers/tmr/TmrBench.h"
#include "tests/engine/EngineFixture.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The installed engine, as the program opens it, for the output steps of the scans.
class CInstalledEngine {
public:
    CInstalledEngine()
    {
        m_folder = enginetest::MakeTempFolder("tmrjob");
        std::string base = enginetest::InstalledBase();
        base.pop_back();
        m_bReady = enginetest::WriteTextFile(m_folder + "engine.ini", "[Zelk CMS]\nBaseDir=" + base + "\n") &&
            OpenColourEngine((m_folder + "engine.ini").c_str()) && g_pCmsEngine != nullptr;
    }
    ~CInstalledEngine()
    {
        CloseColourEngine();
        enginetest::RemoveTree(m_folder);
    }
    bool IsReady() const { return m_bReady; }

private:
    std::string m_folder;
    bool m_bReady = false;
};

struct JobCase {
    const char* name;
    CDeviceOptions device;
    int32_t type, resolution, original;
    int32_t left, top, width, height;  // 1/100 mm
    uint16_t bits;
    bool chart;  // a positive original: the file shows the chart
};

// Odd pixel counts: each window is the selection made even, one pixel wider.
const JobCase kJobs[] = {
    {"rgb glass", {}, kImageRgb, 150, 0, 500, 500, 5110, 1500, 24, true},
    {"grey glass", {{"model", "tmrs"}}, kImageGrey, 200, 0, 2000, 1500, 3823, 2540, 8, true},
    {"line art glass", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000, 1, true},
    {"rgb slide", {}, kImageRgb, 100, 1, 3000, 3000, 4013, 2400, 24, true},
    {"grey slide", {}, kImageGrey, 100, 1, 3000, 3000, 4013, 2400, 8, true},
    {"rgb negative", {}, kImageRgb, 75, 2, 3000, 3000, 4100, 2400, 24, false},
};

class TmrJobTest : public JobBench<TmrBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    TmrJobTest() : JobBench("tmr_scan.bmp") { }
};

// The chart's 8-bit colour at file pixel (x, y): the device's window, its last column and line
// repeated where the file is wider or longer.
const uint8_t* ChartPixel(const std::vector<uint8_t>& chart, const CChartWindow& window, uint32_t x, uint32_t y)
{
    x = std::min(x, uint32_t(window.pixelsPerLine - 1));
    y = std::min(y, uint32_t(window.lines - 1));
    return &chart[(size_t(y) * window.pixelsPerLine + x) * 3];
}

int GreyOf(const uint8_t* rgb) { return (77 * rgb[0] + 151 * rgb[1] + 28 * rgb[2]) / 256; }

// The threshold step maps the device's pixels onto the whole output width, a fraction of a pixel
// apart at most: a file pixel agrees when the chart near where it maps lies on its side.
bool LineArtAgrees(
    const std::vector<uint8_t>& chart, const CChartWindow& window, uint32_t width, uint32_t x, uint32_t y, bool black)
{
    uint32_t last = uint32_t(window.pixelsPerLine - 1);
    uint32_t mapped = width > 1 ? (x * last + (width - 1) / 2) / (width - 1) : 0;
    for (uint32_t at = mapped > 0 ? mapped - 1 : 0; at <= std::min(mapped + 1, last); ++at) {
        int grey = GreyOf(ChartPixel(chart, window, at, y));
        if (std::abs(grey - 128) <= 4 || (grey < 128) == black)
            return true;
    }
    return false;
}

// Samples of the file further from the chart than the engine's rounding: colour by channel, grey
// by the engine's weights, line art where the grey is clearly on one side of the threshold.
uint32_t Mismatches(const std::vector<uint8_t>& file, const CChartWindow& window)
{
    std::vector<uint8_t> chart = CTestChart::Render(window);
    uint32_t offset = Get32(file, 10), width = Get32(file, 18), height = Get32(file, 22);
    uint16_t bits = uint16_t(file[28] | (file[29] << 8));
    uint32_t stride = (width * bits + 31) / 32 * 4;
    uint32_t mismatches = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &file[offset + size_t(height - 1 - y) * stride];
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* rgb = ChartPixel(chart, window, x, y);
            int grey = GreyOf(rgb);
            if (bits == 24) {
                for (int c = 0; c < 3; ++c)
                    mismatches += std::abs(int(row[3 * x + 2 - c]) - int(rgb[c])) > 1 ? 1 : 0;
            } else if (bits == 8) {
                mismatches += std::abs(int(row[x]) - grey) > 2 ? 1 : 0;
            } else {
                bool black = ((row[x / 8] >> (7 - x % 8)) & 1) != 0;
                mismatches += LineArtAgrees(chart, window, width, x, y, black) ? 0 : 1;
            }
        }
    }
    return mismatches;
}

}  // namespace

TEST_P(TmrJobTest, BmpFilesOfEveryTypeAndOriginalHaveTheSelectedSize)
{
    CInstalledEngine engine;
    ASSERT_TRUE(engine.IsReady());
    CEngineScanColour colour;
    CScanColourScope scope(colour);
    for (const JobCase& c : kJobs) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        uint32_t selectedWidth = m_Settings.RotatedPixelWidth();
        uint32_t selectedHeight = m_Settings.RotatedPixelHeight();
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Texts());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsReservedByHost());
        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        EXPECT_EQ(c.bits, file[28] | (file[29] << 8));
        EXPECT_EQ(selectedWidth, Get32(file, 18));
        EXPECT_EQ(selectedHeight, Get32(file, 22));
        uint32_t stride = (selectedWidth * c.bits + 31) / 32 * 4;
        ASSERT_EQ(Get32(file, 10) + size_t(stride) * selectedHeight, file.size());
        CTmrScan scan = Device().LastScan();
        // The window is not the file: one pixel wider for the odd counts, and line art rows are
        // whole bytes.
        EXPECT_EQ(c.type == kImageLineArt ? selectedWidth - 2 : selectedWidth + 1, scan.pixels);
        if (c.chart) {
            EXPECT_EQ(0u, Mismatches(file, scan.chart));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, TmrJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
