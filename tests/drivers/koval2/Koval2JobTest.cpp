// Whole scans from the virtual device through the driver and the scan job into BMP files, compared
// with the chart the device scanned.

#include "drivers/koval2/Koval2Driver.h"

#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"
#include "sim/TestChart.h"
#include "tests/drivers/koval2/Koval2Bench.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/Screenshot.h"
#include "framework/App.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct JobCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;
};

class Koval2JobTest : public JobBench<Koval2Bench> {
protected:
    Koval2JobTest() : JobBench("koval2_scan.bmp") {}

    void StartJobDriver(const JobCase& c, ScsiDriverId transport = kScsiDriverNtScsi)
    {
        std::vector<std::pair<std::string, std::string>> options = c.device;
        auto isTable = [](const auto& option) { return option.first == "lut"; };
        if (std::none_of(options.begin(), options.end(), isTable))
            options.push_back({"lut", "1"});    // identity tables that keep the chart's values
        Start(options, transport);
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
    }
};

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Files the scan job writes its image into before it replaces the output file.
int TemporaryImageFiles()
{
    return testsupport::CountProgramFiles("brv*.tmp");
}

}  // namespace

TEST_F(Koval2JobTest, BmpFilesHoldTheChart)
{
    const JobCase kCases[] = {
        {"rgb 300 with colour lag", {{"lag", "3"}}, kImageRgb, 300, 0, 2000, 1500, 3810, 2540},
        {"grey", {}, kImageGrey, 150, 0, 500, 500, 5080, 3000},
        {"transparency", {{"transparency", "1"}}, kImageRgb, 204, 1, 3000, 3000, 3600, 2400},
        {"feeder sheet", {{"feeder", "1"}}, kImageGrey, 300, 0, 0, 0, 2540, 2540},
        {"biravo rgb", {{"model", "biravo"}, {"lag", "4"}}, kImageRgb, 250, 0, 1000, 1000, 2540, 2540},
    };
    for (const JobCase& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver(c);
        // The original's own density range: the device's exposure then leaves every level as it is.
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(c.original)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(c.original)));
        int sheetsBefore = Device().FeederSheets();
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsScanning());
        // This driver scans from the glass: a sheet in the feeder stays where it is.
        EXPECT_EQ(sheetsBefore, Device().FeederSheets());
        EXPECT_EQ(0, Device().LastScan().accessory & 0x01);
        EXPECT_EQ(c.original == 1 ? 0x04 : 0, Device().LastScan().accessory & 0x04);

        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        uint16_t bitCount = uint16_t(file[28] | (file[29] << 8));
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, bitCount);
        EXPECT_EQ(0, WorstDifferenceFromChart(file, Device().LastScan().chart));
    }
}

// 16-bit grey is sized as two bytes a sample all the way and reaches an 8-bit memory image as the
// top bits of each sample.
TEST_F(Koval2JobTest, SixteenBitGreyReachesTheMemoryImage)
{
    StartJobDriver({"grey 16", {{"lut", "100"}}, kImageGrey, 150, 0, 500, 500, 5080, 3000});
    m_Settings.SetParam(kParamBitsPerChannel, 16);
    CDib8 sink(m_Settings.RotatedPixelWidth(), m_Settings.RotatedPixelHeight(), 150);
    ASSERT_NE(nullptr, sink.m_pBits);
    CScanJob job(&m_Settings, nullptr);
    uint16_t result = job.ScanToMemory(sink);
    job.EndScan();
    ASSERT_EQ(0, result) << testing::PrintToString(m_Messages.Texts());
    EXPECT_EQ(16, Device().LastScan().bits);

    CChartWindow chart = Device().LastScan().chart;
    chart.bitsPerSample = 8;
    std::vector<uint8_t> want = CTestChart::Render(chart);
    size_t rowBytes = CTestChart::BytesPerLine(chart);
    ASSERT_LE(sink.m_nHeight, uint32_t(chart.lines));
    int worst = 0;
    for (uint32_t y = 0; y < sink.m_nHeight; ++y) {
        const uint8_t* row = sink.m_pBits + (sink.m_nHeight - 1 - y) * sink.m_nStride;
        for (uint32_t x = 0; x < uint32_t(sink.m_pHeader->biWidth); ++x)
            worst = std::max(worst, std::abs(int(row[x]) - int(want[y * rowBytes + x])));
    }
    // The tables step by 16 of 65535: the top 8 bits may differ by one.
    EXPECT_LE(worst, 1);
}

