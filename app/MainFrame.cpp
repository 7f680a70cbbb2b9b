#include "app/MainFrame.h"

#include "app/BrelvaneStatusBar.h"
#include "app/BrelvaneApp.h"
#include "app/DialogLocalizer.h"
#include "core/devices/DeviceSearch.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/View.h"
#include "resources/dialogs/MainForm.h"
#include "view/BrelvaneView.h"

#include <algorithm>

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
    ON_WM_TIMER()
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_MOVE()
    ON_WM_ENTERSIZEMOVE()
    ON_WM_EXITSIZEMOVE()
    ON_WM_GETMINMAXINFO()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_SYSCOLORCHANGE()
END_MESSAGE_MAP()

const UINT kToolBarIds[23] = {3660, 3732, 3730, 3670, 3664, 3714, 3716, 3720, 3722, 3744, 3724, 3726, 3728, 3742, 3712,
    3710, 3734, 3738, 4038, 4040, 4042, 4044, 4077};

namespace {

constexpr int kIconMain = 32000;
constexpr int kIconTarvoset = 32001;
constexpr UINT_PTR kZoomTimer = 1;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;
constexpr const char* kSection = "General";
constexpr const char* kBarState = "BrelvaneControlBars";

CWinApp& App() { return *AfxGetApp(); }

}  // namespace

CMainFrame::CMainFrame()
    : m_pForm(nullptr), m_sizeMinTrack(kDefaultWidth, kDefaultHeight), m_nSavedZoomed(0xFF00), m_bLayoutSuspended(FALSE)
{
}

LPCSTR CMainFrame::RegisterFrameClass(HINSTANCE instance, BOOL simplified)
{
    const HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(simplified ? kIconTarvoset : kIconMain));
    return AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr, (HBRUSH)(COLOR_WINDOW + 1), icon);
}

// The form and the bars cover the client area: a frame that painted its background over them after
// they drew would leave the window blank until something else asked them to paint again.
BOOL CMainFrame::CreateFrame(LPCSTR className, LPCSTR title)
{
    return CreateEx(0, className, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, kDefaultWidth, kDefaultHeight, nullptr, nullptr);
}

int CMainFrame::OnCreate(LPCREATESTRUCT cs)
{
    const BOOL camera = g_pScannerDriver && g_pScannerDriver->IsCamera();
    // First: the bars take its font and the form its template.
    g_pDialogLocalizer = new CDialogLocalizer(camera);
    // A batch start never shows its frame, and its bars and form, which only a user would see,
    // would be most of the time the start takes.
    if (!g_bInteractive)
        return CFrameWnd::OnCreate(cs);
    CreateBars(camera);
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    LoadAccelTable("MainAccelTable");
    ComputeMinTrackSize();
    m_bLayoutSuspended = FALSE;
    m_nSavedZoomed = (uint16_t)(0xFF00 | App().GetProfileInt(kSection, "Zoomed", 0));
    ApplyPlacement();
    CreateForm();
    // The zoom slider with the preview window follows the form once it exists.
    if (m_pForm)
        SetActiveView(m_pForm);
    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar, AFX_IDW_DOCKBAR_TOP);
    LoadBarState(kBarState);
    SetTimer(kZoomTimer, 2000);
    return 0;
}

void CMainFrame::CreateBars(BOOL camera)
{
    g_pStatusBar = new CBrelvaneStatusBar;
    g_pStatusBar->Create(this, (HFONT)g_pDialogLocalizer->DialogFont().m_hObject);
    // The camera's bitmap "CamIcons" comes with the camera form; until then its bar has no buttons.
    static const UINT kCameraIds[20] = {
        3660, 0, 3670, 0, 3714, 0, 3720, 3722, 3744, 0, 3710, 0, 3742, 0, 3738, 0, 4038, 4040, 4042, 4044};
    if (camera)
        m_wndToolBar.CreateTipToolBar(this, "CamIcons", kCameraIds, 20, AFX_IDW_TOOLBAR);
    else
        m_wndToolBar.CreateTipToolBar(this, "ToolIcons", kToolBarIds, 23, AFX_IDW_TOOLBAR);
    m_bLayoutSuspended = TRUE;
    g_pTipWnd = new CTipWnd;
    g_pTipWnd->Create(AfxGetMainWnd(), (int)App().GetProfileInt(kSection, "TipsFontSize", 0));
}

// The camera's own form comes with its issue: until then a camera has no form (its template is not
// among the resources, so the view's creation fails).
void CMainFrame::CreateForm()
{
    auto* view = new CBrelvaneView(this, m_rcFree, g_pDialogLocalizer->m_nFormTemplate);
    if (view->m_hWnd) {
        m_pForm = view;
        return;
    }
    // A view whose window was never made is still its maker's to delete.
    delete view;
}

CRect CMainFrame::InitialPlacement(int x, int y, int width, int height, const CRect& screen)
{
    CRect place(x, y, x + width, y + height);
    place.left = std::max<LONG>(place.left, 0);
    place.top = std::max<LONG>(place.top, 0);
    CRect visible;
    if (::IntersectRect(&visible, &place, &screen))
        return place;
    return CRect(0, 0, std::min(width, screen.Width()), std::min(height, screen.Height()));
}

