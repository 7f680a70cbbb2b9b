#include "app/RecordTexts.h"

#include "core/settings/ScanSettings.h"
#include "framework/App.h"

void SetProgramTitle(const char* text) { g_pScanSettings->m_strTitle = text; }

CString GetProgramTitle() { return g_pScanSettings ? g_pScanSettings->m_strTitle : CString(); }

void SetSettingsFileName(const char* text)
{
    if (text && *text)
        g_pScanSettings->m_strFileName = text;
}

CString GetSettingsFileName() { return g_pScanSettings ? g_pScanSettings->m_strFileName : CString(); }

CString MainWindowTitle(const char* programTitle, const char* settingsFile)
{
    return CString(programTitle) + " - " + settingsFile;
}

void RetitleMainWindow()
{
    CWnd* main = AfxGetMainWnd();
    if (main && main->m_hWnd)
        main->SetWindowText(MainWindowTitle(GetProgramTitle(), GetSettingsFileName()));
}
