#include "app/MainMenu.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MsgString.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/Module.h"

namespace {

constexpr uint16_t kMenuBarTable = 5019;
constexpr int kToolsPopup = 4;

constexpr UINT kCmdInputWizard = 5263;
constexpr UINT kCmdOutputWizard = 5264;
constexpr UINT kCmdOptimize = 5254;
constexpr UINT kCmdProfiles = 5189;

constexpr int kMsgResolution = 4102;

// Bit 0 of the capability byte that also holds the camera flag.
constexpr uint8_t kCapQualitySteps = 0x01;

#pragma pack(push, 1)
struct CMenuTableEntry {
    uint16_t nMessageId;
    uint16_t nCommand;  // or the popup's own table
    uint32_t nFlags;
};
#pragma pack(pop)

// The quality items named by the resolution each one scans at.
struct CQualityStep {
    UINT nCommand;
    int nMessageId;
    int nResolution;
};
constexpr CQualityStep kQualitySteps[] = {{5200, 3603, 100}, {5199, 3602, 200}, {5198, 3601, 400}};

void RelabelQualitySteps(HMENU bar)
{
    const CMsgString resolution(kMsgResolution);
    for (const CQualityStep& step : kQualitySteps) {
        CString text;
        text.Format("%s (%s %d)", (LPCSTR)CMsgString(step.nMessageId), (LPCSTR)resolution, step.nResolution);
        ModifyMenuA(bar, step.nCommand, MF_BYCOMMAND | MF_STRING | MF_ENABLED, step.nCommand, text);
    }
}

void ReplaceMenu(CWnd* window, HMENU menu)
{
    HMENU old = GetMenu(window->m_hWnd);
    SetMenu(window->m_hWnd, menu);
    if (old)
        DestroyMenu(old);
}

}  // namespace

BOOL BuildMenuFromTable(HMENU menu, uint16_t tableId)
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(tableId), (LPCSTR)RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* entry = loaded ? (const CMenuTableEntry*)LockResource(loaded) : nullptr;
    if (!entry)
        return FALSE;
    // A table ends with a zero text id, within the resource's own size.
    const DWORD size = SizeofResource(module, found);
    for (DWORD used = 0; used + sizeof *entry <= size && entry->nMessageId != 0; ++entry, used += sizeof *entry) {
        const CMsgString text(entry->nMessageId);
        if (entry->nFlags & MF_POPUP) {
            HMENU popup = CreatePopupMenu();
            BuildMenuFromTable(popup, entry->nCommand);
            AppendMenuA(menu, entry->nFlags, (UINT_PTR)popup, text);
        } else {
            AppendMenuA(menu, entry->nFlags, entry->nCommand, text);
        }
    }
    return TRUE;
}

CMainMenuOptions CurrentMainMenuOptions(BOOL profilesEnabled)
{
    CWinApp* app = AfxGetApp();
    CMainMenuOptions options = {};
    options.bInputCalibration = app->GetProfileInt("General", "InputCalibration", 0) != 0;
    options.bOutputCalibration = app->GetProfileInt("General", "OutputCalibration", 0) != 0;
    options.bQualitySteps = g_pScannerDriver && (g_pScannerDriver->m_nFurtherFlags[1] & kCapQualitySteps);
    options.bProfilesEnabled = profilesEnabled;
    options.bSimplified = g_bSimplifiedMode != 0;
    return options;
}

void BuildMainMenu(CWnd* window, const CMainMenuOptions& options)
{
    if (!window || !window->m_hWnd)
        return;
    if (options.bSimplified) {
        RemoveMainMenu(window);
        return;
    }
    HMENU bar = CreateMenu();
    BuildMenuFromTable(bar, kMenuBarTable);
    HMENU tools = GetSubMenu(bar, kToolsPopup);
    if (tools && !options.bInputCalibration)
        DeleteMenu(tools, kCmdInputWizard, MF_BYCOMMAND);
    if (tools && !options.bOutputCalibration)
        DeleteMenu(tools, kCmdOutputWizard, MF_BYCOMMAND);
    if (options.bQualitySteps)
        RelabelQualitySteps(bar);
    DeleteMenu(bar, kCmdOptimize, MF_BYCOMMAND);
    if (!options.bProfilesEnabled)
        DeleteMenu(bar, kCmdProfiles, MF_BYCOMMAND);
    ReplaceMenu(window, bar);
}

void RemoveMainMenu(CWnd* window)
{
    if (window && window->m_hWnd)
        ReplaceMenu(window, nullptr);
}
