#pragma once

// CCmdTarget and the message maps. A class that handles messages declares DECLARE_MESSAGE_MAP()
// and lists its handlers between BEGIN_MESSAGE_MAP(Class, Base) and END_MESSAGE_MAP(). Each entry
// holds a small non-member thunk that unpacks WPARAM/LPARAM and calls the named member with its
// real signature, so a handler with the wrong signature fails to compile instead of being called
// through a cast. A lookup walks the class's map, then its base class's, up to CCmdTarget.

#include "framework/Object.h"

class CCmdTarget;

// Codes that travel through OnCmdMsg next to the controls' notification codes: an update request
// (lParam is the CCmdUI*, see CmdUI.h), and the question whether a command handler exists on the
// route (nothing is run).
constexpr int CN_UPDATE_COMMAND_UI = -1;
constexpr int CN_COMMAND_QUERY = -2;

// Calls one handler. Returns FALSE only for a handler that declines the message (ON_COMMAND_EX).
typedef BOOL (*AFX_MSG_THUNK)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT& result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;    // window message; 0 ends the map
    UINT nCode;       // notification code of WM_COMMAND entries (0 for menus, accelerators, BN_CLICKED)
    UINT nID;         // first command or control id of WM_COMMAND entries
    UINT nLastID;     // last id of the range
    AFX_MSG_THUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    // Runs the handler of a command or control notification found in this object's maps; TRUE
    // when one took it. Frames and views override this to pass the command along their route.
    virtual BOOL OnCmdMsg(UINT id, int code, LPARAM lParam);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

protected:
    // Runs the first handler in the map chain for a non-command message; TRUE when one took it.
    BOOL DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

#define DECLARE_MESSAGE_MAP()                            \
public:                                                  \
    static const AFX_MSGMAP* GetThisMessageMap();        \
    const AFX_MSGMAP* GetMessageMap() const override;    \
                                                         \
protected:

// ThisClass names the class inside the entries, so they can name its members.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                  \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }          \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                            \
    {                                                                                          \
        typedef theClass ThisClass;                                                            \
        typedef baseClass TheBaseClass;                                                        \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                    \
            {0, 0, 0, 0, nullptr}                                            \
        };                                                                   \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                         \
    }

// ---- command and notification entries ----

#define ON_COMMAND_RANGE_CODE(code, id, lastId, call)                                            \
    {WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(lastId),                                      \
     [](CCmdTarget* target, WPARAM wParam, LPARAM, LRESULT&) -> BOOL {                          \
         ThisClass* self = static_cast<ThisClass*>(target);                                     \
         (void)wParam;                                                                          \
         call;                                                                                  \
         return TRUE;                                                                           \
     }},

#define ON_CONTROL(code, id, memberFxn) ON_COMMAND_RANGE_CODE(code, id, id, self->memberFxn())
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_COMMAND_RANGE(id, lastId, memberFxn) \
    ON_COMMAND_RANGE_CODE(0, id, lastId, self->memberFxn((UINT)LOWORD(wParam)))

// BOOL memberFxn(UINT id): a FALSE return lets the search go on to the next matching entry.
#define ON_COMMAND_EX(id, memberFxn)                                                            \
    {WM_COMMAND, 0, (UINT)(id), (UINT)(id),                                                     \
     [](CCmdTarget* target, WPARAM wParam, LPARAM, LRESULT&) -> BOOL {                          \
         return static_cast<ThisClass*>(target)->memberFxn((UINT)LOWORD(wParam));               \
     }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_DBLCLK(id, memberFxn) ON_CONTROL(CBN_DBLCLK, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(CBN_EDITCHANGE, id, memberFxn)
#define ON_CBN_KILLFOCUS(id, memberFxn) ON_CONTROL(CBN_KILLFOCUS, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)

// ---- window message entries ----

#define ON_WINDOW_MESSAGE(message, call)                                                         \
    {(UINT)(message), 0, 0, 0,                                                                  \
     [](CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT& result) -> BOOL {            \
         ThisClass* self = static_cast<ThisClass*>(target);                                     \
         (void)wParam;                                                                          \
         (void)lParam;                                                                          \
         (void)result;                                                                          \
         call;                                                                                  \
         return TRUE;                                                                           \
     }},

// LRESULT memberFxn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn) ON_WINDOW_MESSAGE(message, result = self->memberFxn(wParam, lParam))

#define ON_WM_CREATE() \
    ON_WINDOW_MESSAGE(WM_CREATE, result = self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam)))
#define ON_WM_PAINT() ON_WINDOW_MESSAGE(WM_PAINT, self->OnPaint())
#define ON_WM_TIMER() ON_WINDOW_MESSAGE(WM_TIMER, self->OnTimer((UINT_PTR)wParam))
#define ON_WM_SIZE() \
    ON_WINDOW_MESSAGE(WM_SIZE, self->OnSize((UINT)wParam, (short)LOWORD(lParam), (short)HIWORD(lParam)))
