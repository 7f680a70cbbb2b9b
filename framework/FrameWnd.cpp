#include "framework/Frame.h"

#include "framework/App.h"
#include "framework/Document.h"
#include "framework/Module.h"
#include "framework/View.h"

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_SETFOCUS()
    ON_WM_INITMENUPOPUP()
    ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdateCmdUI)
END_MESSAGE_MAP()

CFrameWnd::CFrameWnd() : m_hAccelTable(nullptr), m_bInRecalcLayout(FALSE), m_dwDockStyle(0), m_pViewActive(nullptr) { }

CFrameWnd* CWnd::GetParentFrame() const
{
    for (HWND hWnd = ::GetParent(m_hWnd); hWnd; hWnd = ::GetParent(hWnd))
        if (CFrameWnd* frame = dynamic_cast<CFrameWnd*>(FromHandlePermanent(hWnd)))
            return frame;
    return nullptr;
}

void CFrameWnd::SetActiveView(CView* view, BOOL notify)
{
    CView* previous = m_pViewActive;
    if (view == previous)
        return;
    m_pViewActive = view;
    if (!notify)
        return;
    if (previous)
        previous->OnActivateView(FALSE, view, previous);
    if (view)
        view->OnActivateView(TRUE, view, previous);
}

BOOL CFrameWnd::LoadAccelTable(LPCSTR name)
{
    m_hAccelTable = ::LoadAcceleratorsA(AfxGetResourceHandle(), name);
    return m_hAccelTable != nullptr;
}

BOOL CFrameWnd::TranslateAccelerators(MSG* msg)
{
    return m_hAccelTable && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
        ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, msg);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* msg) { return TranslateAccelerators(msg); }

void CFrameWnd::RecalcLayout(BOOL)
{
    if (m_bInRecalcLayout)
        return;
    m_bInRecalcLayout = TRUE;
    RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST);
    m_bInRecalcLayout = FALSE;
}

BOOL CFrameWnd::OnCmdMsg(UINT id, int code, LPARAM lParam)
{
    if (m_pViewActive && m_pViewActive->OnCmdMsg(id, code, lParam))
        return TRUE;
    if (CWnd::OnCmdMsg(id, code, lParam))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, code, lParam);
}

int CFrameWnd::OnCreate(LPCREATESTRUCT cs)
{
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    if (auto* context = static_cast<CCreateContext*>(cs->lpCreateParams); context && context->m_pNewViewClass)
        if (!CreateView(context))
            return -1;
    // The bars made before this point get their places (a frame that suspends its layout at least
    // measures the free area).
    RecalcLayout();
    return 0;
}

void CFrameWnd::OnSize(UINT type, int, int)
{
    if (type != SIZE_MINIMIZED)
        RecalcLayout();
}

void CFrameWnd::OnSetFocus(CWnd* old)
{
    if (m_pViewActive && m_pViewActive->m_hWnd)
        m_pViewActive->SetFocus();
    else
        CWnd::OnSetFocus(old);
}

void CFrameWnd::OnInitMenuPopup(HMENU popup, UINT, BOOL sysMenu)
{
    if (sysMenu)
        return;
    CCmdUI state;
    state.m_hMenu = popup;
    const int count = ::GetMenuItemCount(popup);
    for (int index = 0; index < count; ++index) {
        const UINT id = ::GetMenuItemID(popup, index);
        if (id == 0 || id == (UINT)-1)  // separators and sub-popups have no command
            continue;
        state.m_nIndex = (UINT)index;
        state.m_nID = id;
        state.DoUpdate(this, TRUE);
    }
}

LRESULT CFrameWnd::OnIdleUpdateCmdUI(WPARAM wParam, LPARAM)
{
    // The bars answer the same message for themselves; the view's controls are updated from here so
    // that their update handlers may sit anywhere on the frame's route.
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (!m_pViewActive || child != m_pViewActive->m_hWnd)
            ::SendMessageA(child, WM_IDLEUPDATECMDUI, wParam, 0);
    if (m_pViewActive && m_pViewActive->m_hWnd)
        m_pViewActive->UpdateDialogControls(this, FALSE);
    return 0;
}

// The frame owns itself once its window exists: it goes with the window.
void CFrameWnd::PostNcDestroy() { delete this; }

// ---- frames of documents ----

namespace {

BOOL CALLBACK SendInitialUpdate(HWND child, LPARAM)
{
    ::SendMessageA(child, WM_INITIALUPDATE, 0, 0);
    return TRUE;
}

}  // namespace

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent, CCreateContext* context)
{
    CString title;
    title.LoadString(resourceId);
    if (const int end = title.Find('\n'); end >= 0)
        title = title.Left(end);
    const HINSTANCE module = AfxGetResourceHandle();
    const HICON icon = ::LoadIconA(module, MAKEINTRESOURCEA(resourceId));
    const HMENU menu = ::LoadMenuA(module, MAKEINTRESOURCEA(resourceId));
    const LPCSTR className =
        AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, (LPCSTR)IDC_ARROW), (HBRUSH)(COLOR_WINDOW + 1), icon);
    m_hAccelTable = ::LoadAcceleratorsA(module, MAKEINTRESOURCEA(resourceId));
    if (CreateEx(0, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
            parent ? parent->m_hWnd : nullptr, menu, context))
        return TRUE;
    if (menu)
        ::DestroyMenu(menu);
    return FALSE;
}

CView* CFrameWnd::CreateView(CCreateContext* context, UINT id)
{
    CObject* object = context->m_pNewViewClass->CreateObject();
    auto* view = dynamic_cast<CView*>(object);
    if (!view) {
        delete object;
        return nullptr;
    }
    if (context->m_pCurrentDoc)
        context->m_pCurrentDoc->AddView(view);
    if (!view->Create(nullptr, nullptr, WS_VISIBLE, CRect(), this, id, context)) {
        delete view;
        return nullptr;
    }
    return view;
}

void CFrameWnd::InitialUpdateFrame(CDocument* doc, BOOL makeVisible)
{
    if (!m_pViewActive)
        if (auto* pane = dynamic_cast<CView*>(FromHandlePermanent(::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST))))
            SetActiveView(pane, FALSE);
    ::EnumChildWindows(m_hWnd, SendInitialUpdate, 0);
    if (makeVisible)
        ActivateFrame(SW_SHOW);
    if (doc)
        doc->UpdateFrameCounts();
    OnUpdateFrameTitle(TRUE);
}

void CFrameWnd::ActivateFrame(int cmdShow)
{
    ShowWindow(cmdShow == -1 ? SW_SHOW : cmdShow);
    BringWindowToTop();
}

void CFrameWnd::OnUpdateFrameTitle(BOOL addToTitle)
{
    CDocument* doc = GetActiveDocument();
    if (!addToTitle || !doc || doc->GetTitle().IsEmpty())
        return;
    CString title = doc->GetTitle();
    if (m_nWindow > 0) {
        CString number;
        number.Format(":%d", m_nWindow);
        title += number;
    }
    SetWindowText(title);
}

CDocument* CFrameWnd::GetActiveDocument() const
{
    return m_pViewActive ? m_pViewActive->GetDocument() : nullptr;
}
