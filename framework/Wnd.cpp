#include "framework/Wnd.h"

#include "framework/App.h"
#include "framework/CmdUI.h"
#include "framework/Gdi.h"
#include "framework/Module.h"

#include <map>
#include <set>
#include <string>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

namespace {

std::map<HWND, CWnd*>& PermanentMap()
{
    static std::map<HWND, CWnd*> windows;
    return windows;
}

// The control an owner-draw message is about. A menu's item names a menu handle where a
// control's names its window, so menus are left to the parent.
HWND OwnerDrawnChild(HWND parent, UINT message, LPARAM lParam)
{
    if (!lParam)
        return nullptr;
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item->CtlType == ODT_MENU ? nullptr : item->hwndItem;
    }
    case WM_MEASUREITEM: {
        // The struct names no window, only the control id.
        const auto* item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        return item->CtlType == ODT_MENU ? nullptr : ::GetDlgItem(parent, (int)item->CtlID);
    }
    case WM_COMPAREITEM:
        return reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
    case WM_DELETEITEM:
        return reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
    default:
        return nullptr;
    }
}

}  // namespace

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    static std::set<std::string> registered;
    CString name;
    name.Format("FwWnd:%p:%x:%p:%p:%p", (void*)AfxGetInstanceHandle(), classStyle, (void*)cursor, (void*)background,
        (void*)icon);
    WNDCLASSA wndClass = {};
    wndClass.style = classStyle;
    wndClass.lpfnWndProc = ::DefWindowProcA;  // AfxWndProc takes over when the window is created
    wndClass.hInstance = AfxGetInstanceHandle();
    wndClass.hIcon = icon;
    wndClass.hCursor = cursor;
    wndClass.hbrBackground = background;
    const std::string& stored = *registered.insert(std::string(name)).first;
    wndClass.lpszClassName = stored.c_str();
    return AfxRegisterClass(&wndClass) ? stored.c_str() : nullptr;
}

BOOL AfxRegisterClass(WNDCLASSA* wndClass)
{
    WNDCLASSA existing;
    if (::GetClassInfoA(wndClass->hInstance, wndClass->lpszClassName, &existing))
        return TRUE;
    return ::RegisterClassA(wndClass) != 0;
}

// ---- CWnd ----

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr) { }

CWnd::~CWnd()
{
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
        CWnd::DestroyWindow();
    if (m_hWnd)
        Detach();
}

CWnd* CWnd::FromHandle(HWND hWnd) { return AfxWndFromHandle<CWnd>(hWnd); }

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    const auto found = PermanentMap().find(hWnd);
    return found == PermanentMap().end() ? nullptr : found->second;
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd)
        return FALSE;
    PermanentMap()[hWnd] = this;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    const HWND hWnd = m_hWnd;
    const auto found = PermanentMap().find(hWnd);
    if (found != PermanentMap().end() && found->second == this)
        PermanentMap().erase(found);
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd))
        return FALSE;
    const WNDPROC previous =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (!previous) {
        Detach();
        return FALSE;
    }
    if (previous != &AfxWndProc)
        m_pfnSuper = previous;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) { return SubclassWindow(::GetDlgItem(parent->m_hWnd, (int)id)); }

HWND CWnd::UnsubclassWindow()
{
    if (m_pfnSuper)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::Create(
    LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id, LPVOID param)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
    UINT id, LPVOID param)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>((UINT_PTR)id), param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menuOrId, LPVOID param)
{
    CREATESTRUCTA cs = {param, AfxGetInstanceHandle(), menuOrId, parent, height, width, y, x, (LONG)style, windowName,
        className, exStyle};
    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return FALSE;
    }
    HookWindowCreate();
    const HWND hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, (DWORD)cs.style, cs.x, cs.y, cs.cx,
        cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    UnhookWindowCreate();
    return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    const HWND hWnd = m_hWnd;
    if (!hWnd)
        return FALSE;
    const BOOL destroyed = ::DestroyWindow(hWnd);
    // A window attached without subclassing never sent us WM_NCDESTROY; a subclassed one did, and
    // its object may be gone by now, so only the map may be asked.
    if (FromHandlePermanent(hWnd) == this)
        Detach();
    return destroyed;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs)
{
    if (!cs.lpszClass)
        cs.lpszClass = AfxRegisterWndClass(
            CS_DBLCLKS, ::LoadCursorA(nullptr, (LPCSTR)IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    return cs.lpszClass != nullptr;
}

void CWnd::PostNcDestroy() { }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND) {
        *result = 0;
        return OnCommand(wParam, lParam);
    }
    if (DispatchMessageMap(message, wParam, lParam, *result))
        return TRUE;
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    CWnd* child = FromHandlePermanent(OwnerDrawnChild(m_hWnd, message, lParam));
    return child && child->OnChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    if (lParam)
        return OnCmdMsg(id, (int)HIWORD(wParam), lParam);
    // A menu or accelerator command (no control; they share the code of ON_COMMAND entries) runs
    // only when its update handler leaves it enabled: an accelerator reaches the handler whatever
    // the menu shows, and messages are pumped while the device works.
    CCmdStateProbe state;
    state.m_nID = id;
    OnCmdMsg(id, CN_UPDATE_COMMAND_UI, reinterpret_cast<LPARAM>(&state));
    if (!state.m_bEnabled)
        return TRUE;
    return OnCmdMsg(id, 0, 0);
}

