#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/OutputPipeline.h"
#include "core/scan/ScanColour.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanOutput.h"
#include "core/scan/ScanServices.h"
#include "core/scan/ShellServices.h"
#include "framework/App.h"
#include "tests/core/scan/FakeEngine.h"
#include "tests/core/scan/ScanTestSupport.h"
#include "tests/support/Screenshot.h"

#include "tests/support/TestApplication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string g_IniPath = testsupport::ProgramDirectory() + "scan_test.ini";

const auto* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new testsupport::CTestApplication(
    "core_scan_tests", g_IniPath, {.freshIni = true, .englishCatalog = true}));

struct ScanCase {
    const char* name;
    int32_t type;
    int32_t bits;
    bool onePass;
    int32_t rotation;
    int32_t mirror;
};

uint32_t Get32(const std::vector<uint8_t>& d, size_t at)
{
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | (uint32_t)d[at + 3] << 24;
}

uint16_t Get16(const std::vector<uint8_t>& d, size_t at)
{
    return (uint16_t)(d[at] | d[at + 1] << 8);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

CDriveSpace g_OutputDrive;
CDriveSpace g_TempDrive;

// What the scan job asks of the shell, set by each case: the view's engine-correction switch, the
// image-mode invert option and, where a case measures the disk-space check, made-up drives.
class CTestShell : public CShellServices {
public:
    int UsesEngineCorrection() override { return m_nEngineCorrection; }
    int IsModeEnabled(int32_t) override { return m_nModeOption; }
    CDriveSpace DriveSpace(const char* path) override
    {
        if (!m_bFakeDrives)
            return CShellServices::DriveSpace(path);
        return strstr(path, "scan_out") != nullptr ? g_OutputDrive : g_TempDrive;
    }

    int m_nEngineCorrection = 0;
    int m_nModeOption = 0;
    bool m_bFakeDrives = false;
};

}  // namespace

class ScanJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxGetApp()->WriteProfileInt("General", "File extension", 1);
        AfxGetApp()->WriteProfileInt("General", "Shiftto16afterCMS", 1);
        g_pScanSettings = &m_Settings;
        g_pCmsEngine = &m_Engine;
        m_strPath = testsupport::ProgramDirectory() + "scan_out.bmp";
        DeleteFileA(m_strPath.c_str());
        Configure({"rgb", kImageRgb, 8, true, 0, 0});
        // No test may wait on a message box; tests that expect silence check m_pReports.
        m_pReports = std::make_unique<CReportRecorder>();
    }
    void TearDown() override
    {
        g_pScannerDriver = nullptr;
        g_pScanSettings = nullptr;
        g_pCmsEngine = nullptr;
        DeleteFileA(m_strPath.c_str());
        m_pReports.reset();
    }

    void Configure(const ScanCase& c)
    {
        m_pDriver = std::make_unique<CChartDriver>(c.onePass);
        g_pScannerDriver = m_pDriver.get();
        SetChartScan(m_Settings, c.type, c.bits, c.rotation, c.mirror, kResolution);
    }

    uint16_t ScanFile()
    {
        CScanJob job(&m_Settings, nullptr);
        uint16_t result = job.ScanToFile(m_strPath.c_str());
        job.EndScan();
        return result;
    }

    // Scans into a sink made as the clipboard path makes it.
    uint16_t ScanMemory(std::unique_ptr<CDib>& sink)
    {
        uint32_t width = m_Settings.RotatedPixelWidth();
        uint32_t height = m_Settings.RotatedPixelHeight();
        if (m_Settings.GetCurrentType() == kImageGrey)
            sink = std::make_unique<CDib8>(width, height, kResolution);
        else
            sink = std::make_unique<CDib24>(width, height, kResolution);
        CScanJob job(&m_Settings, nullptr);
        uint16_t result = job.ScanToMemory(*sink);
        job.EndScan();
        return result;
    }

    CScanSettings m_Settings;
    std::unique_ptr<CChartDriver> m_pDriver;
    CFakeEngine m_Engine;
    CEngineFilesOnly m_Colour;
    CScanColourScope m_ColourScope{m_Colour};
    std::string m_strPath;
    std::unique_ptr<CReportRecorder> m_pReports;
    CTestShell m_Shell;
    CShellServicesScope m_ShellScope{m_Shell};
};

// Pixels of a memory sink that differ from the expected image (1-bit and 8-bit sinks hold one
// sample per pixel, 24-bit sinks BGR).
uint32_t SinkMismatches(const CDib& sink, const CExpectedImage& expected)
{
    uint32_t mismatches = 0;
    for (uint32_t y = 0; y < expected.height && y < sink.m_nHeight; ++y) {
        const uint8_t* row = sink.m_pBits + (sink.m_nHeight - 1 - y) * sink.m_nStride;
        for (uint32_t x = 0; x < expected.width; ++x) {
            const uint8_t* want = expected.At(x, y);
            bool same;
            if (sink.m_nBitCount == 1)
                same = ((row[x / 8] >> (7 - x % 8)) & 1) == want[0];
            else if (sink.m_nBitCount == 8)
                same = row[x] == want[0];
            else
                same = row[x * 3] == want[2] && row[x * 3 + 1] == want[1] && row[x * 3 + 2] == want[0];
            mismatches += same ? 0 : 1;
        }
    }
    return mismatches;
}

