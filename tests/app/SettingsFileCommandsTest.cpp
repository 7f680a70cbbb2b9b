// The settings-file commands: open, save, save as and load default, with the file dialog answered
// by the test; the title and the current settings file follow only a file that was used.

#include "app/RecordTexts.h"
#include "core/driver/ScanSettingsCreation.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "tests/app/AppTestEnvironment.h"
#include "tests/support/Reports.h"
#include "tests/support/Screenshot.h"
#include "view/FileDialogRunner.h"
#include "view/SettingsFileCommands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<char>;

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), (std::streamsize)bytes.size());
}

// What the test's file dialog answers, and what it was shown.
struct CDialogAnswer {
    int result = IDCANCEL;
    std::string path;
    int runs = 0;
    DWORD flags = 0;
    std::string filter;
    std::string defaultExtension;
} g_Answer;

int AnswerDialog(CFileDialog& dialog)
{
    ++g_Answer.runs;
    g_Answer.flags = dialog.m_ofn.Flags;
    g_Answer.filter = dialog.m_ofn.lpstrFilter ? dialog.m_ofn.lpstrFilter : "";
    g_Answer.defaultExtension = dialog.m_ofn.lpstrDefExt ? dialog.m_ofn.lpstrDefExt : "";
    if (g_Answer.result == IDOK)
        lstrcpynA(dialog.m_ofn.lpstrFile, g_Answer.path.c_str(), (int)dialog.m_ofn.nMaxFile);
    return g_Answer.result;
}

std::string WindowTitle(const CWnd& window)
{
    char text[512] = {};
    GetWindowTextA(window.m_hWnd, text, sizeof text);
    return text;
}

// The settings file the next start opens.
std::string IniSettingsFile()
{
    return std::string(AfxGetApp()->GetProfileString("General", "SettingsFile", ""));
}

const std::string kProgramTitle = "Brelvane 32 - 2.09";

class CSettingsFileCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        m_Dir = testsupport::ProgramDirectory();
        m_StartFile = m_Dir + "START.ZLK";
        m_Driver.m_nKind = 1;
        for (int i = 0; i < 3; ++i)
            m_Table.m_Entries[i].m_strName.Format("Format %d", i);
        m_Driver.m_pFormatTable = &m_Table;
        g_pScannerDriver = &m_Driver;
        g_pScanSettings = new CScanSettings;
        g_pScanSettings->m_nVersion = 521;
        SetProgramTitle(kProgramTitle.c_str());
        SetSettingsFileName(m_StartFile.c_str());
        m_Window.CreateEx(0, AfxRegisterWndClass(0), "start", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr);
        m_pSavedMain = TestApp().m_pMainWnd;
        TestApp().m_pMainWnd = &m_Window;
        m_pPreviousRunner = SetFileDialogRunner(AnswerDialog);
        g_Answer = CDialogAnswer();
    }
    void TearDown() override
    {
        SetFileDialogRunner(m_pPreviousRunner);
        TestApp().m_pMainWnd = m_pSavedMain;
        m_Window.DestroyWindow();
        delete g_pScanSettings;
        g_pScanSettings = nullptr;
        m_Driver.m_pFormatTable = nullptr;
        g_pScannerDriver = nullptr;
        for (const std::string& file : m_Files)
            DeleteFileA(file.c_str());
        ResetTestIni();
    }

    // A settings file whose slot for this scanner holds the resolution, format index and origin.
    std::string MakeSettingsFile(const char* name, int32_t resolution, int32_t formatIndex, uint32_t kind = 1)
    {
        const std::string path = m_Dir + name;
        m_Files.push_back(path);
        DeleteFileA(path.c_str());  // a save keeps the other slots of a file that is there
        CScanSettings* current = g_pScanSettings;
        CScanSettings stored;
        stored.m_nVersion = current->m_nVersion;
        stored.SetParamAllTypes(kParamResolution, resolution);
        stored.SetParamAllTypes(kParamFormatIndex, formatIndex);
        stored.SetParamAllTypes(kParamOriginX, 123);
        stored.SetParamAllTypes(kParamOriginY, 456);
        g_pScanSettings = &stored;
        m_Driver.m_nKind = kind;
        SaveSettings(path.c_str());
        m_Driver.m_nKind = 1;
        g_pScanSettings = current;
        return path;
    }

    std::string m_Dir;
    std::string m_StartFile;
    std::vector<std::string> m_Files;
    CScannerDriver m_Driver;
    CFormatTable m_Table;
    CWnd m_Window;
    CWnd* m_pSavedMain = nullptr;
    FileDialogRunner m_pPreviousRunner = nullptr;
};

