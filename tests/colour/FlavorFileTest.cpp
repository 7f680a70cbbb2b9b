// Flavour files in a colour-correction folder of the test's own, against an engine that saves each
// object as a short text: the bytes of a file, what a reader hands on, and what a failure keeps.

#include "colour/FlavorFile.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/settings/ScanSettings.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/RefusingCmsEngine.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace enginetest;

namespace {

class CObjectEngine : public CRefusingCmsEngine {
public:
    int FreeHandle(CmsHandle* handle) override
    {
        memset(handle, 0, sizeof *handle);
        return 0;
    }
    int SaveObject(CmsHandle* object, const char* path) override
    {
        if (object->bytes[0] == m_nRefused)
            return Fail(27, path);
        std::ofstream(path, std::ios::binary) << "object " << int(object->bytes[0]);
        return 0;
    }

    int m_nRefused = -1;
};

// Keeps the content of every part it is handed, refusing from a given part on.
class CRecordingSink : public CFlavorPartSink {
public:
    bool AddFlavorPart(int position, const char* path) override
    {
        if ((int)m_Parts.size() == m_nRefuseAt)
            return false;
        std::ifstream in(path, std::ios::binary);
        m_Parts.push_back(std::to_string(position) + ":" +
                          std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        return true;
    }
    std::vector<std::string> m_Parts;
    int m_nRefuseAt = -1;
};

std::string ReadAllText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Le32(uint32_t value)
{
    return std::string{char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

std::string Header(uint32_t parts, const char* text = "CMS Object list")
{
    std::string header = Le32(14517) + std::string(text, 15) + std::string(1, '\0');
    return header + std::string("\x01\x00\x01\x00", 4) + Le32(parts);
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string CurrentFolder()
{
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

}  // namespace

class FlavorFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEnglishCatalog();
        g_pCmsEngine = &m_Engine;
        m_strBase = MakeTempFolder("flavour");
        ASSERT_TRUE(MakeFolders(m_strBase + "MIREVANT\\"));
        m_strIni = m_strBase + "mirevant.ini";
        ASSERT_TRUE(WriteTextFile(m_strIni, "[Zelk CMS]\r\nBaseDir=" + m_strBase + "\r\n"));
        m_strFolder = m_strBase + "MIREVANT\\CCORR\\";
    }
    void TearDown() override
    {
        g_pCmsEngine = nullptr;
        RemoveTree(m_strBase);
    }

    // A chain of parts whose objects the engine knows by their numbers.
    void MakeChain(CChromabondChain& chain, std::vector<uint8_t> objects)
    {
        auto* entries = new CChromabondHandle[objects.size()];
        for (size_t i = 0; i < objects.size(); ++i) {
            ASSERT_TRUE(entries[i].Acquire("part"));
            entries[i].Record()->bytes[0] = objects[i];
        }
        chain.Set(entries, (int32_t)objects.size());
    }
    void WriteFile(const std::string& name, const std::string& bytes)
    {
        CreateDirectoryA(m_strFolder.c_str(), nullptr);
        std::ofstream(m_strFolder + name, std::ios::binary) << bytes;
    }

    CObjectEngine m_Engine;
    std::string m_strBase, m_strIni, m_strFolder;
};

TEST_F(FlavorFileTest, AFileHoldsTheHeaderAndEachPartWithItsLength)
{
    CChromabondChain chain;
    MakeChain(chain, {7, 12});
    const std::string before = CurrentFolder();
    ASSERT_TRUE(SaveFlavorFile(chain, "Portrait.flv", m_strIni.c_str()));
    EXPECT_EQ(before, CurrentFolder());
    EXPECT_EQ(Header(2) + Le32(8) + "object 7" + Le32(9) + "object 12", ReadAllText(m_strFolder + "Portrait.flv"));
    EXPECT_FALSE(FileExists(m_strFolder + "Portrait.flv.TMP"));
}

TEST_F(FlavorFileTest, ReadingHandsOnEveryPartUpToTheEnd)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool result;
        std::vector<std::string> parts;
        std::vector<int> messages;
    };
    const Case cases[] = {
        {"two parts", Header(2) + Le32(3) + "one" + Le32(3) + "two", true, {"5:one", "6:two"}, {}},
        {"a length of 0 ends it", Header(3) + Le32(3) + "one" + Le32(0) + Le32(3) + "two", true, {"5:one"}, {}},
        {"another header text", Header(1, "some other list") + Le32(3) + "one", true, {"5:one"}, {}},
        {"a part above 61440 bytes", Header(1) + Le32(70000) + std::string(70000, 'p'), true,
         {"5:" + std::string(70000, 'p')}, {}},
        {"a part past the end", Header(2) + Le32(3) + "one" + Le32(1000) + "two", false, {"5:one"}, {3310}},
        {"a length cut short", Header(2) + Le32(3) + "one" + "\x02", false, {"5:one"}, {3310}},
        {"no magic", std::string(40, 'x'), false, {}, {3310}},
        {"short header", Header(1).substr(0, 20), false, {}, {3310}},
    };
    const std::string before = CurrentFolder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile("case.flv", c.bytes);
        CRecordingSink sink;
        CReportRecorder reports;
        EXPECT_EQ(c.result, ReadFlavorFile(5, "case.flv", sink, m_strIni.c_str()));
        EXPECT_EQ(c.parts, sink.m_Parts);
        EXPECT_EQ(c.messages, reports.Ids());
        EXPECT_EQ(before, CurrentFolder());
        EXPECT_FALSE(FileExists(m_strFolder + "TEMPFLV.TMP"));
    }
}