// Pixels of a BMP file that differ from the expected image; every pixel differs in a file that is
// not a whole BMP.
uint32_t FileMismatches(const std::vector<uint8_t>& file, const CExpectedImage& expected)
{
    if (file.size() < 62)
        return expected.width * expected.height;
    uint32_t header = Get32(file, 10);
    uint32_t width = Get32(file, 18);
    uint32_t height = Get32(file, 22);
    uint16_t bitCount = Get16(file, 28);
    uint32_t stride = (width * bitCount + 31) / 32 * 4;
    if (file.size() < header + (uint64_t)stride * height)
        return expected.width * expected.height;
    uint32_t mismatches = 0;
    uint32_t columns = std::min(width, expected.width);
    for (uint32_t y = 0; y < expected.height && y < height; ++y) {
        const uint8_t* row = &file[header + (height - 1 - y) * stride];
        for (uint32_t x = 0; x < columns; ++x) {
            const uint8_t* want = expected.At(x, y);
            bool same;
            if (bitCount == 1)
                same = ((row[x / 8] >> (7 - x % 8)) & 1) == want[0];
            else if (bitCount == 8)
                same = row[x] == want[0];
            else
                same = row[x * 3] == want[2] && row[x * 3 + 1] == want[1] && row[x * 3 + 2] == want[0];
            mismatches += same ? 0 : 1;
        }
    }
    return mismatches;
}

}  // namespace

// ---- the order of the driver operations ------------------------------------------------------

