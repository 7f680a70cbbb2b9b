// The engine loader under wine: where it looks for the engine DLL, what it hands the DLL, and what
// it reports when it finds none. Each case builds its own base directory and engine INI file.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "colour/CmsEngineLoader.h"
#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

std::string g_lastBoxText;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_lastBoxText = text;
    return IDOK;
}

// A catalog whose loader messages print their file argument; 3481 (also reported without one) and
// 3515 take none.
std::string WriteCatalog(const std::string& folder)
{
    std::string text;
    for (int id = kFirstMessageId; id <= kLastMessageId; ++id) {
        if (id == kFirstMessageId)
            text += "\"ZELK catalog for tests\"\n";
        else if (id >= 3479 && id <= 3494 && id != 3481)
            text += "\"" + std::to_string(id) + " %s\"\n";
        else if (id == 3481 || id == 3515)
            text += "\"" + std::to_string(id) + "\"\n";
        else
            text += "\"-\"\n";
    }
    std::string path = folder + "TST.MSG";
    WriteTextFile(path, text);
    return path;
}

}  // namespace

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = MakeTempFolder("loader");
        m_base = m_folder + "base";
        m_ini = m_folder + "engine.ini";
        // Loaded by path: the catalog's own name rules would take a temporary path holding "32"
        // for an old catalog name.
        m_catalog = new CMessageCatalog(CString("TST.MSG"));
        ASSERT_TRUE(m_catalog->Load(CString(WriteCatalog(m_folder).c_str())));
        m_catalog->m_nState = kCatalogLoaded;
        g_pMessageCatalog = m_catalog;
        m_previousBox = g_MessageReporter.SetBoxFunction(RecordBox);
        g_lastBoxText.clear();
        GetCurrentDirectoryA(sizeof m_previousDirectory, m_previousDirectory);
    }

    void TearDown() override
    {
        CloseColourEngine();
        SetCurrentDirectoryA(m_previousDirectory);
        g_MessageReporter.SetBoxFunction(m_previousBox);
        g_pMessageCatalog = nullptr;
        delete m_catalog;
        RemoveTree(m_folder);
    }

    void WriteIni(const std::string& baseDir, const char* key = "BaseDir")
    {
        ASSERT_TRUE(WriteTextFile(m_ini, std::string("[Zelk CMS]\r\n") + key + "=" + baseDir + "\r\n"));
    }

    void InstallDll(const std::string& folder, const char* name)
    {
        ASSERT_TRUE(MakeFolders(folder));
        ASSERT_TRUE(CopyFileA(InstalledDll().c_str(), (folder + name).c_str(), FALSE));
    }

    std::string EngineFolder() const { return m_base + "\\MIREVANT\\CENGINE\\"; }

    // Where the instance's store is: its failed profile search names the folder it looked in.
    static std::string StoreOf(CCmsEngine* engine)
    {
        EXPECT_EQ(engine->BeginProfileSearch(0, nullptr), 1);
        std::string text = engine->GetLastErrorText();
        return text;
    }

    std::string m_folder, m_base, m_ini;
    CMessageCatalog* m_catalog = nullptr;
    CMessageReporter::BoxFunction m_previousBox = nullptr;
    char m_previousDirectory[MAX_PATH] = {};
};

TEST_F(LoaderTest, EmptyOrAbsentBaseDirMakesNoAttempt)
{
    for (bool writeIni : {true, false}) {
        if (writeIni)
            WriteIni("");
        CCmsEngineLoader loader(m_ini.c_str());
        EXPECT_FALSE(loader.IsLoaded());
        EXPECT_EQ(loader.GetModule(), kLoadFileNotFound);
        EXPECT_EQ(loader.GetEngineDirectory(), nullptr);
        EXPECT_EQ(loader.GetInstance(nullptr), nullptr);
        DeleteFileA(m_ini.c_str());
    }
    EXPECT_FALSE(OpenColourEngine(m_ini.c_str()));
    EXPECT_EQ(g_pCmsEngineLoader, nullptr);
    EXPECT_EQ(g_MessageReporter.GetMessageId(), 3480);
    EXPECT_EQ(g_lastBoxText, "3480 CMS02732.DLL");
}

TEST_F(LoaderTest, MissingDllIsReportedWithThePathTried)
{
    ASSERT_TRUE(MakeFolders(EngineFolder()));
    WriteIni(m_base);
    EXPECT_FALSE(OpenColourEngine(m_ini.c_str()));
    EXPECT_EQ(g_pCmsEngine, nullptr);
    EXPECT_EQ(g_MessageReporter.GetMessageId(), 3480);
    EXPECT_EQ(g_lastBoxText, "3480 " + EngineFolder() + "CMS02732.DLL");
}

TEST_F(LoaderTest, UnloadableDllIsReportedAsSuchNotAsMissing)
{
    ASSERT_TRUE(MakeFolders(EngineFolder()));
    ASSERT_TRUE(WriteTextFile(EngineFolder() + "CMS02832.DLL", std::string(4096, 'x')));
    WriteIni(m_base);
    CCmsEngineLoader loader(m_ini.c_str());
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(loader.GetModule(), 11u);
    EXPECT_EQ(std::string(loader.GetFailedFile()), EngineFolder() + "CMS02832.DLL");
    EXPECT_EQ(LoadErrorMessageId(loader.GetModule()), 3486);
}

