#include "app/BrelvaneApp.h"

#include "app/BatchInterpreter.h"
#include "app/BrelvaneStatusBar.h"
#include "app/BatchOutput.h"
#include "app/LanguageCatalog.h"
#include "app/MainMenu.h"
#include "app/MainFrame.h"
#include "app/ModeKeyTable.h"
#include "app/RecordTexts.h"
#include "app/ResponseFile.h"
#include "app/ScanStatus.h"
#include "app/SplashWnd.h"
#include "app/VersionInfo.h"
#include "colour/ChromabondChain.h"
#include "colour/CmsEngineLoader.h"
#include "core/devices/DeviceSearch.h"
#include "core/devices/ModelTable.h"
#include "core/driver/ScanSettingsCreation.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/ProgramDirectory.h"
#include "core/messages/TraceLog.h"
#include "core/scan/ScanServices.h"
#include "core/scsi/TransportFactory.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "drivers/DriverFamilies.h"
#include "view/BrelvaneView.h"
#include "view/SettingsFileCommands.h"

#include <cstdlib>

namespace {

const char* const kIniFileName = "ZELK2.INI";
const char* const kDefaultSettingsFile = "ZELK2.ZLK";
// A batch start has nobody at the screen: its messages are kept in this log as well.
const char* const kBatchLogName = "zelkbat.txt";
constexpr int kMsgCannotRead = 3310;
constexpr int kMsgResponseFilesTooDeep = 3426;

constexpr UINT kCmdOpenSettings = 5190;
constexpr UINT kCmdSaveSettingsAs = 5191;
constexpr UINT kCmdSaveSettings = 5192;
constexpr UINT kCmdLoadDefaultSettings = 5193;
// The quality commands in the order of their values: 5198 speed (2), 5199 quality (1), 5200 extra (0).
constexpr UINT kCmdQualitySpeed = 5198;
constexpr UINT kCmdQualityExtra = 5200;

void RefreshForm()
{
    if (g_pView)
        g_pView->RefreshControls();
}

}  // namespace

BEGIN_MESSAGE_MAP(CBrelvaneApp, CWinApp)
ON_COMMAND(kCmdOpenSettings, OnOpenSettings)
ON_COMMAND(kCmdSaveSettingsAs, OnSaveSettingsAs)
ON_COMMAND(kCmdSaveSettings, OnSaveSettings)
ON_COMMAND(kCmdLoadDefaultSettings, OnLoadDefaultSettings)
ON_COMMAND_RANGE(kCmdQualitySpeed, kCmdQualityExtra, OnQuality)
ON_UPDATE_COMMAND_UI_RANGE(kCmdQualitySpeed, kCmdQualityExtra, OnUpdateQuality)
END_MESSAGE_MAP()

CBrelvaneApp::CBrelvaneApp() : m_nExitCode(kExitStartFailed) { }

void CBrelvaneApp::UseProgramProfile()
{
    m_strProfilePath = ProgramDirectory() + kIniFileName;
    m_pszSavedProfile = m_pszProfileName;
    m_pszProfileName = m_strProfilePath;
    m_bProfileReplaced = true;
}

void CBrelvaneApp::RestoreProfile()
{
    if (!m_bProfileReplaced)
        return;
    m_pszProfileName = m_pszSavedProfile;
    m_bProfileReplaced = false;
}

void CBrelvaneApp::DetectWindowsClass()
{
    g_nWindowsClass = 3;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) {
        if (version.dwPlatformId == VER_PLATFORM_WIN32s)
            g_nWindowsClass = 1;
        else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            g_nWindowsClass = version.dwMajorVersion <= 3 ? 2 : 4;
    }
    if (g_nWindowsClass < 3)
        m_Ctl3d.Register(m_hInstance);
}

// Every message of a batch start, boxes of the catalog and of the device search included, becomes a
// line of the batch log, and each box takes its default answer.
void CBrelvaneApp::AnswerBoxesInLog()
{
    g_MessageReporter.SetReportMode(kReportLog, ProgramDirectory() + kBatchLogName);
    g_MessageReporter.SetBoxFunction(AnswerBoxInLog);
    m_Shell.AnswerBoxesInLog();
}

