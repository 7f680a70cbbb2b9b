// The start-up pieces: the catalog chosen and checked, the colour engine loaded for the device
// search, the title and version word from the version block, the image-mode key section and the
// status texts.

#include "app/BrelvaneShell.h"
#include "app/LanguageCatalog.h"
#include "app/ModeKeyTable.h"
#include "app/ScanStatus.h"
#include "app/VersionInfo.h"
#include "colour/CmsEngineLoader.h"
#include "core/scan/ShellServices.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/messages/TraceLog.h"
#include "tests/app/AppTestEnvironment.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(CatalogChoice, LanguageValueSelectsTheFile)
{
    const struct {
        const char* language;
        const char* catalog;
    } cases[] = {
        {"deu", "GER.MSG"}, {"FRC", "FRE.MSG"}, {"fra", "FRE.MSG"}, {"esn", "SPA.MSG"}, {"ESP", "SPA.MSG"},
        {"ita", "ITA.MSG"}, {"", "ENG.MSG"},    {"enu", "ENG.MSG"}, {"xDEUx", "GER.MSG"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.catalog, CatalogForLanguage(c.language)) << c.language;
}

// The catalog's boxes, recorded instead of shown.
class CCatalogBoxShell : public CShellServices {
public:
    int CatalogBox(HWND, LPCSTR text, LPCSTR caption, UINT) override
    {
        EXPECT_STREQ("Brelvane Error", caption);
        m_Boxes.push_back(text);
        return IDOK;
    }

    std::vector<std::string> m_Boxes;
};

// Runs the catalog step with the boxes answered here; keeps the catalog of the environment aside.
class CCatalogFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        m_pKept = g_pMessageCatalog;
        g_pMessageCatalog = nullptr;
        // A folder of their own: other test programs read the shared ENG.MSG meanwhile.
        m_Dir = testsupport::ProgramDirectory() + "catalogs\\";
        CreateDirectoryA(m_Dir.c_str(), nullptr);
        CopyFileA((testsupport::ProgramDirectory() + "ENG.MSG").c_str(), (m_Dir + "ENG.MSG").c_str(), FALSE);
    }
    void TearDown() override
    {
        delete g_pMessageCatalog;
        g_pMessageCatalog = m_pKept;
        for (const std::string& file : m_Made)
            DeleteFileA(file.c_str());
    }
    void CopyCatalog(const char* name, const char* version)
    {
        std::ifstream in(m_Dir + "ENG.MSG", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string body = text.str();
        const size_t at = body.rfind("V2.09");
        ASSERT_NE(std::string::npos, at);
        body.replace(at, 5, version);
        std::ofstream(m_Dir + name, std::ios::binary) << body;
        m_Made.push_back(m_Dir + name);
    }
    void HideEnglish()
    {
        ASSERT_TRUE(DeleteFileA((m_Dir + "ENG.MSG").c_str()));
    }

    CMessageCatalog* m_pKept = nullptr;
    std::string m_Dir;
    std::vector<std::string> m_Made;
    CCatalogBoxShell m_Shell;
    CShellServicesScope m_ShellScope{m_Shell};
};

const char* const kRetry = "\n\rBrelvane will try to load the English version.";