TEST_F(FlavorFileTest, APartTheReaderRefusesEndsTheFileKeepingTheOnesBefore)
{
    WriteFile("case.flv", Header(3) + Le32(1) + "a" + Le32(1) + "b" + Le32(1) + "c");
    CRecordingSink sink;
    sink.m_nRefuseAt = 1;
    CReportRecorder reports;
    EXPECT_FALSE(ReadFlavorFile(0, "case.flv", sink, m_strIni.c_str()));
    EXPECT_EQ(std::vector<std::string>{"0:a"}, sink.m_Parts);
    EXPECT_EQ(std::vector<int>{3310}, reports.Ids());
}

// A part that cannot be written leaves the flavour that was there before.
TEST_F(FlavorFileTest, AFailedSaveKeepsTheOldFile)
{
    CreateDirectoryA(m_strFolder.c_str(), nullptr);
    CreateDirectoryA((m_strFolder + "thelast").c_str(), nullptr);
    WriteFile("thelast\\lastrgb.flv", "the flavour of yesterday");
    CChromabondChain chain;
    MakeChain(chain, {1, 2});
    m_Engine.m_nRefused = 2;
    CReportRecorder reports;
    EXPECT_FALSE(SaveLastFlavorFile(chain, kImageRgb, m_strIni.c_str()));
    EXPECT_EQ(std::vector<int>{3312}, reports.Ids());
    EXPECT_EQ("the flavour of yesterday", ReadAllText(m_strFolder + "thelast\\lastrgb.flv"));
    EXPECT_FALSE(FileExists(m_strFolder + "thelast\\lastrgb.flv.new"));
    EXPECT_FALSE(chain.IsStored());
}

TEST_F(FlavorFileTest, TheLastFlavourOfAnImageType)
{
    CChromabondChain empty;
    EXPECT_FALSE(SaveLastFlavorFile(empty, kImageRgb, m_strIni.c_str()));
    CChromabondChain chain;
    MakeChain(chain, {3});
    EXPECT_FALSE(SaveLastFlavorFile(chain, kImageLineArt, m_strIni.c_str()));
    EXPECT_FALSE(SaveLastFlavorFile(chain, kImageHalftone, m_strIni.c_str()));
    ASSERT_TRUE(SaveLastFlavorFile(chain, kImageGrey, m_strIni.c_str()));
    EXPECT_EQ(Header(1) + Le32(8) + "object 3", ReadAllText(m_strFolder + "thelast\\lastgray.flv"));
    EXPECT_TRUE(chain.IsStored());
    EXPECT_EQ("lastgray", chain.GetName());
    // A stored chain is what its file holds already: nothing is written again.
    m_Engine.m_nRefused = 3;
    EXPECT_TRUE(SaveLastFlavorFile(chain, kImageGrey, m_strIni.c_str()));

    CScanSettings settings;
    g_pScanSettings = &settings;
    SetFlavorNameForType(chain, kImageGrey, false);
    EXPECT_EQ(LastFlavorDisplayName(kImageGrey), std::string(settings.GetFlavorName(kImageGrey)));
    EXPECT_EQ("User Defined Gray", LastFlavorDisplayName(kImageGrey));
    chain.SetName("Portrait.flv");
    SetFlavorNameForType(chain, kImageRgb, false);
    EXPECT_STREQ("Portrait", settings.GetFlavorName(kImageRgb));
    SetFlavorNameForType(chain, kImageCmyk, true);
    EXPECT_EQ("User Defined CMYK", std::string(settings.GetFlavorName(kImageCmyk)));
    settings.SetParamAllTypes(kParamImageType, kImageCmyk);
    EXPECT_EQ(2, settings.GetParam(kParamFlavourState));
    g_pScanSettings = nullptr;
}

TEST(ColourCorrectionFolder, FollowsTheBaseDirectoryWhateverItsLength)
{
    const std::string folder = MakeTempFolder("ccorr");
    const std::string ini = folder + "mirevant.ini";
    const std::string longBase = "D:\\" + std::string(120, 'b');
    ASSERT_TRUE(WriteTextFile(ini, "[Zelk CMS]\r\nBaseDir=" + longBase + "\r\n"));
    EXPECT_EQ("D:\\" + std::string(120, 'B') + "\\MIREVANT\\CCORR", ColourCorrectionFolder(ini.c_str()));
    ASSERT_TRUE(WriteTextFile(ini, "[Zelk CMS]\r\nBaseDir=c:\\base\\\r\n"));
    EXPECT_EQ("C:\\BASE\\MIREVANT\\CCORR", ColourCorrectionFolder(ini.c_str()));
    ASSERT_TRUE(WriteTextFile(ini, "[other]\r\n"));
    EXPECT_EQ("C:\\MIREVANT\\CCORR", ColourCorrectionFolder(ini.c_str()));
    RemoveTree(folder);
}