TEST_F(ScanJobTest, DriverOperationsRunInTheirFixedOrder)
{
    struct Case {
        const char* name;
        bool onePass;
        int32_t type;
        int32_t original;
        int engineCorrection;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> head = {"Prescan", "Reserve", "Geometry"};
    const std::vector<std::string> tail = {"Tables", "Parameters", "Prepare", "Start", "Read"};
    auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {"one pass", true, kImageRgb, 0, 0, join(join(head, tail), {"Stop"})},
        {"three passes", false, kImageRgb, 0, 0,
         join(join(head, tail), {"Pass", "Read", "Pass", "Read", "Stop"})},
        {"colour negative", true, kImageRgb, 2, 0, join(join(join(head, {"Correction"}), tail), {"Stop"})},
        {"engine correction", true, kImageRgb, 2, 1,
         join(join(join(head, {"EngineCorrection"}), tail), {"Stop"})},
        {"grey negative", true, kImageGrey, 2, 0, join(join(head, tail), {"Stop"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, c.type, 8, c.onePass, 0, 0});
        SetAll(m_Settings, kParamOriginal, c.original);
        m_Shell.m_nEngineCorrection = c.engineCorrection;
        EXPECT_EQ(1, ScanFile());
        EXPECT_EQ(c.calls, m_pDriver->m_Calls);
    }
}

TEST_F(ScanJobTest, AFailingDriverStepEndsTheStartWithItsCode)
{
    struct Case {
        const char* failing;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"Parameters", {"Prescan", "Reserve", "Geometry", "Tables", "Parameters", "Stop"}},
        // A geometry the driver could not set up must not reach the tables and the reader.
        {"Geometry", {"Prescan", "Reserve", "Geometry", "Stop"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        Configure({"rgb", kImageRgb, 8, true, 0, 0});
        CReportRecorder reports;
        m_pDriver->m_strFailing = c.failing;
        EXPECT_EQ(255, ScanFile());
        EXPECT_EQ(c.calls, m_pDriver->m_Calls);
        EXPECT_EQ(std::vector<int>{3334}, reports.Ids());
        EXPECT_FALSE(FileExists(m_strPath));
    }
}

TEST_F(ScanJobTest, TheBareDriverAndAMissingDriverAreRefused)
{
    CReportRecorder reports;
    CScannerDriver bare;
    g_pScannerDriver = &bare;
    bare.m_nState = 2;
    CScanJob job(&m_Settings, nullptr);
    EXPECT_EQ(255, job.StartScan(0, 1, m_strPath.c_str()));
    job.EndScan();
    g_pScannerDriver = nullptr;
    CScanJob orphan(&m_Settings, nullptr);
    EXPECT_EQ(255, orphan.ScanToFile(m_strPath.c_str()));
    orphan.EndScan();
    CDib8 sink(10, 10, 100);
    EXPECT_EQ(255, orphan.ScanToMemory(sink));
    orphan.EndScan();
    EXPECT_FALSE(FileExists(m_strPath));
}

// ---- BMP files against the chart --------------------------------------------------------------

TEST_F(ScanJobTest, BmpFilesHoldTheChart)
{
    const ScanCase cases[] = {
        {"line art", kImageLineArt, 1, true, 0, 0},
        {"grey", kImageGrey, 8, true, 0, 0},
        {"rgb one pass", kImageRgb, 8, true, 0, 0},
        {"rgb three passes", kImageRgb, 8, false, 0, 0},
        {"line art mirrored in place", kImageLineArt, 1, true, 0, 2},
        {"line art turned", kImageLineArt, 1, true, 90, 2},
        {"grey turned and flipped", kImageGrey, 8, true, 270, 1},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(c);
        ASSERT_EQ(1, ScanFile());
        std::vector<uint8_t> file = ReadWholeFile(m_strPath);
        ASSERT_GT(file.size(), 62u);
        CExpectedImage expected = ExpectedImage(m_pDriver->Window(), c.rotation, c.mirror);
        uint16_t bitCount = c.type == kImageLineArt ? 1 : c.type == kImageGrey ? 8 : 24;
        uint32_t header = bitCount == 1 ? 62 : 1078;
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        uint32_t stride = (width * bitCount + 31) / 32 * 4;
        EXPECT_EQ('B', file[0]);
        EXPECT_EQ('M', file[1]);
        EXPECT_EQ(header, Get32(file, 10));
        EXPECT_EQ(bitCount, Get16(file, 28));
        EXPECT_EQ(kResolution * 10000u / 254, Get32(file, 38));
        EXPECT_EQ(bitCount == 1 ? 2u : 256u, Get32(file, 46));
        EXPECT_EQ(header + stride * height, Get32(file, 2));
        ASSERT_EQ(header + stride * height, file.size());
        ASSERT_EQ(m_Settings.RotatedPixelHeight(), height);
        ASSERT_LE(expected.height, height);
        if (bitCount == 1) {
            EXPECT_EQ(255, file[54]);   // palette entry 0 is white
            EXPECT_EQ(0, file[58]);
        } else if (bitCount == 8) {
            EXPECT_EQ(0x80, file[54 + 0x80 * 4]);
        } else {
            const uint8_t* e = &file[54 + (5 * 36 + 2 * 6 + 1) * 4];   // r 5, g 2, b 1
            EXPECT_EQ(51, e[0]);
            EXPECT_EQ(102, e[1]);
            EXPECT_EQ(255, e[2]);
        }
        EXPECT_EQ(0u, FileMismatches(file, expected));
        EXPECT_TRUE(m_pReports->Ids().empty());
    }
}

// ---- rotation and mirror, memory sink ---------------------------------------------------------

TEST_F(ScanJobTest, EveryRotationAndMirrorReachesTheClipboardSink)
{
    for (int32_t rotation : {0, 90, 180, 270}) {
        for (int32_t mirror = 0; mirror < 4; ++mirror) {
            SCOPED_TRACE("rotation " + std::to_string(rotation) + " mirror " + std::to_string(mirror));
            Configure({"rgb", kImageRgb, 8, true, rotation, mirror});
            std::unique_ptr<CDib> sink;
            ASSERT_EQ(0, ScanMemory(sink));
            CExpectedImage expected = ExpectedImage(m_pDriver->Window(), rotation, mirror);
            ASSERT_EQ(expected.width, (uint32_t)sink->m_pHeader->biWidth);
            ASSERT_EQ(expected.height, sink->m_nHeight);
            EXPECT_EQ(0u, SinkMismatches(*sink, expected));
        }
    }
    EXPECT_TRUE(m_pReports->Ids().empty());
}

// A sideways rotation writes its spill file band by band. Bands of one line, and bands whose edges
// fall inside a line-art byte of the turned lines, must give the same image as one band.
TEST_F(ScanJobTest, SidewaysRotationIsTheSameInBandsOfAnyHeight)
{
    struct CBandRestorer {
        uint32_t saved = g_RotationBandBytes;
        ~CBandRestorer() { g_RotationBandBytes = saved; }
    } restorer;
    const ScanCase types[] = {
        {"line art", kImageLineArt, 1, true, 0, 0},
        {"rgb", kImageRgb, 8, true, 0, 0},
    };
    // 1 byte gives bands of one line; 5000 bytes give 156 lines of line art (edges inside bytes of
    // the turned lines) and 6 lines of RGB.
    for (uint32_t bandBytes : {1u, 5000u}) {
        g_RotationBandBytes = bandBytes;
        for (const ScanCase& type : types) {
            for (int32_t rotation : {90, 270}) {
                for (int32_t mirror = 0; mirror < 4; ++mirror) {
                    SCOPED_TRACE(std::string(type.name) + ", band " + std::to_string(bandBytes) + " bytes, rotation " +
                                 std::to_string(rotation) + " mirror " + std::to_string(mirror));
                    Configure({type.name, type.type, type.bits, true, rotation, mirror});
                    ASSERT_EQ(1, ScanFile());
                    CExpectedImage expected = ExpectedImage(m_pDriver->Window(), rotation, mirror);
                    EXPECT_EQ(0u, FileMismatches(ReadWholeFile(m_strPath), expected));
                }
            }
        }
    }
    EXPECT_TRUE(m_pReports->Ids().empty());
}

// The image-mode option inverts a model's data; in line art it cancels the inversion that a device
// with 1 for white needs.
TEST_F(ScanJobTest, InversionByModelOptionAndLineArtPolarity)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t polarity;
        int modeOption;
        bool inverted;   // the sink holds the device's data inverted
    };
    const Case cases[] = {
        {"grey", kImageGrey, 1, 0, false},
        {"grey, inverting model", kImageGrey, 1, 1, true},
        {"line art, 1 is black", kImageLineArt, 1, 0, false},
        {"line art, 1 is white", kImageLineArt, 0, 0, true},
        {"line art, 1 is white, inverting model", kImageLineArt, 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, c.type, 8, true, 0, 0});
        m_pDriver->m_bLineArt = c.polarity;
        m_Shell.m_nModeOption = c.modeOption;
        uint32_t width = m_Settings.RotatedPixelWidth();
        uint32_t height = m_Settings.RotatedPixelHeight();
        CDib1 lineArt(width, height, kResolution);
        CDib8 grey(width, height, kResolution);
        CDib& sink = c.type == kImageLineArt ? static_cast<CDib&>(lineArt) : static_cast<CDib&>(grey);
        CScanJob job(&m_Settings, nullptr);
        ASSERT_EQ(0, job.ScanToMemory(sink));
        job.EndScan();
        CChartWindow window = m_pDriver->Window();
        window.invert = window.invert != c.inverted;
        EXPECT_EQ(0u, SinkMismatches(sink, ExpectedImage(window, 0, 0)));
    }
}

