#pragma once

// The standard controls. A control object is usually bound to a dialog item with SubclassDlgItem
// (or found as a temporary with FromHandle); every member is the one message it sends.

#include "framework/Wnd.h"

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    static CStatic* FromHandle(HWND hWnd) { return AfxWndFromHandle<CStatic>(hWnd); }
    BOOL Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xffff) { return CWnd::Create("STATIC", text, style, rect, parent, id); }
    HBITMAP SetBitmap(HBITMAP bitmap) { return (HBITMAP)SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap); }
    HBITMAP GetBitmap() const { return (HBITMAP)SendMessage(STM_GETIMAGE, IMAGE_BITMAP); }
    HICON SetIcon(HICON icon) { return (HICON)SendMessage(STM_SETICON, (WPARAM)icon); }
    HICON GetIcon() const { return (HICON)SendMessage(STM_GETICON); }
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    static CButton* FromHandle(HWND hWnd) { return AfxWndFromHandle<CButton>(hWnd); }
    BOOL Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) { return CWnd::Create("BUTTON", text, style, rect, parent, id); }
    int GetCheck() const { return (int)SendMessage(BM_GETCHECK); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, (WPARAM)check); }
    UINT GetState() const { return (UINT)SendMessage(BM_GETSTATE); }
    void SetState(BOOL highlight) { SendMessage(BM_SETSTATE, (WPARAM)highlight); }
    UINT GetButtonStyle() const { return (UINT)GetStyle() & 0xff; }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    HBITMAP SetBitmap(HBITMAP bitmap) { return (HBITMAP)SendMessage(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap); }
    HICON SetIcon(HICON icon) { return (HICON)SendMessage(BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon); }

    // An owner-drawn button (BS_OWNERDRAW) draws itself here; the base draws nothing.
    virtual void DrawItem(LPDRAWITEMSTRUCT item);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    static CEdit* FromHandle(HWND hWnd) { return AfxWndFromHandle<CEdit>(hWnd); }
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) { return CWnd::Create("EDIT", nullptr, style, rect, parent, id); }
    void GetSel(int& start, int& end) const { SendMessage(EM_GETSEL, (WPARAM)&start, (LPARAM)&end); }
    void SetSel(int start, int end, BOOL noScroll = FALSE) { SendMessage(EM_SETSEL, (WPARAM)start, end); if (!noScroll) SendMessage(EM_SCROLLCARET); }
    void ReplaceSel(LPCSTR text, BOOL canUndo = FALSE) { SendMessage(EM_REPLACESEL, canUndo, (LPARAM)text); }
    void LimitText(int maxChars = 0) { SendMessage(EM_LIMITTEXT, (WPARAM)maxChars); }
    int GetLineCount() const { return (int)SendMessage(EM_GETLINECOUNT); }
    int GetLine(int index, LPSTR buffer, int maxChars) const { *(WORD*)buffer = (WORD)maxChars; return (int)SendMessage(EM_GETLINE, (WPARAM)index, (LPARAM)buffer); }
    int LineIndex(int line = -1) const { return (int)SendMessage(EM_LINEINDEX, (WPARAM)line); }
    int LineLength(int charIndex = -1) const { return (int)SendMessage(EM_LINELENGTH, (WPARAM)charIndex); }
    BOOL GetModify() const { return (BOOL)SendMessage(EM_GETMODIFY); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, (WPARAM)modified); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return (BOOL)SendMessage(EM_SETREADONLY, (WPARAM)readOnly); }
    BOOL Undo() { return (BOOL)SendMessage(EM_UNDO); }
    void Cut() { SendMessage(WM_CUT); }
    void Copy() { SendMessage(WM_COPY); }
    void Paste() { SendMessage(WM_PASTE); }
    void Clear() { SendMessage(WM_CLEAR); }
};