// The device's line art sets its bits where the paper is white; the file shows the chart in black
// and white, pixel for pixel, whichever way the palette names the colours. At the threshold of 50
// that is the chart rendered as line art; another threshold moves the edge the device's table
// draws between grey levels.
TEST_F(Koval2JobTest, LineArtFileIsTheChartInBlackAndWhite)
{
    struct Case {
        const char* lut;
        uint32_t entries;
        int32_t threshold;
    };
    const Case kCases[] = {{"1", 256, 50}, {"0x22", 1024, 50}, {"1", 256, 75}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "lut " << c.lut << " threshold " << c.threshold);
        StartJobDriver({"line art", {{"lut", c.lut}}, kImageLineArt, 300, 0, 500, 500, 20000,
                        5000});
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_EQ(0, Device().LastScan().mode) << "the device's own line art";

        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ(1, file[28] | (file[29] << 8));
        uint32_t offset = Get32(file, 10);
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        uint32_t stride = (width + 31) / 32 * 4;
        ASSERT_EQ(offset + stride * height, file.size());
        // Palette entry n at byte 54 + 4n; an entry is white when its blue, green and red are 255.
        bool indexWhite[2] = {file[54] == 255 && file[55] == 255 && file[56] == 255,
                              file[58] == 255 && file[59] == 255 && file[60] == 255};

        CChartWindow chart = Device().LastScan().chart;
        ASSERT_EQ(1, chart.bitsPerSample);
        std::vector<uint8_t> lineArt = CTestChart::Render(chart);       // 1 = white
        CChartWindow greyWindow = chart;
        greyWindow.bitsPerSample = 8;
        std::vector<uint8_t> grey = CTestChart::Render(greyWindow);
        size_t rowBytes = CTestChart::BytesPerLine(chart);
        size_t greyRowBytes = CTestChart::BytesPerLine(greyWindow);
        uint32_t firstWhite = c.entries * uint32_t(c.threshold) / 100;
        ASSERT_LE(width, uint32_t(chart.pixelsPerLine));
        ASSERT_LE(height, uint32_t(chart.lines));
        uint32_t mismatches = 0, white = 0, movedEdge = 0;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = &file[offset + (height - 1 - y) * stride];
            for (uint32_t x = 0; x < width; ++x) {
                bool fileWhite = indexWhite[(row[x / 8] >> (7 - x % 8)) & 1];
                bool chartWhite = ((lineArt[y * rowBytes + x / 8] >> (7 - x % 8)) & 1) != 0;
                uint32_t entry = grey[y * greyRowBytes + x] * (c.entries - 1) / 255;
                bool wantWhite = c.threshold == 50 ? chartWhite : entry >= firstWhite;
                mismatches += fileWhite == wantWhite ? 0 : 1;
                white += wantWhite ? 1 : 0;
                movedEdge += wantWhite != chartWhite ? 1 : 0;
            }
        }
        EXPECT_EQ(0u, mismatches);
        EXPECT_EQ(c.threshold != 50, movedEdge > 0);
        EXPECT_GT(white, 0u);
        EXPECT_LT(white, width * height);
    }
}

namespace {

// The engine DLL of the tests in a store of its own that also holds the film the virtual device
// has in its transparency unit (its default film), listed before the engine's own film types.
class CTestEngineStore {
public:
    CTestEngineStore()
    {
        m_folder = enginetest::MakeTempFolder("k2neg");
        std::string base = m_folder + "base";
        m_bReady = enginetest::CopyTree(enginetest::InstalledBase(), base + "\\") &&
                   enginetest::WriteTextFile(base + "\\MIREVANT\\OBJECTS\\cnegs\\FILM1.flm",
                                             "Description=The virtual device's film\n"
                                             "Base=0.300 0.500 0.700\nRange=1.000 1.100 1.200\n") &&
                   enginetest::WriteTextFile(m_folder + "engine.ini",
                                             "[Zelk CMS]\nBaseDir=" + base + "\n");
        m_bReady = m_bReady && OpenColourEngine((m_folder + "engine.ini").c_str()) &&
                   g_pCmsEngine != nullptr;
    }
    ~CTestEngineStore()
    {
        CloseColourEngine();
        enginetest::RemoveTree(m_folder);
    }
    bool IsReady() const { return m_bReady; }

private:
    std::string m_folder;
    bool m_bReady = false;
};

}  // namespace

