// The batch command language: one table of command lines and the settings, INI keys and output
// command they leave; then response files, the batch-start test and "set:".

#include "app/BatchInterpreter.h"
#include "app/ResponseFile.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "tests/app/AppTestEnvironment.h"
#include "tests/support/Reports.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct CParamExpect {
    uint16_t id;
    int32_t value;
};

struct CInterpreterCase {
    const char* line;                       // as the interpreter sees it: expanded and lower-cased
    std::vector<CParamExpect> params;
    BatchOutputKind output;
    const char* file;                       // the scan file, or null
    int fileExtension;                      // [General] "File extension", -1 when not written
};

// A driver without halftone and CMYK, without transparency; 1200 ppi; bed 216 x 297 mm from an
// offset of 0.5, 0.6 mm; densities 0.2 .. 3.0 with the minimum's ceiling at 1.5.
class CBatchFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        g_pScanSettings = new CScanSettings;
        g_pScanSettings->SetParamAllTypes(kParamImageType, 2);
        m_pDriver = new CScannerDriver;
        m_pDriver->m_nImageTypeFlags = 0x01 | 0x04 | 0x08;
        m_pDriver->m_nCapabilityFlags = 0x08 | 0x10;
        m_pDriver->m_nMaxResolutionForType = 1200;
        m_pDriver->m_ReflectiveBed = {50, 60, 21600, 29700};
        m_pDriver->m_ReflectiveDensity = {200, 1500, 2000, 3000};
        g_pScannerDriver = m_pDriver;
        g_nPrintMarginX = g_nPrintMarginY = g_nPrintCopies = 0;
        g_bBatchProgress = 0;
        g_strBatchProgressTitle = "kept";
    }
    void TearDown() override
    {
        g_pScannerDriver = nullptr;
        delete m_pDriver;
        delete g_pScanSettings;
        g_pScanSettings = nullptr;
    }

    CBatchOutput Apply(const char* line, bool batchStart = true)
    {
        return ApplyBatchKeywords(CBatchCommandLine(line), *m_pDriver, batchStart);
    }
    int GeneralInt(const char* key) { return (int)TestApp().GetProfileInt("General", key, -1); }

    CScannerDriver* m_pDriver = nullptr;
};