TEST_F(CSettingsFileCommands, OpenUsesOnlyAFileTheLoaderTook)
{
    const struct {
        const char* name;
        int dialogResult;
        int32_t resolution, formatIndex;  // stored in the file
        uint32_t slotKind;  // the scanner kind whose slot the file holds
        bool damaged;
        bool becomesCurrent;
        int32_t loadedResolution;
        int32_t loadedFormat;  // parameter 20 after the load, whose entry took the origin
        std::vector<int> reports;
    } cases[] = {
        {"a file of this scanner", IDOK, 777, 2, 1, false, true, 777, 2, {}},
        {"a format index past the driver's table", IDOK, 777, 40, 1, false, true, 777, 0, {}},
        {"a file without this scanner's slot", IDOK, 777, 2, 8, false, true, 300, -1, {}},
        {"a damaged file", IDOK, 777, 2, 1, true, false, 300, -1, {kMsgSettingsFileRefused}},
        {"cancelled", IDCANCEL, 777, 2, 1, false, false, 300, -1, {}},
        {"a dialog that could not be shown", kFileDialogFailed, 777, 2, 1, false, false, 300, -1, {3310}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetSettingsFileName(m_StartFile.c_str());
        RetitleMainWindow();
        g_pScanSettings->SetParamAllTypes(kParamResolution, 300);
        for (CFormatEntry& entry : m_Table.m_Entries)
            entry.m_nOffsetX = entry.m_nOffsetY = 0;
        std::string path = MakeSettingsFile("OPENED.ZLK", c.resolution, c.formatIndex, c.slotKind);
        if (c.damaged) {
            Bytes bytes = ReadBytes(path);
            bytes[0] = 0x55;  // not the magic of a settings slot
            WriteBytes(path, bytes);
        }
        const Bytes before = ReadBytes(path);
        g_Answer.result = c.dialogResult;
        g_Answer.path = path;
        CReportRecorder reports;
        OpenSettingsFile();

        EXPECT_EQ(1, g_Answer.runs);
        g_Answer.runs = 0;
        EXPECT_EQ(DWORD(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST),
            g_Answer.flags & ~DWORD(OFN_EXPLORER));
        EXPECT_EQ("zlk", g_Answer.defaultExtension);
        EXPECT_EQ(c.reports, reports.Ids());
        const std::string current = c.becomesCurrent ? path : m_StartFile;
        EXPECT_EQ(current, std::string(GetSettingsFileName()));
        EXPECT_EQ(kProgramTitle + " - " + current, WindowTitle(m_Window));
        EXPECT_EQ(c.loadedResolution, g_pScanSettings->GetParam(kParamResolution));
        if (c.loadedFormat >= 0) {
            EXPECT_EQ(c.loadedFormat, g_pScanSettings->GetParam(kParamFormatIndex));
            EXPECT_EQ(123, m_Table.m_Entries[c.loadedFormat].m_nOffsetX);
            EXPECT_EQ(456, m_Table.m_Entries[c.loadedFormat].m_nOffsetY);
        }
        EXPECT_EQ(0, m_Table.m_Entries[40].m_nOffsetX);  // nothing past the table's end is written
        EXPECT_EQ(before, ReadBytes(path));  // opening never writes the file
    }
}

TEST_F(CSettingsFileCommands, SaveAfterARefusedOpenWritesThePreviousFile)
{
    m_Files.push_back(m_StartFile);
    std::string refused = MakeSettingsFile("REFUSED.ZLK", 777, 2);
    Bytes bytes = ReadBytes(refused);
    bytes[0] = 0x55;
    WriteBytes(refused, bytes);
    g_Answer.result = IDOK;
    g_Answer.path = refused;
    CReportRecorder reports;
    OpenSettingsFile();
    g_pScanSettings->SetParamAllTypes(kParamResolution, 600);
    SaveSettingsFile();
    EXPECT_EQ(bytes, ReadBytes(refused));
    g_pScanSettings->SetParamAllTypes(kParamResolution, 1);
    EXPECT_TRUE(LoadSettings(m_StartFile.c_str()));
    EXPECT_EQ(600, g_pScanSettings->GetParam(kParamResolution));
    EXPECT_EQ(kProgramTitle + " - " + m_StartFile, WindowTitle(m_Window));
}

TEST_F(CSettingsFileCommands, SaveAsTakesTheChosenName)
{
    const std::string chosen = m_Dir + "CHOSEN.ZLK";
    m_Files.push_back(chosen);
    DeleteFileA(chosen.c_str());
    {
        CReportRecorder reports;
        g_Answer.result = kFileDialogFailed;
        SaveSettingsFileAs();
        EXPECT_EQ(std::vector<int> {3309}, reports.Ids());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(chosen.c_str()));
        EXPECT_EQ(m_StartFile, std::string(GetSettingsFileName()));
    }
    {
        // A name that cannot become a file: the window and the INI keep the file they named.
        const std::string folder = m_Dir + "FOLDER.ZLK";
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string named = IniSettingsFile(), title = WindowTitle(m_Window);
        CReportRecorder reports;
        g_Answer.result = IDOK;
        g_Answer.path = folder;
        SaveSettingsFileAs();
        RemoveDirectoryA(folder.c_str());
        EXPECT_EQ(std::vector<int> {3312}, reports.Ids());
        EXPECT_EQ(m_StartFile, std::string(GetSettingsFileName()));
        EXPECT_EQ(title, WindowTitle(m_Window));
        EXPECT_EQ(named, IniSettingsFile());
    }
    g_Answer.result = IDOK;
    g_Answer.path = chosen;
    g_pScanSettings->SetParamAllTypes(kParamResolution, 640);
    SaveSettingsFileAs();
    EXPECT_EQ(chosen, IniSettingsFile());
    EXPECT_EQ(DWORD(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST), g_Answer.flags & ~DWORD(OFN_EXPLORER));
    EXPECT_EQ(chosen, std::string(GetSettingsFileName()));
    EXPECT_EQ(kProgramTitle + " - " + chosen, WindowTitle(m_Window));
    g_pScanSettings->SetParamAllTypes(kParamResolution, 1);
    EXPECT_TRUE(LoadSettings(chosen.c_str()));
    EXPECT_EQ(640, g_pScanSettings->GetParam(kParamResolution));
}

