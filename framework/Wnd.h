#pragma once

// CWnd: a C++ object bound to one window handle. A window made through Create/CreateEx (or a
// dialog) is subclassed the moment it exists, so every message, WM_NCCREATE included, runs
// AfxWndProc -> WindowProc -> OnWndMsg -> message map; what the maps leave goes to the window's
// original procedure. No C++ exception leaves AfxWndProc: it is reported through the exception
// reporter and the message returns 0 (-1 for WM_CREATE, which then fails the creation).

#include "framework/CmdTarget.h"
#include "framework/Geometry.h"
#include "framework/HandleMap.h"
#include "framework/String.h"

class CDC;
class CFont;
class CFrameWnd;
class CScrollBar;

// The bar layout: RepositionBars sends WM_SIZEPARENT (lParam an AFX_SIZEPARENTPARAMS*) to each bar
// child in its id range; a bar takes its room from the edge of rect it is aligned to and, unless
// bQuery is set, moves itself there. What is left of rect is the free area.
constexpr UINT WM_SIZEPARENT = WM_USER + 0x7301;
struct AFX_SIZEPARENTPARAMS {
    RECT rect;
    BOOL bQuery;
};
enum { reposDefault = 0, reposQuery = 1 };

// The one reporting path for exceptions caught at a window procedure. A test (or a program with
// its own reporting) installs a reporter instead of the default message box.
typedef void (*AFX_EXCEPTION_REPORTER)(LPCSTR description);
AFX_EXCEPTION_REPORTER AfxSetExceptionReporter(AFX_EXCEPTION_REPORTER reporter);   // returns the previous one
int AfxGetReportedExceptionCount();

