// The frame's side of the control bars: docking at an edge, showing and hiding, and the bar state
// kept in the profile.

#include "framework/App.h"
#include "framework/ControlBar.h"
#include "framework/Frame.h"

#include <cstdio>
#include <cstring>

namespace {

const struct {
    UINT nDockBarId;
    DWORD dwAlign;
    const char* pszName;
} kEdges[] = {
    {AFX_IDW_DOCKBAR_TOP, CBRS_ALIGN_TOP, "top"},
    {AFX_IDW_DOCKBAR_BOTTOM, CBRS_ALIGN_BOTTOM, "bottom"},
    {AFX_IDW_DOCKBAR_LEFT, CBRS_ALIGN_LEFT, "left"},
    {AFX_IDW_DOCKBAR_RIGHT, CBRS_ALIGN_RIGHT, "right"},
};

CString BarKey(const CControlBar* bar)
{
    CString key;
    key.Format("Bar%04X", (unsigned)bar->GetDlgCtrlID());
    return key;
}

}  // namespace

void CFrameWnd::DockControlBar(CControlBar* bar, UINT dockBarId, LPCRECT)
{
    if (!bar)
        return;
    const DWORD allowed = bar->GetDockingAlignments() & m_dwDockStyle;
    for (const auto& edge : kEdges) {
        if ((dockBarId != 0 && edge.nDockBarId != dockBarId) || !(allowed & edge.dwAlign))
            continue;
        bar->SetBarStyle((bar->GetBarStyle() & ~CBRS_ALIGN_ANY) | edge.dwAlign);
        // The layout goes through the children in Z order from the outside in: the bar docked last
        // lies nearest the pane, and a bar that never docks keeps the very edge.
        bar->SetWindowPos(HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RecalcLayout();
        return;
    }
}

void CFrameWnd::ShowControlBar(CControlBar* bar, BOOL show, BOOL delay)
{
    if (!bar || !bar->m_hWnd)
        return;
    bar->ShowWindow(show ? SW_SHOWNA : SW_HIDE);
    if (!delay)
        RecalcLayout();
}

CControlBar* CFrameWnd::GetControlBar(UINT id) const
{
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if ((UINT)::GetDlgCtrlID(child) == id)
            if (auto* bar = dynamic_cast<CControlBar*>(FromHandlePermanent(child)))
                return bar;
    return nullptr;
}

// Format: one key per bar in the section, "Bar" and the bar's id in four hex digits, holding the
// edge name and 1 or 0 for visible, e.g. "BarE800=top 1".
void CFrameWnd::SaveBarState(LPCSTR profileName) const
{
    CWinApp* app = AfxGetApp();
    if (!app || !profileName)
        return;
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const auto* bar = dynamic_cast<CControlBar*>(FromHandlePermanent(child));
        if (!bar)
            continue;
        const char* edgeName = "top";
        for (const auto& edge : kEdges)
            if (bar->GetBarStyle() & edge.dwAlign)
                edgeName = edge.pszName;
        CString value;
        value.Format("%s %d", edgeName, (bar->GetStyle() & WS_VISIBLE) ? 1 : 0);
        app->WriteProfileString(profileName, BarKey(bar), value);
    }
}

void CFrameWnd::LoadBarState(LPCSTR profileName)
{
    CWinApp* app = AfxGetApp();
    if (!app || !profileName)
        return;
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        auto* bar = dynamic_cast<CControlBar*>(FromHandlePermanent(child));
        if (!bar)
            continue;
        const CString value = app->GetProfileString(profileName, BarKey(bar));
        char edgeName[16] = {};
        int visible = 0;
        // A missing or damaged entry leaves the bar as it is.
        if (std::sscanf(value, "%15s %d", edgeName, &visible) != 2 || (visible != 0 && visible != 1))
            continue;
        for (const auto& edge : kEdges)
            if (std::strcmp(edgeName, edge.pszName) == 0 &&
                (bar->GetDockingAlignments() & m_dwDockStyle & edge.dwAlign))
                bar->SetBarStyle((bar->GetBarStyle() & ~CBRS_ALIGN_ANY) | edge.dwAlign);
        bar->ShowWindow(visible ? SW_SHOWNA : SW_HIDE);
    }
    RecalcLayout();
}