// A colour negative through the real engine: the film type's inversion curves become the device's
// tables, and the file is the positive chart within 2 of 255 in every sample. The film type named
// for the scan applies, and the engine's first film type when none is named.
TEST_F(Koval2JobTest, ColourNegativeScansToThePositiveChart)
{
    CTestEngineStore store;
    ASSERT_TRUE(store.IsReady()) << testing::PrintToString(m_Messages.Ids());
    const int kTolerance = 2;
    for (const char* film : {"", "FILM1"}) {
        SCOPED_TRACE(std::string("film type '") + film + "'");
        StartJobDriver({"negative", {{"transparency", "1"}, {"negative", "1"}, {"lut", "0x24"}},
                        kImageRgb, 102, 2, 3000, 3000, 15000, 20000});
        m_Settings.SetFilmTypeName(kImageRgb, film);
        // Levels already known: the automatic prescan would need the engine's resampling, which
        // this engine build does not have yet.
        m_Settings.SetParam(kParamPrescanDone, 1);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Texts());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_EQ(0x04, Device().LastScan().accessory & 0x04);

        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 54u);
        ASSERT_EQ(24, file[28] | (file[29] << 8));
        uint32_t offset = Get32(file, 10);
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        uint32_t stride = (width * 3 + 3) / 4 * 4;
        ASSERT_EQ(offset + stride * height, file.size());
        CChartWindow chart = Device().LastScan().chart;
        std::vector<uint8_t> positive = CTestChart::Render(chart);
        size_t rowBytes = CTestChart::BytesPerLine(chart);
        int worst = 0;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = &file[offset + (height - 1 - y) * stride];
            for (uint32_t x = 0; x < width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    int got = row[3 * x + 2 - c];
                    int want = positive[y * rowBytes + 3 * x + c];
                    worst = std::max(worst, std::abs(got - want));
                }
            }
        }
        EXPECT_LE(worst, kTolerance);
    }
}

// A prescan lowers the transfer size for its few lines per page; the scan after it still gets the
// resolution it asked for, and so does a scan with a transfer size setting below one line.
TEST_F(Koval2JobTest, EveryScanStartsFromTheTransferSizeOfTheDevice)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t resolution;
        int32_t height;
        const char* scanBuffer;
        int32_t prescanResolution;      // 0: no prescan first
    };
    const Case kCases[] = {
        {"1200 ppi A4 after a prescan", kImageGrey, 1200, 29700, "0", 12},
        {"rgb with a transfer size setting of 1 KB", kImageRgb, 300, 2540, "1", 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver({c.name, {}, kImageGrey, c.prescanResolution, 0, 0, 0, 21000, 29700});
        SetIni("General", "ScanBuffer", c.scanBuffer);
        if (c.prescanResolution != 0) {
            // The prescan's scan: the whole page at a few pixels per inch into memory.
            CDib8 preview(m_Settings.RotatedPixelWidth(), m_Settings.RotatedPixelHeight(),
                          uint32_t(c.prescanResolution));
            CScanJob job(&m_Settings, nullptr);
            ASSERT_EQ(kDriverOk, job.ScanToMemory(preview))
                << testing::PrintToString(m_Messages.Ids());
            job.EndScan();
            ASSERT_EQ(c.prescanResolution, Device().LastScan().xResolution);
        }
        Select(c.type, c.resolution, 0, 0, 21000, c.height);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_EQ(c.resolution, Device().LastScan().xResolution);
        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        EXPECT_EQ(uint32_t(21000 * c.resolution / 2540), Get32(file, 18));
        EXPECT_EQ(uint32_t(c.height * c.resolution / 2540), Get32(file, 22));
        SetIni("General", "ScanBuffer", "0");
    }
}

// A device that fails in the middle of the image, through either transport: the scan fails, the
// file it was to replace keeps its old content (or stays absent) and no half-written image is left
// behind.
TEST_F(Koval2JobTest, ADeviceFailingMidScanLeavesTheOldFile)
{
    struct Case {
        const char* name;
        ScsiDriverId transport;
        SimFaultKind fault;
        bool earlierFile;
    };
    const Case kCases[] = {
        {"short READ(6), pass-through", kScsiDriverNtScsi, SimFaultKind::ShortTransfer, true},
        {"short READ(6), ASPI", kScsiDriverAspi32, SimFaultKind::ShortTransfer, true},
        {"short READ(6), pass-through, no earlier file", kScsiDriverNtScsi, SimFaultKind::ShortTransfer, false},
        {"short READ(6), ASPI, no earlier file", kScsiDriverAspi32, SimFaultKind::ShortTransfer, false},
        {"hardware error, ASPI", kScsiDriverAspi32, SimFaultKind::Check, true},
    };
    const std::string old = "the picture scanned yesterday";
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver({c.name, {}, kImageRgb, 300, 0, 0, 0, 5080, 5080}, c.transport);
        CSimFault fault;
        fault.kind = c.fault;
        fault.opcode = 0x08;
        fault.skip = 3;
        fault.bytes = 100;
        fault.sense = CSimSense{0x04, 0x44, 0x00};
        Device().AddFault(fault);
        DeleteFileA(m_strPath.c_str());
        if (c.earlierFile)
            WriteWholeFile(m_strPath, old);
        m_Messages.Clear();
        EXPECT_NE(1, ScanToFile());
        EXPECT_EQ(std::vector<int>{3335}, m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        if (c.earlierFile)
            EXPECT_EQ(old, std::string(file.begin(), file.end()));
        else
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_strPath.c_str()));
        EXPECT_EQ(0, TemporaryImageFiles());
        EXPECT_FALSE(Device().IsScanning());
    }
}