const CInterpreterCase kCases[] = {
    {"rgb resppi:300 scan:c:\\out.bmp", {{kParamImageType, 3}, {kParamResolution, 300}, {kParamPreviewFlag, 0}},
        kBatchScanToFile, "c:\\out.bmp", 1},
    {"scan:c:\\negative.tif", {{kParamOriginal, 2}}, kBatchScanToFile, "c:\\negative.tif", 0},
    {"scan:c:\\scans/a.tif", {}, kBatchScanToFile, "c:\\scans", 0},
    {"\"rgb scan:c:\\a.bmp\"", {{kParamImageType, 3}}, kBatchScanToFile, "c:\\a.bmp", 1},
    {"resppi:10", {{kParamResolution, 25}}, kBatchNoOutput, nullptr, -1},
    {"resppi:-5", {{kParamResolution, 1200}}, kBatchNoOutput, nullptr, -1},
    {"resppi:99999999999999", {{kParamResolution, 1200}}, kBatchNoOutput, nullptr, -1},
    {"resppi:abc", {{kParamResolution, 25}}, kBatchNoOutput, nullptr, -1},
    {"scale:0 descr:0 bits:0", {{kParamScale, 1}, {kParamScreenRuling, 20}, {kParamOutputBits, 1}}, kBatchNoOutput,
        nullptr, -1},
    {"scale:5000 descr:-1 bits:24", {{kParamScale, 1000}, {kParamScreenRuling, 400}, {kParamOutputBits, 16}},
        kBatchNoOutput, nullptr, -1},
    // first match wins, types the driver lacks are passed over
    {"cmyk half gray rgb", {{kParamImageType, 2}}, kBatchNoOutput, nullptr, -1},
    {"trans neg refl", {{kParamOriginal, 0}}, kBatchNoOutput, nullptr, -1},
    {"trans neg", {{kParamOriginal, 2}}, kBatchNoOutput, nullptr, -1},
    {"speed quality extra", {{kParamQuality, 2}}, kBatchNoOutput, nullptr, -1},
    {"extra", {{kParamQuality, 0}}, kBatchNoOutput, nullptr, -1},
    {"line thresh:-3", {{kParamImageType, 0}, {kParamThreshold, 0}, {kParamRangeMode, 5}}, kBatchNoOutput, nullptr, -1},
    {"line thresh:250 auto dens:1,2", {{kParamThreshold, 100}, {kParamRangeMode, 5}, {kParamMinDensity, 0}},
        kBatchNoOutput, nullptr, -1},
    {"gamma:0.1", {{kParamToneCode, 0xFF09}, {kParamCustomGamma, 2}}, kBatchNoOutput, nullptr, -1},
    {"gamma:1.75", {{kParamCustomGamma, 18}}, kBatchNoOutput, nullptr, -1},
    {"gamma:9", {{kParamCustomGamma, 40}}, kBatchNoOutput, nullptr, -1},
    // far outside the integer range: limited before the conversion
    {"gamma:1e300", {{kParamCustomGamma, 40}}, kBatchNoOutput, nullptr, -1},
    {"gamma:-1e300", {{kParamCustomGamma, 40}}, kBatchNoOutput, nullptr, -1},
    {"dens:0.5,3.5", {{kParamMinDensity, 500}, {kParamMaxDensity, 3000}, {kParamRangeMode, 2}}, kBatchNoOutput, nullptr,
        -1},
    {"dens:0.1", {{kParamMinDensity, 200}, {kParamMaxDensity, 0}, {kParamRangeMode, 2}}, kBatchNoOutput, nullptr, -1},
    {"dens:-1,1e40", {{kParamMinDensity, 1500}, {kParamMaxDensity, 3000}}, kBatchNoOutput, nullptr, -1},
    {"dens:0.5,3.5 auto", {{kParamMinDensity, 0}, {kParamRangeMode, 0}}, kBatchNoOutput, nullptr, -1},
    {"selmm:10,20,110,170",
        {{kParamSelLeft, 1000}, {kParamSelTop, 2000}, {kParamSelRight, 11000}, {kParamSelBottom, 17000}},
        kBatchNoOutput, nullptr, -1},
    // missing items read 0 and are raised to the bed's offset
    {"selmm:10", {{kParamSelLeft, 1000}, {kParamSelTop, 60}, {kParamSelRight, 50}, {kParamSelBottom, 60}},
        kBatchNoOutput, nullptr, -1},
    {"selmm:500,500,999999999,999",
        {{kParamSelLeft, 21600}, {kParamSelTop, 29700}, {kParamSelRight, 21600}, {kParamSelBottom, 29700}},
        kBatchNoOutput, nullptr, -1},
    {"rot:45", {{kParamRotation, 0}}, kBatchNoOutput, nullptr, -1},
    {"rot:270", {{kParamRotation, 270}}, kBatchNoOutput, nullptr, -1},
    {"hor ver", {{kParamMirror, 1}}, kBatchNoOutput, nullptr, -1},
    {"ver", {{kParamMirror, 2}}, kBatchNoOutput, nullptr, -1},
    {"bmp tif", {}, kBatchNoOutput, nullptr, 1},
    {"tif", {}, kBatchNoOutput, nullptr, 0},
    // the file name decides the type over "bmp" elsewhere in the line
    {"bmp scan:x.tif", {}, kBatchScanToFile, "x.tif", 0},
    {"scan:a.tif print", {}, kBatchScanToFile, "a.tif", 0},
    {"prn:0,0,1 print", {}, kBatchPrintAtMargins, nullptr, -1},
    {"print", {{kParamPreviewFlag, 0}}, kBatchPrintWithDialog, nullptr, -1},
    {"prn", {}, kBatchNoOutput, nullptr, -1},
};

TEST_F(CBatchFixture, CommandLinesGiveTheirSettings)
{
    // "bits:24" on a scanner of 8 bits says what it takes; no box may wait for an answer.
    CReportRecorder reports;
    for (const CInterpreterCase& c : kCases) {
        SCOPED_TRACE(c.line);
        TearDown();
        SetUp();
        g_pScanSettings->SetParam(kParamPreviewFlag, 1);
        const CBatchOutput output = Apply(c.line);
        for (const CParamExpect& p : c.params)
            EXPECT_EQ(p.value, g_pScanSettings->GetParam(p.id)) << "parameter " << p.id;
        EXPECT_EQ(c.output, output.kind);
        if (c.file) {
            EXPECT_STREQ(c.file, (LPCSTR)output.fileName);
        }
        EXPECT_EQ(c.fileExtension, GeneralInt("File extension"));
        EXPECT_EQ(0, GeneralInt("ADF"));
    }
}

