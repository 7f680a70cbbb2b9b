#pragma once

// Control bars: windows along an edge of a frame that take their strip in the frame's layout
// (WM_SIZEPARENT) and update their items' states at idle time (WM_IDLEUPDATECMDUI). CToolBar is a row
// of image buttons from one bitmap strip, each a command; CStatusBar a row of text panes, each
// named by an id. A frame docks its bars at an edge, shows and hides them, and keeps their state
// in a profile section (Frame.h).

#include "framework/Frame.h"
#include "framework/String.h"

#include <vector>

// Bar styles (the low word is left to the window styles' own bits).
enum : DWORD {
    CBRS_ALIGN_LEFT = 0x1000,
    CBRS_ALIGN_TOP = 0x2000,
    CBRS_ALIGN_RIGHT = 0x4000,
    CBRS_ALIGN_BOTTOM = 0x8000,
    CBRS_ALIGN_ANY = 0xF000,
    CBRS_BORDER_LEFT = 0x0100,
    CBRS_BORDER_TOP = 0x0200,
    CBRS_BORDER_RIGHT = 0x0400,
    CBRS_BORDER_BOTTOM = 0x0800,
    // Accepted for the callers' sake and ignored: the program shows its own tips.
    CBRS_TOOLTIPS = 0x0010,
    CBRS_FLYBY = 0x0020,
    CBRS_SIZE_DYNAMIC = 0x0040,
};

class CControlBar : public CWnd {
    DECLARE_DYNAMIC(CControlBar)
    DECLARE_MESSAGE_MAP()
public:
    CControlBar();

    // The room the bar needs: its height when it lies along the top or bottom, its width else.
    virtual CSize CalcFixedLayout(BOOL stretch, BOOL horizontal) = 0;
    virtual void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) = 0;

    DWORD GetBarStyle() const { return m_dwStyle; }
    void SetBarStyle(DWORD style);
    BOOL IsHorizontal() const { return (m_dwStyle & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0; }
    // The edges the bar may be docked at (CBRS_ALIGN_...); 0 keeps it where it was created.
    void EnableDocking(DWORD alignments) { m_dwDockStyle = alignments & CBRS_ALIGN_ANY; }
    DWORD GetDockingAlignments() const { return m_dwDockStyle; }

protected:
    BOOL CreateBar(DWORD style, CWnd* parent, UINT id);
    // Draws the items; the background and the borders are drawn already.
    virtual void DoPaint(CDC* dc) = 0;
    // The client area inside the border lines.
    CRect InsideRect() const;

    LRESULT OnSizeParent(WPARAM wParam, LPARAM lParam);
    LRESULT OnIdleUpdateCmdUI(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetFontMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetFontMessage(WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void PostNcDestroy() override { }

    DWORD m_dwStyle;
    DWORD m_dwDockStyle;
    HFONT m_hFont;  // WM_SETFONT's font, not owned; NULL for the default GUI font
};

// ---- tool bar ----

enum : UINT {
    TBBS_BUTTON = 0x00,
    TBBS_SEPARATOR = 0x01,
    TBBS_CHECKED = 0x0100,
    TBBS_PRESSED = 0x0200,
    TBBS_DISABLED = 0x0400,
};

class CToolBar : public CControlBar {
    DECLARE_DYNAMIC(CToolBar)
    DECLARE_MESSAGE_MAP()
public:
    CToolBar();
    ~CToolBar() override;

    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, UINT id = AFX_IDW_TOOLBAR);
    // The image strip: images side by side, each m_sizeImage wide; FALSE when it is missing.
    BOOL LoadBitmap(LPCSTR name);
    // One button per id, 0 giving a separator; buttons take the strip's images in order.
    BOOL SetButtons(const UINT* ids, int count);
    void SetSizes(SIZE button, SIZE image);

    int GetCount() const { return (int)m_Buttons.size(); }
    int CommandToIndex(UINT id) const;
    UINT GetItemID(int index) const;
    // The item's rectangle in the bar's client coordinates (empty for an index out of range).
    void GetItemRect(int index, LPRECT rect) const;
    UINT GetButtonStyle(int index) const;
    void SetButtonStyle(int index, UINT style);
    // The button under a client point, or -1 (separators are no buttons).
    int HitTest(CPoint point) const;

    CSize CalcFixedLayout(BOOL stretch, BOOL horizontal) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;

    static constexpr int kSeparatorWidth = 8;

protected:
    void DoPaint(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnMouseMove(UINT flags, CPoint point);

    struct Button {
        UINT nID;
        UINT nStyle;
        int nImage;
    };
    std::vector<Button> m_Buttons;
    HBITMAP m_hBitmap;
    CSize m_sizeButton;
    CSize m_sizeImage;
    int m_nPressed;  // the button held down by the mouse, or -1
};

// ---- status bar ----

enum : UINT {
    SBPS_NORMAL = 0x0000,
    SBPS_NOBORDERS = 0x0100,
    SBPS_POPOUT = 0x0200,
    SBPS_DISABLED = 0x0400,
    SBPS_STRETCH = 0x0800,
};

class CStatusBar : public CControlBar {
    DECLARE_DYNAMIC(CStatusBar)
public:
    CStatusBar();

    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    // Panes for the ids with the string resource of each id as text and its width; id 0 is an
    // empty pane. FALSE when a pane's text cannot be had (the panes stay as allocated).
    virtual BOOL SetIndicators(const UINT* ids, int count);
    // Panes without texts, ids 0 and width 0, for a caller that fills them itself.
    BOOL AllocPanes(int count);

    int GetCount() const { return (int)m_Panes.size(); }
    int CommandToIndex(UINT id) const;
    UINT GetItemID(int index) const;
    void GetItemRect(int index, LPRECT rect) const;
    void GetPaneInfo(int index, UINT& id, UINT& style, int& width) const;
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    UINT GetPaneStyle(int index) const;
    void SetPaneStyle(int index, UINT style);
    CString GetPaneText(int index) const;
    BOOL SetPaneText(int index, LPCSTR text, BOOL update = TRUE);
    // The width of a text in the bar's font.
    int TextWidth(LPCSTR text);

    CSize CalcFixedLayout(BOOL stretch, BOOL horizontal) override;
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;

    static constexpr int kPaneGap = 4;  // between two panes
    static constexpr int kPaneMargin = 3;  // between a pane's border and its text

protected:
    void DoPaint(CDC* dc) override;

    struct Pane {
        UINT nID;
        UINT nStyle;
        int nWidth;
        CString strText;
    };
    std::vector<Pane> m_Panes;
};