TEST_F(ScanJobTest, OnlyLongLineArtPagesOfSomeModelsWaitToSettle)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t resolution;
        int32_t heightMm;
        int32_t state;
        uint32_t kind;
        bool waits;
    };
    const Case cases[] = {
        {"a long page", kImageLineArt, 200, 240, 2, 0x1000, true},
        {"another model of the group", kImageLineArt, 200, 240, 2, 0x10000, true},
        {"grey", kImageGrey, 200, 240, 2, 0x1000, false},
        {"300 ppi", kImageLineArt, 300, 240, 2, 0x1000, false},
        {"a short page", kImageLineArt, 200, 200, 2, 0x1000, false},
        {"a preview", kImageLineArt, 200, 240, 1, 0x1000, false},
        {"another model", kImageLineArt, 200, 240, 2, 0x8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, c.type, 8, true, 0, 0});
        SetAll(m_Settings, kParamResolution, c.resolution);
        SetAll(m_Settings, kParamSelBottom, c.heightMm * 100);
        m_pDriver->m_nState = c.state;
        m_pDriver->m_nKind = c.kind;
        CScanJob job(&m_Settings, nullptr);
        EXPECT_EQ(c.waits, job.NeedsSettleWait());
    }
}

// ---- 16-bit samples ---------------------------------------------------------------------------

TEST(SixteenBitSamples, WideningAndByteOrder)
{
    struct Case {
        bool widen;
        bool swap;
        uint8_t first;
        uint8_t second;
    };
    const Case cases[] = {
        {true, false, 0xCA, 0xAB},    // 0xABCA, low byte first
        {true, true, 0xAB, 0xCA},
        {false, true, 0x0A, 0xBC},
        {false, false, 0xBC, 0x0A},
    };
    for (const Case& c : cases) {
        uint8_t row[4] = {0xBC, 0x0A, 0xFF, 0x0F};   // 0x0ABC and full scale
        CScanOutput::ConvertSamples(row, 1, 4, 12, c.widen, c.swap);
        EXPECT_EQ(c.first, row[0]);
        EXPECT_EQ(c.second, row[1]);
        if (c.widen) {
            EXPECT_EQ(0xFF, row[2] & row[3]);
        }
    }
}

TEST_F(ScanJobTest, DeepSamplesReachTheEightBitSinkAsTheirTopBits)
{
    const ScanCase cases[] = {
        {"12 bits one pass", kImageRgb, 12, true, 0, 0},
        {"16 bits three passes", kImageRgb, 16, false, 90, 0},
        // Grey rows are sized as 16-bit samples and narrowed for the 8-bit sink.
        {"grey 16 bits", kImageGrey, 16, true, 0, 0},
        {"grey 12 bits turned", kImageGrey, 12, true, 270, 0},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(c);
        std::unique_ptr<CDib> sink;
        ASSERT_EQ(0, ScanMemory(sink));
        CChartWindow window = m_pDriver->Window();
        window.bitsPerSample = 8;
        EXPECT_EQ(0u, SinkMismatches(*sink, ExpectedImage(window, c.rotation, 0)));
    }
}

// ---- scans that must fail ---------------------------------------------------------------------

TEST_F(ScanJobTest, AScanThatEndsEarlyFailsAndLeavesNoFile)
{
    struct Case {
        const char* name;
        bool onePass;
        bool neverDelivers;
        int32_t failAfter;
        uint16_t failCode;
        std::vector<int> messages;
    };
    const Case cases[] = {
        {"device delivers nothing", true, true, -1, 0, {3319}},
        {"device stops short", true, false, 100, 255, {3335}},
        {"device stops short in a stored pass", false, false, 100, 255, {3335}},
        {"user abort in a stored pass", false, false, 100, 252, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, kImageRgb, 8, c.onePass, 0, 0});
        m_pDriver->m_bNeverDelivers = c.neverDelivers;
        m_pDriver->m_nFailAfterLines = c.failAfter;
        m_pDriver->m_nFailCode = c.failCode;
        CReportRecorder reports;
        EXPECT_EQ(252, ScanFile());
        EXPECT_EQ(c.messages, reports.Ids());
        EXPECT_FALSE(FileExists(m_strPath));
        if (c.neverDelivers) {
            EXPECT_EQ(kMaxEmptyReads, m_pDriver->m_nReads);
        }
    }
}