// A selection is limited to the bed (216 x 297 mm from 0.5, 0.6 mm) before it is converted; one
// that holds nothing of the bed is kept, by its text, for the output command to refuse.
struct CSelectionCase {
    const char* line;
    int32_t edges[4];
    const char* refused;
    bool tooSmall = false;  // refused because the area it held is below a whole millimetre
};

const CSelectionCase kSelections[] = {
    {"selmm:0,0,1e308,1e308 scan:x.bmp", {50, 60, 21600, 29700}, ""},
    {"selmm:-10,-1e308,50,60.9 scan:x.bmp", {50, 60, 5000, 6000}, ""},
    {"selmm:10,10,10,50 scan:x.bmp", {}, "10,10,10,50"},
    {"selmm:50,50,10,10 prn:0,0,1", {}, "50,50,10,10"},
    {"selmm:a,b,c,d scan:x.bmp", {}, "a,b,c,d"},
    {"selmm:500,500,900,900 scan:x.bmp", {}, "500,500,900,900"},
    {"selmm:1,1,1.1,1.1 scan:x.bmp", {}, "1,1,1.1,1.1", true},
    {"selmm:20,20,20.5,40 scan:x.bmp", {}, "20,20,20.5,40", true},
    // what lies before the bed's offset of 0.5 mm is no part of it, however small
    {"selmm:0,0,0.1,0.1 scan:x.bmp", {}, "0,0,0.1,0.1", false},
};

TEST_F(CBatchFixture, SelectionsAreLimitedToTheBedAndEmptyOnesNamed)
{
    for (const CSelectionCase& c : kSelections) {
        SCOPED_TRACE(c.line);
        const CBatchOutput output = Apply(c.line);
        EXPECT_STREQ(c.refused, (LPCSTR)output.emptySelection);
        EXPECT_EQ(c.tooSmall, output.selectionTooSmall);
        if (*c.refused)
            continue;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(c.edges[i], g_pScanSettings->GetParam(kParamSelLeft + i)) << "edge " << i;
    }
}

TEST_F(CBatchFixture, PrintPlacementIsLimited)
{
    Apply("prn:10,20,0");
    EXPECT_EQ(10, g_nPrintMarginX);
    EXPECT_EQ(20, g_nPrintMarginY);
    EXPECT_EQ(1, g_nPrintCopies);
    Apply("prn:x,-4,500");
    EXPECT_EQ(0, g_nPrintMarginX);
    EXPECT_EQ(-4, g_nPrintMarginY);
    EXPECT_EQ(99, g_nPrintCopies);
}

TEST(BatchImageType, NearestOfferedTypeNeverTurnsGreyOrColourIntoOneBit)
{
    struct Case {
        int32_t requested;
        uint8_t offered;   // 0x01 line art, 0x02 halftone, 0x04 grey, 0x08 RGB, 0x10 CMYK
        int32_t taken;
    } const kCases[] = {
        {3, 0x0D, 3},  {4, 0x0D, 3},  {4, 0x05, 2},  {3, 0x05, 2}, {2, 0x09, 3}, {2, 0x03, -1},
        {3, 0x01, -1}, {4, 0x03, -1}, {1, 0x0D, 0},  {1, 0x0C, 2}, {0, 0x0A, 1},     {0, 0x08, 3},
        {5, 0x1F, -1}, {-1, 0x1F, -1},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.taken, NearestOfferedImageType(c.requested, c.offered)) << c.requested << " of " << int(c.offered);
}

TEST(BatchImageType, ScanDepthIsTheDeepestOfferedNotAboveTheOneAsked)
{
    struct Case {
        int32_t asked;
        uint8_t depths;   // bits 0..4: 8, 10, 12, 14, 16 bits offered
        int32_t taken;
    } const kCases[] = {
        {16, 0x11, 16}, {16, 0x01, 8}, {16, 0x00, 8}, {12, 0x11, 8}, {12, 0x05, 12},
        {14, 0x1F, 14}, {1, 0x1F, 8},  {8, 0x10, 8},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.taken, BatchScanDepth(c.asked, c.depths)) << c.asked << " of " << int(c.depths);
}