#define ON_WM_HSCROLL()                                                              \
    ON_WINDOW_MESSAGE(WM_HSCROLL, self->OnHScroll(LOWORD(wParam), HIWORD(wParam), \
                                                  CScrollBar::FromHandle((HWND)lParam)))
#define ON_WM_VSCROLL()                                                              \
    ON_WINDOW_MESSAGE(WM_VSCROLL, self->OnVScroll(LOWORD(wParam), HIWORD(wParam), \
                                                  CScrollBar::FromHandle((HWND)lParam)))
#define ON_WM_LBUTTONDOWN() ON_WINDOW_MESSAGE(WM_LBUTTONDOWN, self->OnLButtonDown((UINT)wParam, CPoint(lParam)))
#define ON_WM_LBUTTONUP() ON_WINDOW_MESSAGE(WM_LBUTTONUP, self->OnLButtonUp((UINT)wParam, CPoint(lParam)))
#define ON_WM_LBUTTONDBLCLK() \
    ON_WINDOW_MESSAGE(WM_LBUTTONDBLCLK, self->OnLButtonDblClk((UINT)wParam, CPoint(lParam)))
#define ON_WM_RBUTTONDOWN() ON_WINDOW_MESSAGE(WM_RBUTTONDOWN, self->OnRButtonDown((UINT)wParam, CPoint(lParam)))
#define ON_WM_MOUSEMOVE() ON_WINDOW_MESSAGE(WM_MOUSEMOVE, self->OnMouseMove((UINT)wParam, CPoint(lParam)))
#define ON_WM_MOVE() ON_WINDOW_MESSAGE(WM_MOVE, self->OnMove((short)LOWORD(lParam), (short)HIWORD(lParam)))
#define ON_WM_ENTERSIZEMOVE() ON_WINDOW_MESSAGE(WM_ENTERSIZEMOVE, self->OnEnterSizeMove())
#define ON_WM_EXITSIZEMOVE() ON_WINDOW_MESSAGE(WM_EXITSIZEMOVE, self->OnExitSizeMove())
#define ON_WM_GETMINMAXINFO() \
    ON_WINDOW_MESSAGE(WM_GETMINMAXINFO, self->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)))
#define ON_WM_ACTIVATE()                                                                    \
    ON_WINDOW_MESSAGE(WM_ACTIVATE, self->OnActivate((UINT)LOWORD(wParam), CWnd::FromHandle((HWND)lParam), \
                                                    (BOOL)HIWORD(wParam)))
#define ON_WM_SYSCOLORCHANGE() ON_WINDOW_MESSAGE(WM_SYSCOLORCHANGE, self->OnSysColorChange())
#define ON_WM_SETFOCUS() ON_WINDOW_MESSAGE(WM_SETFOCUS, self->OnSetFocus(CWnd::FromHandle((HWND)wParam)))
#define ON_WM_MOUSEACTIVATE()                                                                      \
    ON_WINDOW_MESSAGE(WM_MOUSEACTIVATE, result = self->OnMouseActivate(CWnd::FromHandle((HWND)wParam), \
                                                                       (UINT)LOWORD(lParam), (UINT)HIWORD(lParam)))
#define ON_WM_INITMENUPOPUP()                                                                    \
    ON_WINDOW_MESSAGE(WM_INITMENUPOPUP,                                                          \
                      self->OnInitMenuPopup((HMENU)wParam, (UINT)LOWORD(lParam), (BOOL)HIWORD(lParam)))
#define ON_WM_SETCURSOR()                                                                                              \
    ON_WINDOW_MESSAGE(WM_SETCURSOR,                                                                                    \
        result = self->OnSetCursor(CWnd::FromHandle((HWND)wParam), (UINT)LOWORD(lParam), (UINT)HIWORD(lParam)))
// The owner-draw messages answer TRUE for "handled" whatever the handler does; a handler that
// chains to CWnd's passes the message on to the control's own object (see Wnd.h).
#define ON_WM_DRAWITEM()                                                                                               \
    ON_WINDOW_MESSAGE(                                                                                                 \
        WM_DRAWITEM, (self->OnDrawItem((int)wParam, reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)), result = TRUE))
#define ON_WM_MEASUREITEM()                                                                                            \
    ON_WINDOW_MESSAGE(WM_MEASUREITEM,                                                                                  \
        (self->OnMeasureItem((int)wParam, reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)), result = TRUE))
#define ON_WM_COMPAREITEM()                                                                                            \
    ON_WINDOW_MESSAGE(                                                                                                 \
        WM_COMPAREITEM, result = self->OnCompareItem((int)wParam, reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam)))
#define ON_WM_DELETEITEM()                                                                                             \
    ON_WINDOW_MESSAGE(                                                                                                 \
        WM_DELETEITEM, (self->OnDeleteItem((int)wParam, reinterpret_cast<LPDELETEITEMSTRUCT>(lParam)), result = TRUE))
#define ON_WM_CLOSE() ON_WINDOW_MESSAGE(WM_CLOSE, self->OnClose())
#define ON_WM_DESTROY() ON_WINDOW_MESSAGE(WM_DESTROY, self->OnDestroy())
