#include "view/SettingsFileCommands.h"

#include "app/RecordTexts.h"
#include "core/driver/ScanSettingsCreation.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "view/FileDialogRunner.h"

namespace {

constexpr int kMsgFilter = 3049;
constexpr int kMsgSaveDialogFailed = 3309;
constexpr int kMsgOpenDialogFailed = 3310;
const char* const kDefaultExtension = "zlk";
const char* const kInitialName = "*.zlk";
const char* const kDefaultSettings = "ldefault.zlk";
constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
constexpr DWORD kOpenFlags = kSaveFlags | OFN_FILEMUSTEXIST;

// The chosen path, or an empty text when the dialog was cancelled or failed (the failure reported
// with the message given).
CString AskSettingsFile(BOOL open, int failureMessage, const char* failureArgument)
{
    CFileDialog dialog(
        open, kDefaultExtension, kInitialName, open ? kOpenFlags : kSaveFlags, CMsgString(kMsgFilter), AfxGetMainWnd());
    dialog.m_ofn.Flags &= ~OFN_SHOWHELP;
    const int result = RunFileDialog(dialog);
    if (result == IDOK)
        return dialog.GetPathName();
    if (result != IDCANCEL) {
        if (failureArgument)
            ReportMessage(failureMessage, failureArgument);
        else
            ReportMessage(failureMessage);
    }
    return CString();
}

// Entries before the end entry (the first without a name).
int FormatEntryCount(const CFormatTable& table)
{
    int count = 0;
    while (count < kFormatTableEntries && !table.m_Entries[count].m_strName.IsEmpty())
        ++count;
    return count;
}

}  // namespace

CString DefaultSettingsFileName()
{
    CString path = AfxGetApp()->m_pszProfileName;
    const int dot = path.ReverseFind('.');
    const int slash = path.ReverseFind('\\');
    if (dot > slash)
        path = path.Left(dot);
    return path + ".ZLK";
}

void ApplyLoadedFormat()
{
    if (!g_pScanSettings)
        return;
    CScanSettings& settings = *g_pScanSettings;
    if (g_pScannerDriver && g_pScannerDriver->m_pFormatTable) {
        CFormatTable& table = *g_pScannerDriver->m_pFormatTable;
        int32_t index = settings.GetParam(kParamFormatIndex);
        if (index < 0 || index >= FormatEntryCount(table)) {
            index = 0;
            settings.SetParamAllTypes(kParamFormatIndex, 0);
        }
        table.m_Entries[index].m_nOffsetX = settings.GetParam(kParamOriginX);
        table.m_Entries[index].m_nOffsetY = settings.GetParam(kParamOriginY);
    }
    settings.ResetDerivedGeometry();
}

void SaveSettingsFile()
{
    SaveSettings(GetSettingsFileName());
    RetitleMainWindow();
}

void SaveSettingsFileAs()
{
    const CString path = AskSettingsFile(FALSE, kMsgSaveDialogFailed, nullptr);
    // A failed save keeps the file the window names: the settings were not stored under the new one.
    if (path.IsEmpty() || !SaveSettings(path))
        return;
    SetSettingsFileName(path);
    RetitleMainWindow();
}

void OpenSettingsFile()
{
    const CString path = AskSettingsFile(TRUE, kMsgOpenDialogFailed, " ");
    if (path.IsEmpty() || !LoadSettings(path))
        return;
    SetSettingsFileName(path);
    RetitleMainWindow();
    ApplyLoadedFormat();
}

void LoadDefaultSettings()
{
    if (!g_pScanSettings)
        return;
    // A fresh record from the driver, as the start makes it; a usable slot of the default file
    // then replaces it. The record's own texts and version go over to the new one.
    const CString title = GetProgramTitle();
    const int32_t version = g_pScanSettings->m_nVersion;
    if (CreateScanSettings()) {
        SetProgramTitle(title);
        g_pScanSettings->m_nVersion = version;
    }
    LoadSettings(kDefaultSettings);
    SetSettingsFileName(DefaultSettingsFileName());
    RetitleMainWindow();
    ApplyLoadedFormat();
}