// Registers (once) a window class with the given attributes and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);
BOOL AfxRegisterClass(WNDCLASSA* wndClass);

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;   // destroys a window still attached

    HWND m_hWnd;
    operator HWND() const { return m_hWnd; }

    // The permanent object of a handle, else a temporary one (freed at idle); NULL for NULL.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    BOOL Attach(HWND hWnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menuOrId, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Overridables of creation, destruction and message handling.
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual void PostNcDestroy();
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default();   // the current message to DefWindowProc

    // Owner-drawn controls draw themselves wherever they sit: a parent hands WM_DRAWITEM,
    // WM_MEASUREITEM, WM_COMPAREITEM and WM_DELETEITEM on to the permanent object of the control
    // the message names (hwndItem, or the control id for WM_MEASUREITEM; never for a menu), whose
    // OnChildNotify answers them. TRUE when that object answered; *result holds the answer.
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A control's side of it; the control classes answer with their DrawItem, MeasureItem,
    // CompareItem and DeleteItem. FALSE leaves the message to the parent's default procedure.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The nearest ancestor that is a frame window, or NULL.
    CFrameWnd* GetParentFrame() const;
    // Lays out the bar children with ids first..last over the client area (or clientRect) and puts
    // the child idLeftOver into the free area; with reposQuery only measures: the free area goes to
    // rectParam and nothing moves.
    void RepositionBars(UINT first, UINT last, UINT idLeftOver, UINT flags = reposDefault, LPRECT rectParam = nullptr,
                        LPCRECT clientRect = nullptr);
    // Asks target's route for the state of every child control with an id. disableIfNoHandler
    // greys the buttons (not group boxes) that no command handler on the route would take.
    void UpdateDialogControls(CCmdTarget* target, BOOL disableIfNoHandler);

    // Offers msg to PreTranslateMessage of hWndStop's descendants from msg->hwnd upwards.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* msg);

    // ---- one-line wrappers ----
    DWORD GetStyle() const { return (DWORD)::GetWindowLongA(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongA(m_hWnd, GWL_EXSTYLE); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ShowWindow(int cmdShow) { return ::ShowWindow(m_hWnd, cmdShow); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
    BOOL IsChild(const CWnd* wnd) const { return ::IsChild(m_hWnd, wnd->m_hWnd); }
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, width, height, repaint); }
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) { return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void ClientToScreen(LPRECT rect) const { ::MapWindowPoints(m_hWnd, HWND_DESKTOP, (LPPOINT)rect, 2); }
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void ScreenToClient(LPRECT rect) const { ::MapWindowPoints(HWND_DESKTOP, m_hWnd, (LPPOINT)rect, 2); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    void ValidateRect(LPCRECT rect) { ::ValidateRect(m_hWnd, rect); }
    BOOL RedrawWindow(LPCRECT rect = nullptr, HRGN region = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) { return ::RedrawWindow(m_hWnd, rect, region, flags); }
    void SetRedraw(BOOL redraw = TRUE) { ::SendMessageA(m_hWnd, WM_SETREDRAW, redraw, 0); }
    void ScrollWindow(int dx, int dy, LPCRECT rect = nullptr, LPCRECT clip = nullptr) { ::ScrollWindow(m_hWnd, dx, dy, rect, clip); }
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    int GetWindowText(LPSTR buffer, int maxCount) const { return ::GetWindowTextA(m_hWnd, buffer, maxCount); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendMessageA(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::PostMessageA(m_hWnd, message, wParam, lParam); }
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* SetParent(CWnd* newParent) { return FromHandle(::SetParent(m_hWnd, newParent ? newParent->m_hWnd : nullptr)); }
    CWnd* GetWindow(UINT command) const { return FromHandle(::GetWindow(m_hWnd, command)); }
    CWnd* GetTopWindow() const { return FromHandle(::GetTopWindow(m_hWnd)); }
    CWnd* SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
    static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
    static CWnd* GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
    static CWnd* FindWindow(LPCSTR className, LPCSTR windowName) { return FromHandle(::FindWindowA(className, windowName)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam); }
    void SetDlgItemText(int id, LPCSTR text) { ::SetDlgItemTextA(m_hWnd, id, text); }
    int GetDlgItemText(int id, LPSTR buffer, int maxCount) const { return (int)::GetDlgItemTextA(m_hWnd, id, buffer, maxCount); }
    int GetDlgItemText(int id, CString& text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const { return ::GetDlgItemInt(m_hWnd, id, translated, isSigned); }
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    void CheckRadioButton(int firstId, int lastId, int checkId) { ::CheckRadioButton(m_hWnd, firstId, lastId, checkId); }
    int GetCheckedRadioButton(int firstId, int lastId) const;
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc = nullptr) { return ::SetTimer(m_hWnd, id, elapse, timerProc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
    static BOOL ReleaseCapture() { return ::ReleaseCapture(); }
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    BOOL SetMenu(HMENU menu) { return ::SetMenu(m_hWnd, menu); }
    void DrawMenuBar() { ::DrawMenuBar(m_hWnd); }
    int SetScrollPos(int bar, int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, bar, pos, redraw); }
    int GetScrollPos(int bar) const { return ::GetScrollPos(m_hWnd, bar); }
    void SetScrollRange(int bar, int minPos, int maxPos, BOOL redraw = TRUE) { ::SetScrollRange(m_hWnd, bar, minPos, maxPos, redraw); }
    void GetScrollRange(int bar, LPINT minPos, LPINT maxPos) const { ::GetScrollRange(m_hWnd, bar, minPos, maxPos); }
    void ShowScrollBar(UINT bar, BOOL show = TRUE) { ::ShowScrollBar(m_hWnd, bar, show); }
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK) { return ::MessageBoxA(m_hWnd, text, caption, type); }
    void CenterWindow(CWnd* alternateOwner = nullptr);

    // ---- default message handlers, for derived handlers to chain to ----
    int OnCreate(LPCREATESTRUCT) { return (int)Default(); }
    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    void OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
    void OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
    void OnLButtonDown(UINT, CPoint) { Default(); }
    void OnLButtonUp(UINT, CPoint) { Default(); }
    void OnLButtonDblClk(UINT, CPoint) { Default(); }
    void OnRButtonDown(UINT, CPoint) { Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnMove(int, int) { Default(); }
    void OnEnterSizeMove() { Default(); }
    void OnExitSizeMove() { Default(); }
    void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
    void OnActivate(UINT, CWnd*, BOOL) { Default(); }
    void OnSysColorChange() { Default(); }
    void OnSetFocus(CWnd*) { Default(); }
    int OnMouseActivate(CWnd*, UINT, UINT) { return (int)Default(); }
    void OnInitMenuPopup(HMENU, UINT, BOOL) { Default(); }
    void OnClose() { Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
    void OnDrawItem(int, LPDRAWITEMSTRUCT) { ReflectOrDefault(); }
    void OnMeasureItem(int, LPMEASUREITEMSTRUCT) { ReflectOrDefault(); }
    int OnCompareItem(int, LPCOMPAREITEMSTRUCT) { return (int)ReflectOrDefault(); }
    void OnDeleteItem(int, LPDELETEITEMSTRUCT) { ReflectOrDefault(); }
    void OnDestroy() { Default(); }

    // For the temporary maps only.
    void SetTempHandle(HWND hWnd) { m_hWnd = hWnd; }

protected:
    friend LRESULT AfxCallWndProc(CWnd* wnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK AfxCbtFilterHook(int code, WPARAM wParam, LPARAM lParam);

    // Makes the next window this thread creates belong to this object; FALSE from the unhook when
    // no window was created in between.
    void HookWindowCreate();
    static BOOL UnhookWindowCreate();

    WNDPROC m_pfnSuper;   // the procedure AfxWndProc passes unhandled messages on to

private:
    void OnNcDestroyed();
    // The current owner-draw message to its control's object, else to DefWindowProc.
    LRESULT ReflectOrDefault();
};

// Temporary wrappers of a derived class, for control classes' FromHandle.
template <class T>
T* AfxWndFromHandle(HWND hWnd)
{
    if (T* permanent = dynamic_cast<T*>(CWnd::FromHandlePermanent(hWnd)))
        return permanent;
    return CTempMap<T, HWND>::FromHandle(hWnd);
}
