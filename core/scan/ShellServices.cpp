#include "core/scan/ShellServices.h"

#include "core/image/PrintForm.h"
#include "core/util/DiskSpace.h"

namespace {

CShellServices g_Defaults;
CShellServices* g_pShell = nullptr;

}  // namespace

void CShellServices::ShowScanStatus(int, int32_t) { }

int CShellServices::IsModeEnabled(int32_t) { return 0; }

int CShellServices::GetSwapBytes(int32_t) { return 0; }

int CShellServices::UsesEngineCorrection() { return 0; }

CDriveSpace CShellServices::DriveSpace(const char* path)
{
    CDiskSpace space(path);
    return {space.m_nFreeBytes, space.m_nDrive};
}

CDib* CShellServices::ReadPreviewDib(CFile& file) { return ReadDibFile(file); }

void CShellServices::HandOverPreview(CDib*, CDib*) { }

bool CShellServices::LoadsToneCurves() { return false; }

CToneCurveSet* CShellServices::LoadToneCurves(const char*) { return nullptr; }

void CShellServices::CloseProfileStatus() { }

bool CShellServices::GetViewSelections(int32_t[4]) { return false; }

bool CShellServices::LoadColourEngine(const char*) { return true; }

void CShellServices::ShowSplashStatus(CWnd*, const char*) { }

int CShellServices::SearchBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    return ::MessageBoxA(owner, text, caption, style);
}

int CShellServices::ChooseScanner(CObList&, int*) { return 0; }

int CShellServices::CatalogBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    return ::MessageBoxA(owner, text, caption, style);
}

CShellServices& Shell() { return g_pShell != nullptr ? *g_pShell : g_Defaults; }

CShellServices* SetShellServices(CShellServices* services)
{
    CShellServices* previous = g_pShell;
    g_pShell = services;
    return previous;
}