// The type, depth and feeder a line asks for reach the scan, or the log says what stood in, or the
// output is refused before any scan.
TEST_F(CBatchFixture, TypeDepthAndFeederTheScannerLacksAreSaidOrRefused)
{
    struct Case {
        const char* line;
        uint8_t types;
        uint8_t depths;
        uint32_t kind;
        int32_t slotType;     // the record's type before the line
        int32_t type;         // the type after it
        int32_t depth;        // parameter 138 after it, -1 when not looked at
        int logged;           // the message said, 0 for none
        int refusal;
    } const kCases[] = {
        {"cmyk scan:x.tif", 0x0D, 0, 1, 2, 3, -1, 4455, 0},
        {"half scan:x.tif", 0x0D, 0, 1, 3, 0, -1, 4455, 0},
        {"rgb scan:x.tif", 0x05, 0, 1, 3, 2, -1, 4455, 0},
        {"scan:x.tif", 0x0D, 0, 1, 4, 3, -1, 4455, 0},
        {"gray scan:x.tif", 0x03, 0, 1, 0, 0, -1, 0, 4456},
        {"cmyk rgb scan:x.tif", 0x0D, 0, 1, 0, 3, -1, 0, 0},
        {"rgb bits:16 scan:x.tif", 0x0D, 0x11, 1, 2, 3, 16, 0, 0},
        {"gray bits:16 scan:x.tif", 0x0D, 0x01, 1, 3, 2, 8, 4458, 0},
        {"rgb bits:8 scan:x.tif", 0x0D, 0x11, 1, 2, 3, 8, 0, 0},
        {"line bits:16 scan:x.tif", 0x0D, 0x11, 1, 2, 0, 1, 0, 0},
        {"trans rgb scan:x.tif", 0x0D, 0, 1, 2, 3, -1, 0, 4456},
        {"adf rgb scan:x.tif", 0x0D, 0, 1, 2, 3, -1, 0, 4457},
        {"adf rgb scan:x.tif", 0x0D, 0, 0x10000, 2, 3, -1, 0, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.line);
        m_pDriver->m_nImageTypeFlags = c.types;
        m_pDriver->m_nFurtherFlags[2] = c.depths;
        m_pDriver->m_nKind = c.kind;
        g_pScanSettings->SetParamAllTypes(kParamImageType, c.slotType);
        CReportRecorder reports;
        const CBatchOutput output = Apply(c.line);
        EXPECT_EQ(c.type, g_pScanSettings->GetParam(kParamImageType));
        if (c.depth >= 0) {
            EXPECT_EQ(c.depth, g_pScanSettings->GetParam(kParamBitsPerChannel));
        }
        const std::vector<int>& ids = reports.Ids();
        if (c.logged != 0) {
            EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), c.logged));
        } else {
            EXPECT_TRUE(ids.empty()) << ids.front();
        }
        EXPECT_EQ(c.refusal, output.refusal);
    }
}

TEST_F(CBatchFixture, AnInteractiveStartPassesOverATypeTheScannerLacks)
{
    CReportRecorder reports;
    Apply("cmyk", false);
    EXPECT_EQ(2, g_pScanSettings->GetParam(kParamImageType));
    EXPECT_TRUE(reports.Ids().empty());
}

TEST_F(CBatchFixture, ProgressSwitchAndTitle)
{
    Apply("progress:\"my title\" scan:x.tif");
    EXPECT_EQ(1, g_bBatchProgress);
    EXPECT_STREQ("my title", (LPCSTR)g_strBatchProgressTitle);
    g_strBatchProgressTitle = "kept";
    Apply("progress scan:x.tif");
    EXPECT_EQ(1, g_bBatchProgress);
    EXPECT_STREQ("kept", (LPCSTR)g_strBatchProgressTitle);
    Apply("scan:x.tif");
    EXPECT_EQ(0, g_bBatchProgress);
    EXPECT_STREQ("", (LPCSTR)g_strBatchProgressTitle);
}