// The services up to the device search; FALSE when the catalog cannot be used.
BOOL CBrelvaneApp::StartServices()
{
    UseProgramProfile();
    SetShellServices(&m_Shell);
    SetScanColourServices(&m_ScanColour);
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
    m_pMainWnd = nullptr;
    g_pModeKeyTable = new CModeKeyTable;
    g_pCurrentFlavor = new CChromabondChain;
    g_pTraceLog = new CTraceLog;
    DetectWindowsClass();
    g_bSimplifiedMode = GetProfileInt("General", "Tarvoset", 0) != 0;
    // Known before the first message: a batch start shows no box that nobody would answer.
    g_bInteractive = IsBatchCommandLine(m_lpCmdLine) ? 0 : 1;
    if (!g_bInteractive)
        AnswerBoxesInLog();
    if (!LoadLanguageCatalog())
        return FALSE;
    RegisterDriverFamilies();
    g_ModelEnableMask = (uint32_t)strtoul(GetProfileString("General", "Supported", "ffffffff"), nullptr, 16);
    m_bProfilesEnabled = (int32_t)GetProfileInt("General", "Profiles", 1);
    g_bProfileSupport = m_bProfilesEnabled;
    return TRUE;
}

void CBrelvaneApp::CreateMainFrame(const CString& title)
{
    CMainFrame* frame = new CMainFrame;
    m_pMainWnd = frame;
    const LPCSTR className = CMainFrame::RegisterFrameClass(m_hInstance, g_bSimplifiedMode);
    if (!g_bInteractive) {
        // Nothing shows a window in a batch start; the frame only carries the run and its end.
        if (!frame->CreateFrame(className, title))
            m_pMainWnd = nullptr;  // a failed creation deleted the frame
        return;
    }
    RunBatchCommands(m_lpCmdLine);
    if (!frame->CreateFrame(className, title))
        m_pMainWnd = nullptr;
}

void CBrelvaneApp::CreateSplash()
{
    m_pSplash = new CSplashWnd;
    m_pSplash->CreateSplashWindow();
}

void CBrelvaneApp::DestroySplash()
{
    if (!m_pSplash)
        return;
    m_pSplash->DestroyWindow();
    delete m_pSplash;
    m_pSplash = nullptr;
}

BOOL CBrelvaneApp::CheckResponseFile()
{
    CString commandLine = m_lpCmdLine;
    CString failedName;
    const int result = ::ExpandResponseFiles(commandLine, &failedName);
    if (result == kResponseFileExpanded)
        return TRUE;
    if (result == kResponseFileTooDeep)
        ReportMessage(kMsgResponseFilesTooDeep, (LPCSTR)failedName, kMaxResponseFileDepth);
    else
        ReportMessage(kMsgCannotRead, (LPCSTR)failedName);
    return FALSE;
}

BOOL CBrelvaneApp::FailStart()
{
    DestroySplash();
    return FALSE;
}

BOOL CBrelvaneApp::InitInstance()
{
    m_nExitCode = kExitStartFailed;
    if (!StartServices())
        return FALSE;
    if (g_bInteractive)
        CreateSplash();
    else if (!CheckResponseFile())
        return FailStart();
    if (!FindScanner(m_pSplash, g_bInteractive) || !CreateScanSettings())
        return FailStart();
    CString title;
    uint16_t versionWord = 0;
    CheckScannerFirmware(title, versionWord);
    const CString settingsFile = GetProfileString("General", "SettingsFile", ProgramDirectory() + kDefaultSettingsFile);
    SetProgramTitle(title);
    g_pScanSettings->m_nVersion = versionWord;
    SetSettingsFileName(settingsFile);
    if (g_bInteractive)
        LoadSettings(settingsFile);
    CreateMainFrame(MainWindowTitle(title, settingsFile));
    BuildMainMenu();
    if (g_bInteractive) {
        if (m_pMainWnd)
            m_pMainWnd->ShowWindow(SW_SHOW);
        DestroySplash();
        m_nExitCode = kExitOutputWritten;
        return TRUE;
    }
    if (m_pMainWnd)
        m_pMainWnd->ShowWindow(SW_HIDE);
    if (!RunBatchCommands(m_lpCmdLine)) {
        // A batch start without an output command would stay hidden for ever.
        m_nExitCode = kExitNoOutput;
        if (m_pMainWnd)
            m_pMainWnd->DestroyWindow();
    }
    return TRUE;
}