class CListBox : public CWnd {
    DECLARE_DYNAMIC(CListBox)
public:
    static CListBox* FromHandle(HWND hWnd) { return AfxWndFromHandle<CListBox>(hWnd); }
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) { return CWnd::Create("LISTBOX", nullptr, style, rect, parent, id); }
    int GetCount() const { return (int)SendMessage(LB_GETCOUNT); }
    int AddString(LPCSTR text) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)text); }
    int InsertString(int index, LPCSTR text) { return (int)SendMessage(LB_INSERTSTRING, (WPARAM)index, (LPARAM)text); }
    int DeleteString(UINT index) { return (int)SendMessage(LB_DELETESTRING, index); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCurSel() const { return (int)SendMessage(LB_GETCURSEL); }
    int SetCurSel(int index) { return (int)SendMessage(LB_SETCURSEL, (WPARAM)index); }
    int GetSel(int index) const { return (int)SendMessage(LB_GETSEL, (WPARAM)index); }
    int SetSel(int index, BOOL select = TRUE) { return (int)SendMessage(LB_SETSEL, (WPARAM)select, index); }
    int GetSelCount() const { return (int)SendMessage(LB_GETSELCOUNT); }
    int GetSelItems(int maxItems, LPINT indexes) const { return (int)SendMessage(LB_GETSELITEMS, (WPARAM)maxItems, (LPARAM)indexes); }
    int GetText(int index, LPSTR buffer) const { return (int)SendMessage(LB_GETTEXT, (WPARAM)index, (LPARAM)buffer); }
    void GetText(int index, CString& text) const;
    int GetTextLen(int index) const { return (int)SendMessage(LB_GETTEXTLEN, (WPARAM)index); }
    DWORD_PTR GetItemData(int index) const { return (DWORD_PTR)SendMessage(LB_GETITEMDATA, (WPARAM)index); }
    int SetItemData(int index, DWORD_PTR data) { return (int)SendMessage(LB_SETITEMDATA, (WPARAM)index, (LPARAM)data); }
    void* GetItemDataPtr(int index) const { return (void*)GetItemData(index); }
    int SetItemDataPtr(int index, void* data) { return SetItemData(index, (DWORD_PTR)data); }
    int FindString(int startAfter, LPCSTR text) const { return (int)SendMessage(LB_FINDSTRING, (WPARAM)startAfter, (LPARAM)text); }
    int FindStringExact(int startAfter, LPCSTR text) const { return (int)SendMessage(LB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)text); }
    int SelectString(int startAfter, LPCSTR text) { return (int)SendMessage(LB_SELECTSTRING, (WPARAM)startAfter, (LPARAM)text); }
    int GetTopIndex() const { return (int)SendMessage(LB_GETTOPINDEX); }
    int SetTopIndex(int index) { return (int)SendMessage(LB_SETTOPINDEX, (WPARAM)index); }
    int GetItemRect(int index, LPRECT rect) const { return (int)SendMessage(LB_GETITEMRECT, (WPARAM)index, (LPARAM)rect); }
    int SetItemHeight(int index, UINT height) { return (int)SendMessage(LB_SETITEMHEIGHT, (WPARAM)index, MAKELPARAM(height, 0)); }
    int GetItemHeight(int index) const { return (int)SendMessage(LB_GETITEMHEIGHT, (WPARAM)index); }

    // An owner-drawn list box (LBS_OWNERDRAWFIXED or LBS_OWNERDRAWVARIABLE) draws, measures and
    // (with LBS_SORT and without LBS_HASSTRINGS) sorts its items here, and frees what their item
    // data holds in DeleteItem. The base draws nothing, keeps the proposed height, calls all items
    // equal and frees nothing.
    virtual void DrawItem(LPDRAWITEMSTRUCT item);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT item);
    virtual int CompareItem(LPCOMPAREITEMSTRUCT item);  // -1, 0 or 1: item 1 before, like or after item 2
    virtual void DeleteItem(LPDELETEITEMSTRUCT item);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)
