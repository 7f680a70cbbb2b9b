// The output stage's mirrors and turns against a reference turn of the device image, pixel by
// pixel: the scan job writes the rows as the stage hands them on into a raw file (the test engine's
// image file), which must hold the chart's window mirrored and turned, byte for byte.

#include "core/cms/CmsEngineInstance.h"
#include "core/scan/ScanColour.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanOutput.h"
#include "core/util/SpillFile.h"
#include "framework/App.h"
#include "tests/core/scan/FakeEngine.h"
#include "tests/core/scan/ScanTestSupport.h"
#include "tests/support/Reports.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CDepth {
    const char* name;
    int32_t type;
    int32_t bits;
};

const CDepth kDepths[] = {
    {"line art", kImageLineArt, 1},
    {"grey 8", kImageGrey, 8},
    {"grey 16", kImageGrey, 16},
    {"rgb 24", kImageRgb, 8},
    {"rgb 48", kImageRgb, 16},
};

// A selection of `across` x `down` pixels turned in bands of `bandLines` device lines (0: the
// stage's own band), from a device window that may fall short of the selection or go beyond it.
struct CShape {
    const char* name;
    uint32_t across;
    uint32_t down;
    uint32_t bandLines;
    uint32_t shortPixels = 0;
    uint32_t shortLines = 0;
    uint32_t extraPixels = 0;
    uint32_t extraLines = 0;
};

// A length in 1/100 mm that comes out as `pixels` at `resolution` ppi.
int32_t Hundredths(uint32_t pixels, int32_t resolution)
{
    return (int32_t)((pixels * 2540u + (uint32_t)resolution / 2) / (uint32_t)resolution);
}

class RotationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxGetApp()->WriteProfileInt("General", "File extension", 0);
        AfxGetApp()->WriteProfileInt("General", "Shiftto16afterCMS", 1);
        g_pScanSettings = &m_Settings;
        g_pCmsEngine = &m_Engine;
        m_Engine.m_bWritesFiles = true;
    }
    void TearDown() override
    {
        g_RotationBandBytes = m_nDefaultBand;
        g_pScannerDriver = nullptr;
        g_pScanSettings = nullptr;
        g_pCmsEngine = nullptr;
        DeleteFileA(m_strPath.c_str());
    }

    // The selection starts an inch into the chart's ramps and reaches down into its colour ramps.
    void Configure(const CDepth& depth, const CShape& shape, int32_t rotation, int32_t mirror, int32_t resolution)
    {
        m_pDriver = std::make_unique<CChartDriver>(true);
        g_pScannerDriver = m_pDriver.get();
        m_pDriver->m_bSpeckled = true;
        m_pDriver->m_nShortPixels = shape.shortPixels;
        m_pDriver->m_nShortLines = shape.shortLines;
        m_pDriver->m_nExtraPixels = shape.extraPixels;
        m_pDriver->m_nExtraLines = shape.extraLines;
        SetChartScan(m_Settings, depth.type, depth.bits, rotation, mirror, resolution);
        SetAll(m_Settings, kParamSelLeft, 2540);
        SetAll(m_Settings, kParamSelTop, 2200);
        SetAll(m_Settings, kParamSelRight, 2540 + Hundredths(shape.across, resolution));
        SetAll(m_Settings, kParamSelBottom, 2200 + Hundredths(shape.down, resolution));
        g_RotationBandBytes = shape.bandLines == 0 ? m_nDefaultBand : shape.bandLines * DeviceLineBytes(depth, shape);
    }

    uint32_t DeviceLineBytes(const CDepth& depth, const CShape& shape) const
    {
        uint32_t pixels = IsSideways() ? m_Settings.RotatedPixelHeight() : m_Settings.RotatedPixelWidth();
        pixels = pixels - shape.shortPixels + shape.extraPixels;
        uint32_t sampleBits = depth.type == kImageLineArt ? 1 : depth.bits > 8 ? 16 : 8;
        uint32_t channels = depth.type == kImageRgb ? 3 : 1;
        return (pixels * channels * sampleBits + 7) / 8;
    }

    bool IsSideways() const
    {
        int32_t rotation = m_Settings.GetParam(kParamRotation);
        return rotation == 90 || rotation == 270;
    }

    uint16_t ScanFile()
    {
        CScanJob job(&m_Settings, nullptr);
        uint16_t result = job.ScanToFile(m_strPath.c_str());
        job.EndScan();
        return result;
    }

    // The device window cut to the selection, mirrored and turned, then widened and lengthened to
    // the selection by repeating its last column and line.
    CExpectedImage Expected(int32_t rotation, int32_t mirror) const
    {
        CChartWindow window = m_pDriver->Window();
        uint32_t width = m_Settings.RotatedPixelWidth();
        uint32_t height = m_Settings.RotatedPixelHeight();
        bool sideways = IsSideways();
        window.pixelsPerLine = std::min(window.pixelsPerLine, (int)(sideways ? height : width));
        window.lines = std::min(window.lines, (int)(sideways ? width : height));
        return RepeatEdges(ExpectedImage(window, rotation, mirror, true), width, height);
    }

    // Pixels of the raw file (rows of whole 4-byte words) that differ from the expected image;
    // every pixel differs in a file of the wrong length.
    uint32_t FileMismatches(const CExpectedImage& expected, bool bits) const
    {
        std::vector<uint8_t> file = ReadWholeFile(m_strPath);
        uint32_t rowBytes = (m_Settings.SelectionLineBytes() + 3) & ~3u;
        if (file.size() != (size_t)rowBytes * expected.height)
            return expected.width * expected.height;
        uint32_t mismatches = 0;
        for (uint32_t y = 0; y < expected.height; ++y) {
            const uint8_t* row = &file[(size_t)y * rowBytes];
            for (uint32_t x = 0; x < expected.width; ++x) {
                const uint8_t* want = expected.At(x, y);
                bool same = bits ? ((row[x / 8] >> (7 - x % 8)) & 1) == want[0]
                                 : memcmp(row + x * expected.pixelBytes, want, expected.pixelBytes) == 0;
                mismatches += same ? 0 : 1;
            }
        }
        return mismatches;
    }

    CScanSettings m_Settings;
    std::unique_ptr<CChartDriver> m_pDriver;
    CFakeEngine m_Engine;
    CEngineFilesOnly m_Colour;
    CScanColourScope m_ColourScope {m_Colour};
    CReportRecorder m_Reports;
    const std::string m_strPath = testsupport::ProgramDirectory() + "rotation_out.raw";
    const uint32_t m_nDefaultBand = g_RotationBandBytes;
};

}  // namespace

