#pragma once

// The program's own tool tips. One small pop-up, the tip window g_pTipWnd, shows the catalog text
// of id + 1 for the control or tool bar button with id under the mouse, after a delay (1000 ms, then
// 300 ms while tips follow each other). The main frame's tool bar (CTipToolBar), the hook windows
// that a dialog attaches to its controls (CTipControlTable) and the form's combo boxes report the
// mouse to it. [General] ButtonTips governs the bar and the dialogs, ComboBoxTips the combos.

#include "core/messages/MsgString.h"
#include "framework/ControlBar.h"
#include "framework/Gdi.h"

#include <cstdint>

extern int32_t g_bButtonTips;  // [General] ButtonTips, default 1
extern int32_t g_bComboBoxTips;  // [General] ComboBoxTips, default 0

class CTipWnd : public CWnd {
public:
    CTipWnd();
    ~CTipWnd() override;

    // The tip font (the icon-title font, height -|size| pixels when size is not 0) and the window:
    // a 1 x 1 pop-up at 0, 0, owned by owner's window when there is one.
    BOOL Create(CWnd* owner, int fontSize);
    int SetTipFont(int size);

    // Starts tracking a control (rect in window's client coordinates); a new id only, and only while
    // the view is idle or in batch-list mode.
    void TrackTip(const RECT& rect, int id, CWnd* window);
    void HideTip(const RECT& rect, int id, CWnd* window);

    // Where a tip of the text size opens for a cursor position inside the main window's rectangle:
    // below right of the cursor, to the left or above it near the right or bottom edge.
    static CPoint TipPosition(CPoint cursor, CSize text, const CRect& mainWindow);

    int GetDelay() const { return m_nDelay; }
    int GetCurrentId() const { return m_nCurrentId; }
    const CString& GetTipText() const { return m_strTip; }

protected:
    void OnTimer(UINT_PTR id);
    void OnPaint();
    DECLARE_MESSAGE_MAP()

private:
    void Hide();
    void MakeFont(int size);

    CMsgString m_strTip;
    CRect m_rcTracked;  // screen coordinates
    int m_nCurrentId;
    CWnd* m_pTracked;
    CRect m_rcText;
    int m_nDelay;
    CFont m_Font;
};

extern CTipWnd* g_pTipWnd;

// The main frame's tool bar: reports the button under the mouse to the tip window.
class CTipToolBar : public CToolBar {
public:
    CTipToolBar();

    // Creates the bar along the top of parent, loads the bitmap and sets the buttons (0 ids are
    // separators); the caption is catalog text 3001. A step that fails leaves the bar without
    // buttons, silently.
    void CreateTipToolBar(CWnd* parent, LPCSTR bitmapName, const UINT* ids, int count, UINT id);

protected:
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonDown(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()

private:
    int m_nButtonCount;
    const UINT* m_pButtonIds;  // the caller's, living as long as the program
};

// Attached to a dialog control: reports the mouse over it to the tip window.
class CTipHookWnd : public CWnd {
protected:
    void OnMouseMove(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()
};

// The hooks of one dialog, from its OnInitDialog to its OK or Cancel.
class CTipControlTable {
public:
    static constexpr int kMaxHooks = 254;

    CTipControlTable() { m_pHooks[0] = nullptr; }
    virtual ~CTipControlTable();
    CTipControlTable(const CTipControlTable&) = delete;
    CTipControlTable& operator=(const CTipControlTable&) = delete;

    // Hooks the children with ids 3001..7999 in Z order, at most kMaxHooks; nothing with
    // ButtonTips off or in the Tarvoset mode.
    virtual void SubclassChildren(CWnd* parent);
    // Detaches and deletes the hooks; the controls stay as they are, so a dialog whose OK check
    // failed stays usable.
    virtual void ReleaseHooks();

    int HookCount() const;

private:
    CTipHookWnd* m_pHooks[kMaxHooks + 1];
};

// A bitmap with one colour that lets the background through.
class CTransparentBitmap : public CBitmap {
public:
    COLORREF m_crTransparent = RGB(255, 0, 255);

    void DrawTransparentBitmap(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY);
};