TEST_F(CSettingsFileCommands, LoadDefaultUsesTheDefaultFileOrTheDriversDefaults)
{
    const int32_t savedInteractive = g_bInteractive;
    g_bInteractive = 1;
    const std::string named = std::string(DefaultSettingsFileName());
    EXPECT_EQ(TestIniPath().substr(0, TestIniPath().rfind('.')) + ".ZLK", named);
    m_Files.push_back(named);
    CreateScanSettings();
    const int32_t driverDefault = g_pScanSettings->GetParam(kParamResolution);
    g_pScanSettings->m_nVersion = 521;
    SetProgramTitle(kProgramTitle.c_str());
    const struct {
        const char* name;
        bool defaultFile;
        int32_t resolution;
    } cases[] = {
        {"ldefault.zlk with this scanner's slot", true, 555},
        {"no ldefault.zlk", false, driverDefault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string defaultFile = m_Dir + "ldefault.zlk";
        DeleteFileA(defaultFile.c_str());
        if (c.defaultFile)
            MakeSettingsFile("ldefault.zlk", 555, 1);
        g_pScanSettings->SetParamAllTypes(kParamResolution, 4321);
        LoadDefaultSettings();
        EXPECT_EQ(c.resolution, g_pScanSettings->GetParam(kParamResolution));
        EXPECT_EQ(named, std::string(GetSettingsFileName()));
        EXPECT_EQ(kProgramTitle + " - " + named, WindowTitle(m_Window));
        EXPECT_EQ(521, g_pScanSettings->m_nVersion);
        // a save afterwards goes to the file named after the INI file, never to the default file
        const Bytes defaultBytes = ReadBytes(defaultFile);
        DeleteFileA(named.c_str());
        SaveSettingsFile();
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(named.c_str()));
        EXPECT_EQ(defaultBytes, ReadBytes(defaultFile));
        DeleteFileA(defaultFile.c_str());
    }
    g_bInteractive = savedInteractive;
}

}  // namespace