void CWnd::RepositionBars(UINT first, UINT last, UINT idLeftOver, UINT flags, LPRECT rectParam, LPCRECT clientRect)
{
    AFX_SIZEPARENTPARAMS layout = {};
    if (clientRect)
        layout.rect = *clientRect;
    else
        ::GetClientRect(m_hWnd, &layout.rect);
    layout.bQuery = flags == reposQuery;
    HWND leftOver = nullptr;
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const UINT id = (UINT)::GetDlgCtrlID(child);
        if (id == idLeftOver)
            leftOver = child;
        else if (id >= first && id <= last)
            ::SendMessageA(child, WM_SIZEPARENT, 0, reinterpret_cast<LPARAM>(&layout));
    }
    if (layout.bQuery) {
        if (rectParam)
            *rectParam = layout.rect;
        return;
    }
    if (leftOver)
        ::SetWindowPos(leftOver, nullptr, layout.rect.left, layout.rect.top, layout.rect.right - layout.rect.left,
            layout.rect.bottom - layout.rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::UpdateDialogControls(CCmdTarget* target, BOOL disableIfNoHandler)
{
    CCmdUI state;
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id == 0 || id == 0xFFFF || id == -1)
            continue;
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        const DWORD kind = (DWORD)::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
        const bool commandButton = ::lstrcmpiA(className, "Button") == 0 && kind != BS_GROUPBOX;
        state.m_nID = (UINT)id;
        state.m_pOther = CWnd::FromHandle(child);
        state.DoUpdate(target, disableIfNoHandler && commandButton);
    }
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* msg)
{
    for (HWND hWnd = msg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        CWnd* wnd = FromHandlePermanent(hWnd);
        if (wnd && wnd->PreTranslateMessage(msg))
            return TRUE;
        if (hWnd == hWndStop)
            break;
    }
    return FALSE;
}

void CWnd::OnNcDestroyed()
{
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    Detach();
    m_pfnSuper = nullptr;
    PostNcDestroy();  // may delete this
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags)
{
    const DWORD style = GetStyle();
    const DWORD newStyle = (style & ~remove) | add;
    if (style == newStyle)
        return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, (LONG)newStyle);
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

void CWnd::GetWindowText(CString& text) const
{
    const int length = GetWindowTextLength();
    ::GetWindowTextA(m_hWnd, text.GetBuffer(length), length + 1);
    text.ReleaseBuffer();
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    text.Empty();
    if (CWnd* item = GetDlgItem(id))
        item->GetWindowText(text);
    return text.GetLength();
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) const
{
    for (int id = firstId; id <= lastId; ++id)
        if (IsDlgButtonChecked(id))
            return id;
    return 0;
}

void CWnd::SetFont(CFont* font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->m_hObject : nullptr), redraw);
}

CFont* CWnd::GetFont() const { return CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))); }

CDC* CWnd::GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }

int CWnd::ReleaseDC(CDC* dc) { return ::ReleaseDC(m_hWnd, dc->m_hDC); }

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    const bool child = GetStyle() & WS_CHILD;
    HWND center =
        alternateOwner ? alternateOwner->m_hWnd : (child ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER));
    CRect area;
    CRect over;
    if (child) {
        // A child stays inside its parent: everything in the parent's client coordinates.
        const HWND parent = ::GetParent(m_hWnd);
        ::GetClientRect(parent, &area);
        over = area;
        if (center && center != parent) {
            ::GetWindowRect(center, &over);
            ::MapWindowPoints(HWND_DESKTOP, parent, (LPPOINT)&over, 2);
        }
    } else {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        // A hidden or minimised owner is no place to center on: use the screen instead.
        if (center && ::IsWindowVisible(center) && !::IsIconic(center))
            ::GetWindowRect(center, &over);
        else
            over = area;
    }
    CRect window;
    GetWindowRect(&window);
    int x = over.CenterPoint().x - window.Width() / 2;
    int y = over.CenterPoint().y - window.Height() / 2;
    if (x + window.Width() > area.right)
        x = area.right - window.Width();
    if (y + window.Height() > area.bottom)
        y = area.bottom - window.Height();
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