TEST_F(LoaderTest, OlderVersionIsFoundAfterTheNewerOnes)
{
    InstallDll(EngineFolder(), "CMS02632.DLL");
    WriteIni(m_base);
    CCmsEngineLoader loader(m_ini.c_str());
    ASSERT_TRUE(loader.IsLoaded());
    EXPECT_GT(loader.GetModule(), 32u);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(reinterpret_cast<HMODULE>(loader.GetModule()), path, sizeof path);
    EXPECT_NE(std::strstr(path, "CMS02632.DLL"), nullptr) << path;
    ASSERT_NE(loader.GetEngineDirectory(), nullptr);
    EXPECT_EQ(std::string(loader.GetEngineDirectory()), m_base + "\\MIREVANT\\");
    CCmsEngine* engine = loader.GetInstance(nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(StoreOf(engine), m_base + "\\MIREVANT\\PROFILES\\");
    loader.FreeInstance(engine);
}

TEST_F(LoaderTest, TrailingBackslashGivesTheSamePaths)
{
    InstallDll(EngineFolder(), "CMS02732.DLL");
    WriteIni(m_base + "\\");
    CCmsEngineLoader loader(m_ini.c_str());
    ASSERT_TRUE(loader.IsLoaded());
    ASSERT_NE(loader.GetEngineDirectory(), nullptr);
    EXPECT_EQ(std::string(loader.GetEngineDirectory()), m_base + "\\MIREVANT\\");
}

TEST_F(LoaderTest, DllOnlyOnTheSearchPathGetsTheCallersArgument)
{
    ASSERT_TRUE(MakeFolders(EngineFolder()));
    std::string elsewhere = m_folder + "elsewhere\\";
    InstallDll(elsewhere, "CMS02732.DLL");
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
    WriteIni(m_base);
    CCmsEngineLoader loader(m_ini.c_str());
    ASSERT_TRUE(loader.IsLoaded());
    EXPECT_EQ(loader.GetEngineDirectory(), nullptr);
    std::string argument = m_folder + "given\\";
    ASSERT_TRUE(MakeFolders(argument));
    CCmsEngine* engine = loader.GetInstance(argument.c_str());
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(StoreOf(engine), argument + "PROFILES\\");
    loader.FreeInstance(engine);
    // Without an argument the engine settles in its own folder.
    engine = loader.GetInstance(nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(StoreOf(engine), elsewhere + "PROFILES\\");
    loader.FreeInstance(engine);
}

TEST_F(LoaderTest, OpenAndCloseSetTheProgramsInstance)
{
    InstallDll(EngineFolder(), "CMS02732.DLL");
    WriteIni(m_base);
    ASSERT_TRUE(OpenColourEngine(m_ini.c_str()));
    ASSERT_NE(g_pCmsEngineLoader, nullptr);
    ASSERT_NE(g_pCmsEngine, nullptr);
    EXPECT_EQ(g_pCmsEngine->GetLastErrorCode(), 0);
    EXPECT_EQ(g_lastBoxText, "") << "nothing reported";
    CloseColourEngine();
    EXPECT_EQ(g_pCmsEngine, nullptr);
    EXPECT_EQ(g_pCmsEngineLoader, nullptr);
    EXPECT_EQ(GetModuleHandleA("CMS02732.DLL"), nullptr) << "the DLL is unloaded";
}

TEST_F(LoaderTest, EngineCountsAsInstalledWithEitherKey)
{
    struct Case {
        const char* ini;
        bool missing;
    };
    const Case cases[] = {
        {"[Zelk CMS]\r\nBaseDir=\r\nBaseDirLE=\r\n", true},
        {"[Zelk CMS]\r\nBaseDirLE=C:\\ENGINE\r\n", false},
        {"[Zelk CMS]\r\nBaseDir=C:\\ENGINE\r\n", false},
        {"[Other]\r\nBaseDir=C:\\ENGINE\r\n", true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteTextFile(m_ini, c.ini));
        EXPECT_EQ(IsColourEngineMissing(m_ini.c_str()), c.missing) << c.ini;
    }
}

// The build installs the engine for the run folder and points the wine prefix's "mirevant.ini"
// at it; the programs find it without any test seam, with the profiles the settings default to.
TEST_F(LoaderTest, InstalledEngineIsFoundThroughTheWindowsIni)
{
    EXPECT_FALSE(IsColourEngineMissing());
    CCmsEngineLoader loader;
    ASSERT_TRUE(loader.IsLoaded()) << loader.GetFailedFile();
    ASSERT_NE(loader.GetEngineDirectory(), nullptr);
    EXPECT_NE(std::strstr(loader.GetEngineDirectory(), "\\bin\\cmsbase\\MIREVANT\\"), nullptr)
        << loader.GetEngineDirectory();
    CCmsEngine* engine = loader.GetInstance(nullptr);
    ASSERT_NE(engine, nullptr);
    CmsObjectInfo info;
    ASSERT_EQ(engine->GetProfileInfo("GENERIC", 0, &info), 0) << engine->GetLastErrorText();
    EXPECT_EQ(info.classCode, kCmsClassMonitor);
    loader.FreeInstance(engine);
}