TEST_F(CCatalogFixture, WindowsLanguageChoosesTheCatalog)
{
    CopyCatalog("GER.MSG", "V2.09");
    char kept[300] = {};
    GetProfileStringA("intl", "sLanguage", "", kept, sizeof kept);
    WriteProfileStringA("intl", "sLanguage", "deu");
    const bool loaded = LoadLanguageCatalog(m_Dir.c_str());
    WriteProfileStringA("intl", "sLanguage", kept[0] ? kept : nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ("GER.MSG", (LPCSTR)g_pMessageCatalog->GetFileTitle());
    EXPECT_TRUE(m_Shell.m_Boxes.empty());
}

TEST_F(CCatalogFixture, BareLanguageCodeInTheIniFile)
{
    CopyCatalog("GER.MSG", "V2.09");
    TestApp().WriteProfileString("General", "Language", "ger");
    ASSERT_TRUE(LoadLanguageCatalog(m_Dir.c_str()));
    EXPECT_STREQ("GER.MSG", (LPCSTR)g_pMessageCatalog->GetFileTitle());
}

TEST_F(CCatalogFixture, MissingLanguageFallsBackToEnglishOnce)
{
    TestApp().WriteProfileString("General", "Language", "ITA.MSG");
    ASSERT_TRUE(LoadLanguageCatalog(m_Dir.c_str()));
    ASSERT_EQ(1u, m_Shell.m_Boxes.size());
    EXPECT_EQ("There's a problem loading (ITA.MSG). It's probably not in the path or the " + m_Dir +
                  " directory." + kRetry,
              m_Shell.m_Boxes[0]);
    EXPECT_STREQ("ENG.MSG", (LPCSTR)g_pMessageCatalog->GetFileTitle());
}

TEST_F(CCatalogFixture, MissingEnglishEndsTheStart)
{
    HideEnglish();
    ASSERT_FALSE(LoadLanguageCatalog(m_Dir.c_str()));
    ASSERT_EQ(1u, m_Shell.m_Boxes.size());
    EXPECT_EQ(std::string::npos, m_Shell.m_Boxes[0].find(kRetry));
    EXPECT_EQ(nullptr, g_pMessageCatalog);
}

TEST_F(CCatalogFixture, BareEnglishCodeTriesTwice)
{
    HideEnglish();
    TestApp().WriteProfileString("General", "Language", "ENG");
    ASSERT_FALSE(LoadLanguageCatalog(m_Dir.c_str()));
    ASSERT_EQ(2u, m_Shell.m_Boxes.size());
    EXPECT_NE(std::string::npos, m_Shell.m_Boxes[0].find(kRetry));
    EXPECT_EQ("There's a problem loading ENG.MSG. Copy ENG.MSG to " + m_Dir + " or reinstall.", m_Shell.m_Boxes[1]);
}

TEST_F(CCatalogFixture, CatalogOfAnotherVersionIsRefused)
{
    CopyCatalog("WRV.MSG", "v2.09");
    TestApp().WriteProfileString("General", "Language", "WRV.MSG");
    ASSERT_FALSE(LoadLanguageCatalog(m_Dir.c_str()));
    ASSERT_EQ(1u, m_Shell.m_Boxes.size());
    EXPECT_EQ(0u, m_Shell.m_Boxes[0].find("There's a problem with WRV.MSG. It is not the same version"));
    // left for the exit routine to free
    EXPECT_NE(nullptr, g_pMessageCatalog);
}

std::string g_EngineBoxText;

int WINAPI RecordEngineBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_EngineBoxText = text;
    return IDOK;
}

// The device search asks brelvane's shell for the engine: a failed load is reported naming the file
// tried and leaves no loader; a loader of an earlier search is kept, whether or not it loaded.
TEST(EngineLoading, FailedLoadIsReportedAndAHeldLoaderIsKept)
{
    ASSERT_EQ(nullptr, g_pCmsEngineLoader);
    const std::string ini = testsupport::ProgramDirectory() + "no_engine.ini";  // no BaseDir
    CBrelvaneShell shell;
    g_EngineBoxText.clear();
    CMessageReporter::BoxFunction previous = g_MessageReporter.SetBoxFunction(RecordEngineBox);
    EXPECT_FALSE(shell.LoadColourEngine(ini.c_str()));
    EXPECT_EQ(nullptr, g_pCmsEngineLoader);
    EXPECT_NE(std::string::npos, g_EngineBoxText.find("CMS02732.DLL")) << g_EngineBoxText;

    g_EngineBoxText.clear();
    CCmsEngineLoader* held = new CCmsEngineLoader(ini.c_str());
    g_pCmsEngineLoader = held;
    EXPECT_TRUE(shell.LoadColourEngine(ini.c_str()));
    EXPECT_EQ(held, g_pCmsEngineLoader);
    EXPECT_EQ("", g_EngineBoxText);
    g_MessageReporter.SetBoxFunction(previous);
    delete g_pCmsEngineLoader;
    g_pCmsEngineLoader = nullptr;
}

TEST(VersionStrings, TitleAndVersionWordFromTheProgramsResource)
{
    const std::string program = testsupport::ProgramDirectory() + "..\\bin\\brelvane.exe";
    CString title = "base";
    CVersionTexts texts;
    GetVersionStrings(title, texts, program.c_str());
    EXPECT_EQ("Brelvane 32 V2.09 - " + std::string(CMsgString(3047)), std::string(title));
    EXPECT_EQ(0x02090000u, texts.packedVersion);
    EXPECT_EQ(521, VersionWord(texts.packedVersion));
    EXPECT_STREQ("ZELK", (LPCSTR)texts.company);
    EXPECT_STREQ("2.09", (LPCSTR)texts.productVersion);
}

TEST(VersionStrings, NoResourceGivesTheFallbacks)
{
    const std::string self = testsupport::ProgramDirectory() + "app_tests.exe";
    CString title = "base";
    CVersionTexts texts;
    GetVersionStrings(title, texts, self.c_str());
    EXPECT_STREQ("base", (LPCSTR)title);
    EXPECT_EQ(0u, texts.packedVersion);
    EXPECT_STREQ("Brelvane (No BvVInfo)", (LPCSTR)texts.productVersion);
    EXPECT_STREQ("ZELK (No BvVInfo)", (LPCSTR)texts.company);
}

class CModeKeyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        m_Table.SetCompany("ZELK");
        m_Table.SetTitle("Brelvane 32 V2.09 - x");
        m_Table.SetProductVersion("2.09");
        m_Driver.m_nKind = 4;
        g_pScannerDriver = &m_Driver;
    }
    void TearDown() override { g_pScannerDriver = nullptr; }
    CString Mask(int type)
    {
        return TestApp().GetProfileString(m_Table.SectionName(), CModeKeyTable::ModeKeyName(type), "absent");
    }

    CModeKeyTable m_Table;
    CScannerDriver m_Driver;
};

TEST_F(CModeKeyFixture, SectionAndKeys)
{
    EXPECT_STREQ("ZELK-Brelvane 32 V2.09 - x-2.09-", (LPCSTR)m_Table.SectionName());
    EXPECT_STREQ("ColorRGB", CModeKeyTable::ModeKeyName(3));
    EXPECT_STREQ("SwapGrayScale", CModeKeyTable::SwapKeyName(2));
    EXPECT_STREQ("Error", CModeKeyTable::ModeKeyName(5));
    EXPECT_STREQ("Error", CModeKeyTable::SwapKeyName(-1));
}

TEST_F(CModeKeyFixture, FreshSectionReadsOffAndWriteAllMakesTheKeys)
{
    for (int type = 0; type < 5; ++type) {
        EXPECT_FALSE(m_Table.IsModeEnabled(type));
        EXPECT_EQ(0, m_Table.GetSwapBytes(type));
        EXPECT_STREQ("absent", (LPCSTR)Mask(type));
    }
    m_Table.WriteAll();
    for (int type = 0; type < 5; ++type)
        EXPECT_STREQ("00000000", (LPCSTR)Mask(type));
    EXPECT_EQ(-1, (int)TestApp().GetProfileInt(m_Table.SectionName(), "SwapLineArt", -1));
}

TEST_F(CModeKeyFixture, KindBitsAreSetAndClearedWithoutLeadingZeros)
{
    TestApp().WriteProfileString(m_Table.SectionName(), "GrayScale", "10");
    m_Table.SetModeEnabled(2, TRUE);
    EXPECT_STREQ("14", (LPCSTR)Mask(2));
    EXPECT_TRUE(m_Table.IsModeEnabled(2));
    m_Table.SetModeEnabled(2, FALSE);
    EXPECT_STREQ("10", (LPCSTR)Mask(2));
    EXPECT_FALSE(m_Table.IsModeEnabled(2));
    TestApp().WriteProfileString(m_Table.SectionName(), "ColorRGB", "ffffffff");
    EXPECT_TRUE(m_Table.IsModeEnabled(3));
    m_Table.SetSwapBytes(3, 1);
    EXPECT_EQ(1, m_Table.GetSwapBytes(3));
}

TEST_F(CModeKeyFixture, StatusTexts)
{
    m_Driver.SetProductName("KOVAL II");
    m_Driver.m_nState = 2;
    const std::string product = "KOVAL II : ";
    const struct {
        int id;
        uint32_t value;
        std::string text;
    } cases[] = {
        {3294, 50, product + std::string(CMsgString(3294)) + " 50 %"},
        {3294, 1050, product + std::string(CMsgString(3302)) + " 1, 50 %"},
        {4051, 3007, product + std::string(CMsgString(3302)) + " 3, 7 %"},
        {3294, 4000, product + std::string(CMsgString(3294)) + "  "},
        {3293, 0, product + std::string(CMsgString(3300)) + ", "},
        {3298, 0, product + std::string(CMsgString(3299))},
        {3298, 40, product + std::string(CMsgString(3298)) + ", 40 %"},
        {3306, 0, std::string(CMsgString(3305)) + std::string(CMsgString(3306))},
        {4482, 0, product + std::string(CMsgString(4482))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, std::string(ScanStatusText(c.id, c.value))) << c.id << " " << c.value;
    m_Driver.m_nState = 1;
    EXPECT_EQ(std::string(CMsgString(3286)) + std::string(CMsgString(4482)), std::string(ScanStatusText(4482, 0)));
}

TEST_F(CModeKeyFixture, RepeatedStatusIsShownOnce)
{
    const std::string path = testsupport::ProgramDirectory() + "status_trace.log";
    DeleteFileA(path.c_str());
    g_pTraceLog = new CTraceLog(path.c_str());
    ResetScanStatus();
    m_Driver.SetProductName("KOVAL II");
    for (const auto& step : {std::pair{3294, 10}, {3294, 10}, {3294, 15}, {3294, 15}, {3287, 0}})
        ShowScanStatus(step.first, step.second);
    delete g_pTraceLog;
    g_pTraceLog = nullptr;
    std::ifstream trace(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);)
        if (line.find("KOVAL II : ") == 0)
            lines.push_back(line);
    EXPECT_EQ(3u, lines.size());
    DeleteFileA(path.c_str());
}

}  // namespace
