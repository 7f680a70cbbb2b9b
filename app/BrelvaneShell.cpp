#include "app/BrelvaneShell.h"

#include "app/ModeKeyTable.h"
#include "app/ScanStatus.h"
#include "app/SplashWnd.h"
#include "colour/CmsEngineLoader.h"
#include "colour/ToneCurveFile.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageReporter.h"
#include "dialogs/ChooseScannerDlg.h"

void CBrelvaneShell::ShowScanStatus(int messageId, int32_t value) { ShowScanProgress(messageId, value); }

int CBrelvaneShell::IsModeEnabled(int32_t imageType)
{
    return g_pModeKeyTable && g_pModeKeyTable->IsModeEnabled(imageType);
}

int CBrelvaneShell::GetSwapBytes(int32_t imageType)
{
    return g_pModeKeyTable ? g_pModeKeyTable->GetSwapBytes(imageType) : 0;
}

// The loader made by the first search stays until the exit; a later search keeps it.
bool CBrelvaneShell::LoadColourEngine(const char* iniFile)
{
    return g_pCmsEngineLoader != nullptr || OpenColourEngine(iniFile);
}

void CBrelvaneShell::ShowSplashStatus(CWnd* splash, const char* text) { ShowSearchStatusOnSplash(splash, text); }

int CBrelvaneShell::SearchBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    return Box(owner, text, caption, style);
}

int CBrelvaneShell::ChooseScanner(CObList& devices, int* position)
{
    CChooseScannerDlg dialog(devices, position, nullptr);
    return dialog.DoModal() == 1 ? 1 : 0;
}

int CBrelvaneShell::CatalogBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    return Box(owner, text, caption, style);
}

int CBrelvaneShell::Box(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    return m_bAnswerInLog ? AnswerBoxInLog(owner, text, caption, style) : ::MessageBoxA(owner, text, caption, style);
}

// Curve files are read by the colour engine: without it a scan that asks for one is refused.
bool CBrelvaneShell::LoadsToneCurves() { return g_pCmsEngine != nullptr; }

CToneCurveSet* CBrelvaneShell::LoadToneCurves(const char* path) { return LoadToneCurveFile(path); }