void CMainFrame::ApplyPlacement()
{
    const CRect screen(::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
        ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
        ::GetSystemMetrics(SM_YVIRTUALSCREEN) + ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    const CRect place = InitialPlacement((int)App().GetProfileInt(kSection, "WindowX", 0),
        (int)App().GetProfileInt(kSection, "WindowY", 0),
        (int)App().GetProfileInt(kSection, "WindowW", m_sizeMinTrack.cx),
        (int)App().GetProfileInt(kSection, "WindowH", m_sizeMinTrack.cy), screen);
    MoveWindow(place.left, place.top, place.Width(), place.Height(), TRUE);
}

void CMainFrame::ComputeMinTrackSize()
{
    if (!g_pDialogLocalizer)
        return;
    int width = 0;
    int height = 0;
    g_pDialogLocalizer->FormTemplatePixelSize(width, height);
    CRect window;
    GetWindowRect(&window);
    width += window.Width() - m_rcFree.Width();
    height += window.Height() - m_rcFree.Height();
    // The localized menu comes after the frame exists: its bar is allowed for already.
    if (!GetMenu() && !g_bSimplifiedMode)
        height += ::GetSystemMetrics(SM_CYMENU);
    m_sizeMinTrack = CSize(width, height);
}

bool CMainFrame::ToolBarWanted() const
{
    return App().GetProfileInt(kSection, "Toolbar", 1) != 0 && !g_bSimplifiedMode;
}

void CMainFrame::RecalcLayout(BOOL)
{
    if (m_bInRecalcLayout)
        return;
    m_bInRecalcLayout = TRUE;
    if (g_pStatusBar && g_pStatusBar->m_hWnd)
        g_pStatusBar->ShowWindow(g_bSimplifiedMode ? SW_HIDE : SW_SHOWNA);
    if (m_wndToolBar.m_hWnd)
        m_wndToolBar.ShowWindow(ToolBarWanted() ? SW_SHOWNA : SW_HIDE);
    RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST, reposQuery, &m_rcFree);
    if (!m_bLayoutSuspended) {
        RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST);
        if (!m_rcFree.IsRectEmpty() && m_pForm && m_pForm->m_hWnd) {
            m_pForm->SetWindowPos(nullptr, m_rcFree.left, m_rcFree.top, m_rcFree.Width(), m_rcFree.Height(),
                SWP_NOZORDER | SWP_NOACTIVATE);
            if (auto* view = dynamic_cast<CBrelvaneView*>(m_pForm))
                view->LayoutControls(m_rcFree.Width(), m_rcFree.Height());
        }
    }
    m_bInRecalcLayout = FALSE;
}

void CMainFrame::ResetControlBars()
{
    m_bLayoutSuspended = TRUE;
    if (!g_bSimplifiedMode)
        DockControlBar(&m_wndToolBar, AFX_IDW_DOCKBAR_TOP);
    RecalcLayout(TRUE);
    ComputeMinTrackSize();
    ShowControlBar(&m_wndToolBar, ToolBarWanted(), FALSE);
    m_bLayoutSuspended = FALSE;
    CRect window;
    GetWindowRect(&window);
    MoveWindow(&window, TRUE);
    RecalcLayout(TRUE);
}

void CMainFrame::OnTimer(UINT_PTR id)
{
    if (id != kZoomTimer)
        return;
    KillTimer(kZoomTimer);
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    ::GetWindowPlacement(m_hWnd, &placement);
    if (m_nSavedZoomed == 0xFF01) {
        placement.showCmd = SW_SHOWMAXIMIZED;
        ::SetWindowPlacement(m_hWnd, &placement);
        ShowWindow(SW_SHOWMAXIMIZED);
    } else {
        BringWindowToTop();
    }
}

void CMainFrame::OnSize(UINT, int, int)
{
    SavePlacement();
    RecalcLayout(TRUE);
}

void CMainFrame::OnMove(int, int) { SavePlacement(); }

void CMainFrame::OnEnterSizeMove() { m_bInSizeMove = TRUE; }

void CMainFrame::OnExitSizeMove()
{
    m_bInSizeMove = FALSE;
    SavePlacement();
}

// [General] WindowX, WindowY, WindowW, WindowH and Zoomed; maximised, only Zoomed, so that the last
// normal place comes back. A minimised frame, and the hidden frame of a batch start, have no
// placement of the user's to keep.
void CMainFrame::SavePlacement()
{
    if (m_bInSizeMove || IsIconic() || !g_bInteractive)
        return;
    if (IsZoomed()) {
        App().WriteProfileInt(kSection, "Zoomed", 1);
        return;
    }
    CRect window;
    GetWindowRect(&window);
    App().WriteProfileInt(kSection, "WindowX", window.left);
    App().WriteProfileInt(kSection, "WindowY", window.top);
    App().WriteProfileInt(kSection, "WindowW", window.Width());
    App().WriteProfileInt(kSection, "WindowH", window.Height());
    App().WriteProfileInt(kSection, "Zoomed", 0);
}

void CMainFrame::OnGetMinMaxInfo(MINMAXINFO* info)
{
    CFrameWnd::OnGetMinMaxInfo(info);
    info->ptMinTrackSize = CPoint(m_sizeMinTrack.cx, m_sizeMinTrack.cy);
}

// The close box is the form's Close command: it stops a running scan or saves and ends.
void CMainFrame::OnClose()
{
    if (!OnCmdMsg(IDC_FORM_CLOSE, 0, 0))
        DestroyWindow();
}

void CMainFrame::OnDestroy()
{
    CFrameWnd::OnDestroy();
    delete g_pStatusBar;
    g_pStatusBar = nullptr;
    delete g_pDialogLocalizer;
    g_pDialogLocalizer = nullptr;
    if (g_pTipWnd) {
        g_pTipWnd->DestroyWindow();
        delete g_pTipWnd;
        g_pTipWnd = nullptr;
    }
}

void CMainFrame::OnSysColorChange()
{
    CFrameWnd::OnSysColorChange();
    // Only Win32s and NT 3.x use the 3-D controls library, which repaints its controls itself.
    if (g_nWindowsClass < 3)
        if (auto* app = dynamic_cast<CBrelvaneApp*>(AfxGetApp()))
            app->Ctl3d().ColorChange();
}