TEST_F(ScanJobTest, StepListFollowsTheImageTypeAndTheDevice)
{
    struct Case {
        const char* name;
        int32_t type;
        uint32_t scanMode;
        uint32_t clampTo;
        int32_t sharpness;
        int32_t ruling;
        std::vector<int32_t> kinds;
    };
    const Case cases[] = {
        {"grey", kImageGrey, 2, 0, 0, 0, {}},
        {"halftone", kImageHalftone, 0, 0, 0, 0, {}},
        {"line art from bits", kImageLineArt, 0, 0, 0, 0, {}},
        {"line art from grey", kImageLineArt, 2, 0, 0, 0, {8}},
        {"line art from colour", kImageLineArt, 3, 0, 0, 0, {50, 8}},
        {"grey from colour", kImageGrey, 3, 0, 0, 0, {50}},
        {"rgb, clamped resolution", kImageRgb, 3, 25, 0, 0, {6}},
        {"rgb, sharpened and descreened", kImageRgb, 3, 0, 3, 133, {4, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, c.type, 8, true, 0, 0});
        SetAll(m_Settings, kParamSharpness, c.sharpness);
        SetAll(m_Settings, kParamScreenRuling, c.ruling);
        m_pDriver->m_nClampTo = c.clampTo;
        m_Settings.ResetDerivedGeometry();
        m_pDriver->UpdateScanGeometry();
        m_Settings.UpdateSampleFormat(c.scanMode);
        g_TransferSize = 16384;
        uint16_t result = SetupTransformParams();
        std::vector<int32_t> kinds;
        for (int i = 0; i < g_OutputSteps.count; ++i)
            kinds.push_back(g_OutputSteps.steps[i].kind);
        EXPECT_EQ(c.kinds, kinds);
        // Steps need the engine, which here cannot run them.
        EXPECT_EQ(c.kinds.empty() ? 0 : 255, result);
    }
}

// A write that fails ends the scan and removes the partial file; the full-disk text only where the
// disk has no room left.
TEST_F(ScanJobTest, AFailedWriteEndsTheScanAndNamesFullDiskOnlyWithoutRoom)
{
    const struct {
        const char* name;
        bool fillsDisk;
        int message;
    } kCases[] = {
        {"the disk filled up", true, 3314},
        {"the write failed on a roomy disk", false, 3311},
    };
    AfxGetApp()->WriteProfileInt("General", "File extension", 0);
    m_Engine.m_bWritesFiles = true;
    m_Engine.m_nFailingBlock = 2;
    m_Shell.m_bFakeDrives = true;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        g_OutputDrive = g_TempDrive = {uint64_t(1) << 40, 3};
        m_Engine.m_pFilledDrive = c.fillsDisk ? &g_OutputDrive : nullptr;
        m_Engine.m_nBlocksWritten = m_Engine.m_nWriteCalls = 0;
        CReportRecorder reports;
        EXPECT_EQ(252, ScanFile());
        EXPECT_EQ(std::vector<int>{c.message}, reports.Ids());
        EXPECT_EQ(3, m_Engine.m_nWriteCalls);
        EXPECT_FALSE(FileExists(m_strPath));
    }
}

namespace {

// Files the job writes an image into before it replaces the output file.
int TemporaryImageFiles()
{
    return testsupport::CountProgramFiles("brv*.tmp");
}

// Each reported message with the temporary image files that existed while it was shown.
std::vector<std::pair<int, int>> g_ReportsWithFiles;

int WINAPI RecordReportAndFiles(HWND, LPCSTR, LPCSTR, UINT)
{
    g_ReportsWithFiles.push_back({g_MessageReporter.GetMessageId(), TemporaryImageFiles()});
    return IDOK;
}

}  // namespace

TEST_F(ScanJobTest, AFailedScanKeepsTheFileItWasToReplace)
{
    struct Case {
        const char* name;
        bool engineWriter;
        int32_t failingBlock;       // of the engine writer; -1 none
        int32_t failAfterLines;     // of the device; -1 none
        uint16_t result;
        std::vector<std::pair<int, int>> reports;   // id, temporary files while it was shown
    };
    const Case kCases[] = {
        {"disk full", true, 2, -1, 252, {{3314, 0}}},
        {"device fails mid-scan", false, -1, 100, 252, {{3335, 1}}},
        {"complete scan", false, -1, -1, 1, {}},
    };
    const std::string old = "the picture scanned yesterday";
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Configure({c.name, kImageGrey, 8, true, 0, 0});
        AfxGetApp()->WriteProfileInt("General", "File extension", c.engineWriter ? 0 : 1);
        m_Engine.m_bWritesFiles = c.engineWriter;
        m_Engine.m_nFailingBlock = c.failingBlock;
        m_Engine.m_nBlocksWritten = 0;
        m_Shell.m_bFakeDrives = true;
        g_OutputDrive = g_TempDrive = {uint64_t(1) << 40, 3};
        m_Engine.m_pFilledDrive = &g_OutputDrive;
        m_pDriver->m_nFailAfterLines = c.failAfterLines;
        std::ofstream(m_strPath, std::ios::binary) << old;
        g_ReportsWithFiles.clear();
        CMessageReporter::BoxFunction previous =
            g_MessageReporter.SetBoxFunction(RecordReportAndFiles);
        EXPECT_EQ(c.result, ScanFile());
        g_MessageReporter.SetBoxFunction(previous);
        EXPECT_EQ(c.reports, g_ReportsWithFiles);
        std::vector<uint8_t> file = ReadWholeFile(m_strPath);
        if (c.result == 1)
            EXPECT_EQ(0u, FileMismatches(file, ExpectedImage(m_pDriver->Window(), 0, 0)));
        else
            EXPECT_EQ(old, std::string(file.begin(), file.end()));
        EXPECT_EQ(0, TemporaryImageFiles());
    }
}

TEST_F(ScanJobTest, TheEngineWriterWritesEveryLineWhenTheEngineCan)
{
    AfxGetApp()->WriteProfileInt("General", "File extension", 0);
    m_Engine.m_bWritesFiles = true;
    EXPECT_EQ(1, ScanFile());
    std::vector<uint8_t> file = ReadWholeFile(m_strPath);
    uint32_t rowBytes = (m_Settings.SelectionLineBytes() + 3) & ~3u;
    EXPECT_EQ((size_t)rowBytes * m_Settings.RotatedPixelHeight(), file.size());
}