TEST_F(CBatchFixture, FeederSwitchIsWrittenOnlyByABatchStart)
{
    TestApp().WriteProfileInt("General", "ADF", 1);
    Apply("rgb resppi:600", false);
    EXPECT_EQ(1, GeneralInt("ADF"));
    EXPECT_EQ(600, g_pScanSettings->GetParam(kParamResolution));
    Apply("rgb scan:x.tif", true);
    EXPECT_EQ(0, GeneralInt("ADF"));
    Apply("adf scan:x.tif", true);
    EXPECT_EQ(1, GeneralInt("ADF"));
}

TEST_F(CBatchFixture, OverlongFileNameIsMarkedNotCut)
{
    const std::string line = "scan:" + std::string(300, 'a') + ".tif";
    const CBatchOutput output = Apply(line.c_str());
    EXPECT_TRUE(output.fileNameTooLong);
    EXPECT_EQ(304, output.fileName.GetLength());
    EXPECT_FALSE(Apply("scan:short.tif").fileNameTooLong);
}

// ---- response files and the batch-start test ---------------------------------------------------

std::string WriteResponseFile(const char* name, const char* text)
{
    const std::string path = testsupport::ProgramDirectory() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(ResponseFiles, LinesAreJoinedWithBlanks)
{
    const std::string path = WriteResponseFile("cmd.txt", "rgb\r\nscan:c:\\o.tif\r\n");
    const std::string empty = WriteResponseFile("empty.txt", "");
    const std::string binary = WriteResponseFile("binary.txt", "rgb\x01\x02scan:x");
    struct Case {
        std::string line;
        int result;
        std::string expected;
    } cases[] = {
        {"@" + path, 1, "@" + path + " rgb  scan:c:\\o.tif "},
        // the name runs to the end of the string, blank included: no such file
        {"@" + path + " rgb", 0, "@" + path + " rgb"},
        {"@" + path + "\" gray", 1, "@" + path + "\" gray rgb  scan:c:\\o.tif "},
        {"@nothere.txt scan:x", 0, "@nothere.txt scan:x"},
        {"@" + empty, 0, "@" + empty},
        {"@" + binary, 0, "@" + binary},
        {"rgb", 1, "rgb"},
    };
    for (const Case& c : cases) {
        CString line = c.line.c_str();
        EXPECT_EQ(c.result, ExpandResponseFiles(line)) << c.line;
        EXPECT_STREQ(c.expected.c_str(), (LPCSTR)line);
    }
    for (const std::string& file : {path, empty, binary})
        DeleteFileA(file.c_str());
}

TEST(ResponseFiles, LongLinesComeInPieces)
{
    const std::string longLine(700, 'x');
    const std::string path = WriteResponseFile("long.txt", (longLine + "\n").c_str());
    CString line = ("@" + path).c_str();
    ExpandResponseFiles(line);
    EXPECT_EQ("@" + path + " " + std::string(511, 'x') + " " + std::string(189, 'x') + " ", std::string(line));
    DeleteFileA(path.c_str());
}

// A chain of response files, each naming the next on a line of its own: the last holds "rgb".
std::vector<std::string> WriteResponseChain(int files)
{
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i)
        paths.push_back(testsupport::ProgramDirectory() + "chain" + std::to_string(i) + ".rsp");
    for (int i = 0; i < files; ++i)
        WriteResponseFile(("chain" + std::to_string(i) + ".rsp").c_str(),
            (i + 1 < files ? "gray\r\n@" + paths[i + 1] + "\r\n" : std::string("rgb\r\n")).c_str());
    return paths;
}