// Widths of one pixel, of a part of a byte and of more than a tile; line counts of one line and
// ones the bands do not divide; band edges inside the bytes of 1-bit rows; bands longer than the
// lines a sideways turn stages at a time.
TEST_F(RotationTest, EveryDepthTurnAndMirrorGivesTheDeviceImageTurned)
{
    const CShape shapes[] = {
        {"1 x 37", 1, 37, 5},
        {"37 x 1", 37, 1, 5},
        {"13 x 9 in one band", 13, 9, 0},
        {"83 x 45 in bands of 4 lines", 83, 45, 4},
        {"83 x 45 in bands of 1 line", 83, 45, 1},
        {"70 x 93 in bands of 45 lines", 70, 93, 45},
        {"45 x 29, device 5 pixels and 3 lines short", 45, 29, 3, 5, 3},
        // A device that rounds its window up: what it delivers past the selection is cut, so that
        // the turn puts no extra line or pixel at the top or left.
        {"45 x 29, device 3 pixels and 2 lines beyond", 45, 29, 3, 0, 0, 3, 2},
    };
    for (const CShape& shape : shapes) {
        for (const CDepth& depth : kDepths) {
            for (int32_t rotation : {0, 90, 180, 270}) {
                for (int32_t mirror = 0; mirror < 4; ++mirror) {
                    SCOPED_TRACE(std::string(shape.name) + ", " + depth.name + ", rotation " +
                        std::to_string(rotation) + " mirror " + std::to_string(mirror));
                    Configure(depth, shape, rotation, mirror, kResolution);
                    ASSERT_EQ(1, ScanFile());
                    EXPECT_EQ(0u, FileMismatches(Expected(rotation, mirror), depth.type == kImageLineArt));
                }
            }
        }
    }
    EXPECT_TRUE(m_Reports.Ids().empty());
}

// An image larger than the spill file keeps in memory turns through a temporary file, in bands of
// the stage's own size.
TEST_F(RotationTest, ALargeImageTurnsThroughATemporaryFile)
{
    struct Case {
        int32_t rotation;
        int32_t mirror;
    };
    const Case cases[] = {{90, 0}, {180, 3}, {270, 1}};
    const CDepth& rgb48 = kDepths[4];
    for (const Case& c : cases) {
        SCOPED_TRACE("rotation " + std::to_string(c.rotation) + " mirror " + std::to_string(c.mirror));
        Configure(rgb48, {"1500 x 2000", 1500, 2000, 0}, c.rotation, c.mirror, 254);
        ASSERT_GT((uint64_t)m_Settings.RotatedPixelWidth() * m_Settings.RotatedPixelHeight() * 6, kSpillMemoryBudget);
        ASSERT_EQ(1, ScanFile());
        EXPECT_EQ(0u, FileMismatches(Expected(c.rotation, c.mirror), false));
    }
    EXPECT_TRUE(m_Reports.Ids().empty());
}