TEST_F(ScanJobTest, EngineRoutesThatTheEngineCannotServeFailWithItsReason)
{
    struct Case {
        const char* name;
        int fileExtension;
        int32_t route;
        std::vector<int> messages;
        uint16_t result;
    };
    const Case cases[] = {
        {"engine file writer", 0, 0, {3312}, 255},
        {"colour link", 1, kRouteColourLink, {3515, 3329}, 252},
        {"profiles", 1, kRouteProfiles, {3515, 3329}, 252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({"rgb", kImageRgb, 8, true, 0, 0});
        AfxGetApp()->WriteProfileInt("General", "File extension", c.fileExtension);
        SetAll(m_Settings, kParamColourRoute, c.route);
        CReportRecorder reports;
        EXPECT_EQ(c.result, ScanFile());
        EXPECT_EQ(c.messages, reports.Ids());
        EXPECT_FALSE(FileExists(m_strPath));
    }
}

// Applied flavours act on scans, not on the driver's own prescans; a scan that asks for them
// fails with the reason instead of being written without them.
TEST_F(ScanJobTest, AppliedFlavoursAreRefusedWhileThereIsNoChain)
{
    struct Case {
        int32_t flavourState;
        int32_t driverState;
        uint16_t result;
        std::vector<int> messages;
    };
    const Case cases[] = {
        {kFlavoursApplied, 2, 252, {3336, 3329}},
        {kFlavoursApplied, 0, 1, {}},
        {0, 2, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flavours " << c.flavourState << " state "
                                        << c.driverState);
        Configure({"rgb", kImageRgb, 8, true, 0, 0});
        m_pDriver->m_nState = c.driverState;
        SetAll(m_Settings, kParamFlavourState, c.flavourState);
        CReportRecorder reports;
        EXPECT_EQ(c.result, ScanFile());
        EXPECT_EQ(c.messages, reports.Ids());
        EXPECT_EQ(c.result == 1, FileExists(m_strPath));
    }
}

TEST_F(ScanJobTest, DeepSamplesAreRefusedForBmpBeforeTheScan)
{
    Configure({"rgb 16", kImageRgb, 16, true, 0, 0});
    CReportRecorder reports;
    EXPECT_EQ(252, ScanFile());
    EXPECT_EQ(std::vector<int>{3320}, reports.Ids());
    EXPECT_EQ((std::vector<std::string>{"Stop"}), m_pDriver->m_Calls);
    EXPECT_FALSE(FileExists(m_strPath));
}

TEST_F(ScanJobTest, CmykIntoMemoryIsRefused)
{
    Configure({"cmyk", kImageCmyk, 8, true, 0, 0});
    CDib24 sink(20, 20, kResolution);
    std::vector<uint8_t> before(sink.m_pBits, sink.m_pBits + sink.m_nStride * sink.m_nHeight);
    CReportRecorder reports;
    CScanJob job(&m_Settings, nullptr);
    EXPECT_EQ(252, job.ScanToMemory(sink));
    job.EndScan();
    EXPECT_EQ(std::vector<int>{3328}, reports.Ids());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), sink.m_pBits));
}

TEST_F(ScanJobTest, NoLineSizeOrNoTransferIsRefusedWithoutDividingByIt)
{
    struct Case {
        const char* name;
        bool zeroLineBytes;
        uint32_t transferSize;
        uint16_t result;
        int message;
    };
    const Case cases[] = {
        {"no line bytes", true, 16384, 255, 3334},
        {"transfer shorter than a line", false, 100, 252, 4092},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure({"grey", kImageGrey, 8, true, 0, 0});
        m_pDriver->m_bZeroLineBytes = c.zeroLineBytes;
        m_pDriver->m_nTransferSize = c.transferSize;
        CReportRecorder reports;
        EXPECT_EQ(c.result, ScanFile());
        EXPECT_EQ(std::vector<int>{c.message}, reports.Ids());
        EXPECT_EQ(0, m_pDriver->m_nReads);
        EXPECT_FALSE(FileExists(m_strPath));
    }
}

// ---- disk space -------------------------------------------------------------------------------


TEST_F(ScanJobTest, DiskSpaceRulesForOneAndThreePasses)
{
    Configure({"rgb", kImageRgb, 8, false, 0, 0});
    m_Settings.ResetDerivedGeometry();
    m_pDriver->UpdateScanGeometry();
    double need = m_Settings.ImageBytes() * 1.02;
    double scan = (double)m_Settings.GetBytesPerLine() * m_Settings.GetLineCount();
    struct Case {
        const char* name;
        uint16_t passes;
        bool withPath;
        double outputFree;
        double tempFree;
        uint16_t tempDrive;
        int room;
    };
    const Case cases[] = {
        {"one pass with room", 1, true, need + 1, 0, 3, 1},
        {"one pass exactly full", 1, true, need, 0, 3, 0},
        {"three passes, temp elsewhere", 3, true, need + 1, scan * 2 + 1, 4, 1},
        {"three passes, temp elsewhere, short", 3, true, need + 1, scan * 2, 4, 0},
        {"three passes, same drive needs both", 3, true, need + 1, scan * 2 + 1, 3, 0},
        {"three passes, same drive with room", 3, true, 1e12, scan * 2 + need + 1, 3, 1},
        {"no path still checks the temp drive", 3, false, 0, scan * 2, 3, 0},
    };
    m_Shell.m_bFakeDrives = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_OutputDrive = {(uint64_t)c.outputFree, 3};
        g_TempDrive = {(uint64_t)c.tempFree, c.tempDrive};
        CReportRecorder reports;
        CScanJob job(&m_Settings, nullptr);
        EXPECT_EQ(c.room, job.CheckDiskSpace(c.withPath ? m_strPath.c_str() : "", c.passes));
        EXPECT_EQ(c.room != 0 ? std::vector<int>{} : std::vector<int>{3349}, reports.Ids());
    }
    g_OutputDrive = {1, 3};
    CReportRecorder reports;
    EXPECT_EQ(252, ScanFile());
    EXPECT_EQ(std::vector<int>{3349}, reports.Ids());
    EXPECT_EQ("Stop", m_pDriver->m_Calls.back());
    EXPECT_EQ(0, m_pDriver->m_nReads);
}