TEST(ResponseFiles, NestedFilesFollowUpToTheStatedDepth)
{
    const std::vector<std::string> deepest = WriteResponseChain(kMaxResponseFileDepth);
    CString line = ("@" + deepest[0]).c_str();
    CString failed;
    ASSERT_EQ(kResponseFileExpanded, ExpandResponseFiles(line, &failed));
    std::string expected = "@" + deepest[0];
    for (size_t i = 1; i < deepest.size(); ++i)
        expected += " gray  @" + deepest[i] + " ";
    EXPECT_EQ(expected + " rgb ", std::string(line));

    const std::vector<std::string> tooDeep = WriteResponseChain(kMaxResponseFileDepth + 1);
    const std::string self = WriteResponseFile("self.rsp", "@self.rsp");
    const std::string missing = WriteResponseFile("missing.rsp", "rgb @nothere.rsp\n");
    struct Case {
        std::string line;
        int result;
        std::string failedName;
    } cases[] = {
        {"@" + tooDeep[0], kResponseFileTooDeep, tooDeep[0]},
        // a file that names itself is a chain without end
        {"@self.rsp", kResponseFileTooDeep, "self.rsp"},
        {"@" + missing, kResponseFileUnreadable, "nothere.rsp"},
    };
    SetCurrentDirectoryA(testsupport::ProgramDirectory().c_str());
    for (const Case& c : cases) {
        line = c.line.c_str();
        failed.Empty();
        EXPECT_EQ(c.result, ExpandResponseFiles(line, &failed)) << c.line;
        EXPECT_EQ(c.line, std::string(line)) << "a failed expansion leaves the line as it was";
        EXPECT_EQ(c.failedName, std::string(failed)) << c.line;
    }
    for (const std::vector<std::string>* chain : {&deepest, &tooDeep})
        for (const std::string& file : *chain)
            DeleteFileA(file.c_str());
    DeleteFileA(self.c_str());
    DeleteFileA(missing.c_str());
}

TEST(BatchStart, DecidedOnTheExpandedLowerCasedLine)
{
    const std::string path = WriteResponseFile("start.txt", "rgb\nscan:c:\\o.tif\n");
    const std::string noOutput = WriteResponseFile("settings-only.txt", "rgb resppi:600\n");
    const struct {
        std::string line;
        int batch;
    } cases[] = {
        {"SCAN:C:\\OUT.TIF", 1}, {"Print", 1}, {"prn", 1}, {"rgb resppi:600", 0}, {"", 0}, {"@" + path, 1},
        // a response file that cannot be read fails a batch start, never waits for a user
        {"@nothere.txt", 1},
        // nor does a line taken from a file open the window when it holds no output command
        {"@" + noOutput, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.batch, TestApp().IsBatchCommandLine(c.line.c_str())) << c.line;
    DeleteFileA(path.c_str());
    DeleteFileA(noOutput.c_str());
}

// ---- "set:" ----------------------------------------------------------------------------------

class CSettingsFileFixture : public CBatchFixture {
protected:
    void SetUp() override
    {
        CBatchFixture::SetUp();
        m_Path = testsupport::ProgramDirectory() + "A.ZLK";
        g_pScanSettings->m_nVersion = 521;
        g_pScanSettings->SetParam(kParamResolution, 777);
        SaveSettings(m_Path.c_str());
        g_pScanSettings->SetParam(kParamResolution, 100);
        m_pPreviousBox = g_MessageReporter.SetBoxFunction(CountBox);
        s_nBoxes = 0;
    }
    void TearDown() override
    {
        g_MessageReporter.SetBoxFunction(m_pPreviousBox);
        DeleteFileA(m_Path.c_str());
        CBatchFixture::TearDown();
    }
    static int WINAPI CountBox(HWND, LPCSTR, LPCSTR, UINT)
    {
        ++s_nBoxes;
        return IDOK;
    }

    std::string m_Path;
    CMessageReporter::BoxFunction m_pPreviousBox = nullptr;
    static int s_nBoxes;
};
int CSettingsFileFixture::s_nBoxes = 0;

TEST_F(CSettingsFileFixture, NameKeepsItsCaseAndLoads)
{
    g_pScanSettings->m_strFileName = "before";
    EXPECT_EQ(0, TestApp().RunBatchCommands("SET:a.zlk"));
    EXPECT_STREQ("before", (LPCSTR)g_pScanSettings->m_strFileName);
    EXPECT_EQ(100, g_pScanSettings->GetParam(kParamResolution));
    TestApp().RunBatchCommands("set:A.ZLK");
    EXPECT_STREQ("A.ZLK", (LPCSTR)g_pScanSettings->m_strFileName);
    EXPECT_EQ(777, g_pScanSettings->GetParam(kParamResolution));
}

TEST_F(CSettingsFileFixture, InsideAResponseFileItHasNoEffect)
{
    const std::string path = WriteResponseFile("set.txt", "set:A.ZLK\n");
    TestApp().RunBatchCommands(("@" + path).c_str());
    EXPECT_EQ(100, g_pScanSettings->GetParam(kParamResolution));
    DeleteFileA(path.c_str());
}

TEST_F(CSettingsFileFixture, AnotherVersionIsRefusedAndTheFileKept)
{
    TestApp().WriteProfileInt("General", "Version", 999);
    TestApp().RunBatchCommands("set:A.ZLK");
    EXPECT_EQ(100, g_pScanSettings->GetParam(kParamResolution));
    EXPECT_EQ(1, s_nBoxes);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_Path.c_str()));
}