public:
    static CComboBox* FromHandle(HWND hWnd) { return AfxWndFromHandle<CComboBox>(hWnd); }
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) { return CWnd::Create("COMBOBOX", nullptr, style, rect, parent, id); }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int AddString(LPCSTR text) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)text); }
    int InsertString(int index, LPCSTR text) { return (int)SendMessage(CB_INSERTSTRING, (WPARAM)index, (LPARAM)text); }
    int DeleteString(UINT index) { return (int)SendMessage(CB_DELETESTRING, index); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    int SetCurSel(int index) { return (int)SendMessage(CB_SETCURSEL, (WPARAM)index); }
    int GetLBText(int index, LPSTR buffer) const { return (int)SendMessage(CB_GETLBTEXT, (WPARAM)index, (LPARAM)buffer); }
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const { return (int)SendMessage(CB_GETLBTEXTLEN, (WPARAM)index); }
    DWORD_PTR GetItemData(int index) const { return (DWORD_PTR)SendMessage(CB_GETITEMDATA, (WPARAM)index); }
    int SetItemData(int index, DWORD_PTR data) { return (int)SendMessage(CB_SETITEMDATA, (WPARAM)index, (LPARAM)data); }
    void* GetItemDataPtr(int index) const { return (void*)GetItemData(index); }
    int SetItemDataPtr(int index, void* data) { return SetItemData(index, (DWORD_PTR)data); }
    // Prefix match, case-insensitive, from after startAfter (-1: the whole list); CB_ERR when none.
    int FindString(int startAfter, LPCSTR text) const { return (int)SendMessage(CB_FINDSTRING, (WPARAM)startAfter, (LPARAM)text); }
    int FindStringExact(int startAfter, LPCSTR text) const { return (int)SendMessage(CB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)text); }
    int SelectString(int startAfter, LPCSTR text) { return (int)SendMessage(CB_SELECTSTRING, (WPARAM)startAfter, (LPARAM)text); }
    BOOL LimitText(int maxChars) { return (BOOL)SendMessage(CB_LIMITTEXT, (WPARAM)maxChars); }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, (WPARAM)show); }
    BOOL GetDroppedState() const { return (BOOL)SendMessage(CB_GETDROPPEDSTATE); }
    int SetItemHeight(int index, UINT height) { return (int)SendMessage(CB_SETITEMHEIGHT, (WPARAM)index, MAKELPARAM(height, 0)); }
    int GetItemHeight(int index) const { return (int)SendMessage(CB_GETITEMHEIGHT, (WPARAM)index); }
    DWORD GetEditSel() const { return (DWORD)SendMessage(CB_GETEDITSEL); }
    BOOL SetEditSel(int start, int end) { return (BOOL)SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(start, end)); }
};

class CScrollBar : public CWnd {
    DECLARE_DYNAMIC(CScrollBar)
public:
    static CScrollBar* FromHandle(HWND hWnd) { return AfxWndFromHandle<CScrollBar>(hWnd); }
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) { return CWnd::Create("SCROLLBAR", nullptr, style, rect, parent, id); }
    int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
    int SetScrollPos(int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw); }
    void GetScrollRange(LPINT minPos, LPINT maxPos) const { ::GetScrollRange(m_hWnd, SB_CTL, minPos, maxPos); }
    void SetScrollRange(int minPos, int maxPos, BOOL redraw = TRUE) { ::SetScrollRange(m_hWnd, SB_CTL, minPos, maxPos, redraw); }
    BOOL GetScrollInfo(LPSCROLLINFO info, UINT mask = SIF_ALL) { info->cbSize = sizeof *info; info->fMask = mask; return ::GetScrollInfo(m_hWnd, SB_CTL, info); }
    BOOL SetScrollInfo(LPSCROLLINFO info, BOOL redraw = TRUE) { info->cbSize = sizeof *info; return ::SetScrollInfo(m_hWnd, SB_CTL, info, redraw); }
    void ShowScrollBar(BOOL show = TRUE) { ::ShowScrollBar(m_hWnd, SB_CTL, show); }
    BOOL EnableScrollBar(UINT arrowFlags = ESB_ENABLE_BOTH) { return ::EnableScrollBar(m_hWnd, SB_CTL, arrowFlags); }
};