// ---- the device-busy atom ---------------------------------------------------------------------

TEST_F(ScanJobTest, TheBusyAtomLivesExactlyAsLongAsTheScan)
{
    CString name = DeviceBusyAtomName();
    ASSERT_EQ(0, GlobalFindAtomA(name));
    EXPECT_EQ(1, ScanFile());
    EXPECT_GT(m_pDriver->m_nReads, 0);
    EXPECT_TRUE(m_pDriver->m_bAtomSeenAtEveryRead);
    EXPECT_EQ(0, GlobalFindAtomA(name));
}

TEST_F(ScanJobTest, ASecondJobOnABusyDeviceIsRefused)
{
    CString name = DeviceBusyAtomName();
    GlobalAddAtomA(name);
    // The other process renews its atom with every status message.
    std::thread other([name] {
        Sleep(2000);
        GlobalAddAtomA(name);
    });
    CReportRecorder reports;
    CScanJob job(&m_Settings, nullptr);
    EXPECT_EQ(252, job.ScanToFile(m_strPath.c_str()));
    job.EndScan();
    other.join();
    EXPECT_EQ(1, job.IsDeviceBusy());
    EXPECT_EQ(std::vector<int>{4483}, reports.Ids());
    EXPECT_TRUE(m_pDriver->m_Calls.empty());
    EXPECT_NE(0, GlobalFindAtomA(name));   // the other process's atom is left alone
    while (ATOM atom = GlobalFindAtomA(name))
        if (GlobalDeleteAtom(atom) != 0)
            break;
}

TEST_F(ScanJobTest, AStaleBusyAtomDoesNotStopTheScan)
{
    CString name = DeviceBusyAtomName();
    GlobalAddAtomA(name);
    EXPECT_EQ(1, ScanFile());
    EXPECT_EQ(0, GlobalFindAtomA(name));
}

namespace {

// Colour management whose step chain copies each block as it comes and fails at a chosen block;
// it notes the source descriptor it was sized with.
class CCopyingSteps : public CEngineFilesOnly {
public:
    bool RunOutputTransform(CDescriptorPair& pair, const COutputSteps&, int) override
    {
        m_Sized = pair.source;
        pair.destination.imageHeight = pair.source.imageHeight;
        pair.destination.height = pair.source.height;
        return true;
    }
    bool BeginOutputTransform(CDescriptorPair&, const COutputSteps&) override { return true; }
    bool TransformOutputBlock(CDescriptorPair& pair) override
    {
        if (++m_nBlocks == m_nFailingBlock) {
            ReportMessage(3510, "RGBOUT");
            return false;
        }
        const CmsChannelDesc& from = pair.source.channels[0];
        CmsChannelDesc& to = pair.destination.channels[0];
        for (int y = 0; y < pair.source.height; ++y)
            memcpy(to.data + y * to.rowStep, from.data + y * from.rowStep, std::min(from.rowStep, to.rowStep));
        pair.destination.height = pair.source.height;
        return true;
    }
    bool EndOutputTransform() override { return true; }

    CCmsImageDesc m_Sized = {};
    int m_nBlocks = 0;
    int m_nFailingBlock = 0;
};

}  // namespace

// A block that colour management refuses ends the scan at once with its reason, and no file.
TEST_F(ScanJobTest, AFailedBlockEndsTheScanAtOnce)
{
    CCopyingSteps steps;
    steps.m_nFailingBlock = 2;
    CScanColourScope scope(steps);
    Configure({"sharpened grey", kImageGrey, 8, true, 0, 0});
    SetAll(m_Settings, kParamSharpness, 30);
    CReportRecorder reports;
    EXPECT_EQ(252, ScanFile());
    EXPECT_EQ(std::vector<int>{3510}, reports.Ids());
    EXPECT_EQ(2, steps.m_nBlocks);
    EXPECT_FALSE(FileExists(m_strPath));
}