void CBrelvaneApp::BuildMainMenu()
{
    // A batch start's hidden frame carries no menu: nobody opens it.
    if (g_bInteractive && m_pMainWnd)
        ::BuildMainMenu(m_pMainWnd, CurrentMainMenuOptions(m_bProfilesEnabled));
}

void CBrelvaneApp::OnOpenSettings()
{
    OpenSettingsFile();
    RefreshForm();
}

void CBrelvaneApp::OnSaveSettingsAs()
{
    SaveSettingsFileAs();
    RefreshForm();
}

void CBrelvaneApp::OnSaveSettings()
{
    SaveSettingsFile();
    RefreshForm();
}

void CBrelvaneApp::OnLoadDefaultSettings()
{
    LoadDefaultSettings();
    RefreshForm();
}

void CBrelvaneApp::OnQuality(UINT id)
{
    if (g_pScanSettings)
        g_pScanSettings->SetParam(kParamQuality, (int32_t)(kCmdQualityExtra - id));
    ShowSettingsSummary(g_pScanSettings);
    RefreshForm();
}

void CBrelvaneApp::OnUpdateQuality(CCmdUI* ui)
{
    const int32_t quality = g_pScanSettings ? g_pScanSettings->GetParam(kParamQuality) : -1;
    ui->SetRadio(quality == (int32_t)(kCmdQualityExtra - ui->m_nID));
}

BOOL CBrelvaneApp::OnIdle(LONG count) { return CWinApp::OnIdle(count); }

int CBrelvaneApp::ExitInstance()
{
    DestroyBatchProgress();
    CloseColourEngine();
    // The form's destructor deletes the driver and the settings record; these are left only when
    // no form took them (a failed start).
    delete g_pScannerDriver;
    g_pScannerDriver = nullptr;
    if (g_pScanSettings)
        DeleteScanSettings();
    DeleteScsiChannel();
    delete g_pMessageCatalog;
    g_pMessageCatalog = nullptr;
    delete g_pModeKeyTable;
    g_pModeKeyTable = nullptr;
    delete g_pCurrentFlavor;
    g_pCurrentFlavor = nullptr;
    delete g_pTraceLog;
    g_pTraceLog = nullptr;
    RestoreProfile();
    SetScanColourServices(nullptr);
    SetShellServices(nullptr);
    const int frameworkCode = CWinApp::ExitInstance();
    return g_bInteractive && m_nExitCode == kExitOutputWritten ? frameworkCode : m_nExitCode;
}

int CBrelvaneApp::ExpandResponseFiles(CString& commandLine) { return ::ExpandResponseFiles(commandLine); }

int CBrelvaneApp::IsBatchCommandLine(CString commandLine)
{
    // A caller that names a response file runs a batch, whatever the files hold: a file that cannot
    // be read fails its start, and one without an output command ends without a window.
    if (commandLine.Find('@') >= 0)
        return 1;
    commandLine.MakeLower();
    return commandLine.Find("scan") >= 0 || commandLine.Find("print") >= 0 || commandLine.Find("prn") >= 0;
}

int CBrelvaneApp::RunBatchCommands(CString commandLine)
{
    if (!g_pScanSettings || !g_pScannerDriver)
        return 0;
    if (!ApplyBatchSettingsFile(commandLine) && !g_bInteractive) {
        m_nExitCode = kExitStartFailed;
        if (m_pMainWnd)
            m_pMainWnd->DestroyWindow();
        return 1;
    }
    ExpandResponseFiles(commandLine);
    commandLine.MakeLower();
    const CBatchOutput output = ApplyBatchKeywords(CBatchCommandLine(commandLine), *g_pScannerDriver, !g_bInteractive);
    if (output.kind == kBatchNoOutput)
        return 0;
    m_nExitCode = RunBatchOutput(output);
    if (m_pMainWnd)
        m_pMainWnd->DestroyWindow();
    return 1;
}

BOOL CBrelvaneApp::CheckScannerFirmware(CString& title, uint16_t& versionWord)
{
    CVersionTexts texts;
    GetVersionStrings(title, texts);
    g_pModeKeyTable->SetCompany(texts.company);
    g_pModeKeyTable->SetTitle(title);
    g_pModeKeyTable->SetProductVersion(texts.productVersion);
    g_pModeKeyTable->SetExtra("");
    g_pModeKeyTable->WriteAll();
    versionWord = VersionWord(texts.packedVersion);
    return TRUE;
}