// A settings file too short to be one, or a device's name, fails the start; one without a slot
// for this scanner is told in the log and the run goes on with the settings it had.
TEST_F(CSettingsFileFixture, WhatAFileHoldsForThisScannerIsTold)
{
    const std::string folder = testsupport::ProgramDirectory();
    const uint32_t slot = SettingsSlotForKind(m_pDriver->m_nKind);
    std::ofstream(folder + "EMPTY.ZLK", std::ios::binary);
    std::ofstream(folder + "FEW.ZLK", std::ios::binary) << "ZLK";
    std::ofstream(folder + "CUT.ZLK", std::ios::binary) << std::string(kSettingsSlotSize - 1, '\0');
    // Every slot up to this scanner's written by nobody.
    std::ofstream(folder + "OTHER.ZLK", std::ios::binary) << std::string((slot + 1) * kSettingsSlotSize, '\0');
    struct Case {
        const char* name;
        bool loaded;
        int messageId;  // 0: none
    };
    const Case kFiles[] = {
        {"EMPTY.ZLK", false, 3310},
        {"FEW.ZLK", false, 3310},
        {"CUT.ZLK", false, 3310},
        {"OTHER.ZLK", true, 3427},
        {"COM1", false, 3310},
        {"con.zlk", false, 3310},
        {"NUL", false, 3310},
        {"A.ZLK", true, 0},
    };
    for (const Case& c : kFiles) {
        SCOPED_TRACE(c.name);
        g_MessageReporter.SetReportMode(kReportSilent, CString());
        ReportMessage(0);
        g_pScanSettings->SetParam(kParamResolution, 100);
        EXPECT_EQ(c.loaded, ApplyBatchSettingsFile((std::string("set:") + c.name).c_str()));
        EXPECT_EQ(c.messageId, g_MessageReporter.GetMessageId());
        EXPECT_EQ(c.messageId == 0 && c.loaded ? 777 : 100, g_pScanSettings->GetParam(kParamResolution));
    }
    g_MessageReporter.SetReportMode(kReportBox, CString());
    for (const char* name : {"EMPTY.ZLK", "FEW.ZLK", "CUT.ZLK", "OTHER.ZLK"})
        DeleteFileA((folder + name).c_str());
}

// The settings' own resolution and selection are checked before the scan, unless the line sets
// them anew.
TEST_F(CBatchFixture, UnscannableGeometryOfTheSettingsIsRefusedBeforeTheScan)
{
    struct Case {
        int32_t resolution;
        int32_t edges[4];
        const char* line;
        bool refused;
    };
    const Case kCases[] = {
        {300, {1000, 1000, 5000, 5000}, "scan:x.bmp", false},
        {-1, {1000, 1000, 5000, 5000}, "scan:x.bmp", true},
        {0, {1000, 1000, 5000, 5000}, "prn:0,0,1", true},
        {99999, {1000, 1000, 5000, 5000}, "scan:x.bmp", true},
        {300, {-2000, -2000, 5000, 5000}, "scan:x.bmp", true},
        {300, {5000, 1000, 1000, 5000}, "print", true},
        {-1, {-2000, -2000, 5000, 5000}, "resppi:300 selmm:10,10,50,50 scan:x.bmp", false},
        // nothing runs, so nothing is checked
        {-1, {1000, 1000, 5000, 5000}, "rgb", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.line);
        g_pScanSettings->SetParam(kParamResolution, c.resolution);
        for (int i = 0; i < 4; ++i)
            g_pScanSettings->SetParam(kParamSelLeft + i, c.edges[i]);
        EXPECT_EQ(c.refused, Apply(c.line).unscannableGeometry) << c.resolution;
    }
}

}  // namespace