// The engine reads the scan's lines by the descriptor: it holds the device's pixels and lines,
// not the estimate of a resolution the device does not scan at.
TEST_F(ScanJobTest, TheScanDescriptorHoldsWhatTheDeviceDelivers)
{
    CCopyingSteps steps;
    CScanColourScope scope(steps);
    Configure({"resampled grey", kImageGrey, 8, true, 0, 0});
    m_pDriver->m_nClampTo = kResolution * 2;
    m_Settings.ResetDerivedGeometry();
    m_pDriver->UpdateScanGeometry();
    m_Settings.UpdateSampleFormat(2);
    g_TransferSize = 16384;
    ASSERT_EQ(0, SetupTransformParams());
    EXPECT_EQ((int32_t)m_Settings.OutputPixelsPerLine(), steps.m_Sized.imageWidth);
    EXPECT_EQ((int32_t)m_Settings.OutputLineCount(), steps.m_Sized.imageHeight);
    EXPECT_EQ((int32_t)m_Settings.OutputBytesPerLine(), steps.m_Sized.channels[0].rowStep);
}

// A device that scans at another resolution than the output's: the steps resample from the device's
// resolution on each axis, over the device pixels and lines that hold the selection, whatever its
// window gave past the selection's right and bottom edges.
TEST_F(ScanJobTest, ResamplingStartsFromTheDeviceResolutionOverTheSelection)
{
    CCopyingSteps steps;
    CScanColourScope scope(steps);
    Configure({"resampled grey", kImageGrey, 8, true, 0, 0});
    m_pDriver->m_nClampTo = kResolution * 2;
    uint32_t width = m_Settings.RotatedPixelWidth(), height = m_Settings.RotatedPixelHeight();
    m_pDriver->m_nExtraPixels = width + 5;
    m_pDriver->m_nExtraLines = height + 3;
    m_Settings.ResetDerivedGeometry();
    m_pDriver->UpdateScanGeometry();
    m_Settings.UpdateSampleFormat(2);
    g_TransferSize = 16384;
    ASSERT_EQ(0, SetupTransformParams());
    EXPECT_EQ((int32_t)(2 * width), steps.m_Sized.imageWidth);
    EXPECT_EQ((int32_t)(2 * height), steps.m_Sized.imageHeight);
    EXPECT_EQ((int32_t)m_Settings.OutputBytesPerLine(), steps.m_Sized.channels[0].rowStep);
    ASSERT_TRUE(g_OutputSteps.Has(6));
    const COutputStep& resample = g_OutputSteps.steps[g_OutputSteps.count - 1];
    const float resolution = (float)kResolution;
    EXPECT_EQ((std::vector<float> {2 * resolution, 2 * resolution, resolution, resolution}),
        std::vector<float>(resample.params, resample.params + 4));
}

// A device line or image a few pixels or lines short of the output (a window rounded to an even
// width, line art in whole bytes) fills the file by repeating its last column and line; the file
// keeps the selected size. Further short is a wrong setup: the pipeline refuses to start, as before.
TEST_F(ScanJobTest, AShortDeviceImageRepeatsItsLastColumnAndLine)
{
    struct Case {
        const char* name;
        int32_t type;
        uint32_t shortPixels;
        uint32_t shortLines;
        bool fits;
    };
    const Case cases[] = {
        {"grey, whole", kImageGrey, 0, 0, true},
        {"grey, one pixel short", kImageGrey, 1, 0, true},
        {"grey, eight short both ways", kImageGrey, 8, 8, true},
        {"rgb, one pixel short", kImageRgb, 1, 0, true},
        {"rgb, eight pixels and three lines short", kImageRgb, 8, 3, true},
        {"line art bits, five short both ways", kImageLineArt, 5, 5, true},
        {"grey, nine pixels short", kImageGrey, 9, 0, false},
        {"rgb, nine lines short", kImageRgb, 0, 9, false},
    };
    // 255 x 351 pixels at this resolution: odd both ways.
    for (const Case& c : cases) {
        for (bool toMemory : {false, true}) {
            if (toMemory && c.type == kImageLineArt)
                continue;
            SCOPED_TRACE(std::string(c.name) + (toMemory ? ", memory" : ", file"));
            DeleteFileA(m_strPath.c_str());
            Configure({c.name, c.type, 8, true, 0, 0});
            m_pDriver->m_nShortPixels = c.shortPixels;
            m_pDriver->m_nShortLines = c.shortLines;
            CReportRecorder reports;
            std::unique_ptr<CDib> sink;
            uint16_t result = toMemory ? ScanMemory(sink) : ScanFile();
            uint32_t width = m_Settings.RotatedPixelWidth();
            uint32_t height = m_Settings.RotatedPixelHeight();
            if (c.type != kImageLineArt) {
                ASSERT_EQ(1u, width % 2);
            }
            if (!c.fits) {
                EXPECT_EQ(252, result);
                EXPECT_EQ(std::vector<int>{3329}, reports.Ids());
                EXPECT_FALSE(FileExists(m_strPath));
                continue;
            }
            ASSERT_EQ(toMemory ? 0 : 1, result);
            EXPECT_TRUE(reports.Ids().empty());
            CChartWindow window = m_pDriver->Window();
            ASSERT_EQ(width - c.shortPixels, (uint32_t)window.pixelsPerLine);
            ASSERT_EQ(height - c.shortLines, (uint32_t)window.lines);
            CExpectedImage expected = RepeatEdges(ExpectedImage(window, 0, 0), width, height);
            if (toMemory) {
                EXPECT_EQ(0u, SinkMismatches(*sink, expected));
                continue;
            }
            std::vector<uint8_t> file = ReadWholeFile(m_strPath);
            ASSERT_GT(file.size(), 62u);
            EXPECT_EQ(width, Get32(file, 18));
            EXPECT_EQ(height, Get32(file, 22));
            EXPECT_EQ(0u, FileMismatches(file, expected));
        }
    }
}
