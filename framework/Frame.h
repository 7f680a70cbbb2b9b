#pragma once

// CFrameWnd: a top-level window that holds bars along its edges and one view in the area they
// leave. It routes commands and update requests through the active view, itself and the
// application, in that order; keeps its accelerators; gives its menus their states before they drop
// down; and at idle time updates its bars and its active view's controls. It deletes itself with
// its window, so it is made with new.

#include "framework/CmdUI.h"
#include "framework/Wnd.h"

class CControlBar;
class CDocument;
class CView;
struct CCreateContext;

// Sent to every descendant of a frame by InitialUpdateFrame; a view answers with OnInitialUpdate.
constexpr UINT WM_INITIALUPDATE = WM_USER + 0x7302;

// Ids of a frame's children.
enum : UINT {
    AFX_IDW_TOOLBAR = 0xE800,
    AFX_IDW_STATUS_BAR = 0xE801,
    AFX_IDW_DOCKBAR_TOP = 0xE81B,
    AFX_IDW_DOCKBAR_LEFT = 0xE81C,
    AFX_IDW_DOCKBAR_RIGHT = 0xE81D,
    AFX_IDW_DOCKBAR_BOTTOM = 0xE81E,
    AFX_IDW_PANE_FIRST = 0xE900,
};

class CFrameWnd : public CWnd {
    DECLARE_DYNCREATE(CFrameWnd)
    DECLARE_MESSAGE_MAP()
public:
    CFrameWnd();

    // A frame from the resource id: the title is the string's first field, the icon, menu and
    // accelerators of that id are used where they exist; a creation context makes the view.
    BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW, CWnd* parent = nullptr,
                   CCreateContext* context = nullptr);
    // The context's view as the child with that id, entered in the context's document; NULL when
    // it cannot be made.
    CView* CreateView(CCreateContext* context, UINT id = AFX_IDW_PANE_FIRST);
    // The pane becomes the active view when none is, every view gets its first update, the frame is
    // shown (when asked) and retitled.
    void InitialUpdateFrame(CDocument* doc, BOOL makeVisible);
    virtual void ActivateFrame(int cmdShow = -1);
    // The document's title, with ":n" when the document has several frames; a document without a
    // title leaves the frame's own.
    virtual void OnUpdateFrameTitle(BOOL addToTitle);
    CDocument* GetActiveDocument() const;
    int m_nWindow = 0;   // the frame's number among its document's frames; 0 when it is the only one

    CView* GetActiveView() const { return m_pViewActive; }
    // notify calls OnActivateView of the view that loses and of the one that gains.
    void SetActiveView(CView* view, BOOL notify = TRUE);

    // The accelerator table of that resource name; FALSE when it is missing.
    BOOL LoadAccelTable(LPCSTR name);
    BOOL TranslateAccelerators(MSG* msg);

    // Bars along the edges, the pane AFX_IDW_PANE_FIRST in what they leave. A request that comes
    // while a layout runs is dropped.
    virtual void RecalcLayout(BOOL notify = TRUE);

    // Docking: bars lie along the edges the frame allows (CBRS_ALIGN_...); there are no floating
    // bars. DockControlBar puts a bar at the edge of a dock bar id (AFX_IDW_DOCKBAR_TOP ...), or at
    // the first edge both allow (top, bottom, left, right) for 0.
    void EnableDocking(DWORD alignments) { m_dwDockStyle = alignments; }
    void DockControlBar(CControlBar* bar, UINT dockBarId = 0, LPCRECT rect = nullptr);
    // delay leaves the layout to the next RecalcLayout.
    void ShowControlBar(CControlBar* bar, BOOL show, BOOL delay);
    CControlBar* GetControlBar(UINT id) const;
    // The edge and visibility of every bar, under the profile section of that name (see README).
    void SaveBarState(LPCSTR profileName) const;
    void LoadBarState(LPCSTR profileName);

    BOOL OnCmdMsg(UINT id, int code, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    HACCEL m_hAccelTable;

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnSize(UINT type, int cx, int cy);
    void OnSetFocus(CWnd* old);
    void OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu);
    LRESULT OnIdleUpdateCmdUI(WPARAM wParam, LPARAM lParam);
    void PostNcDestroy() override;

    BOOL m_bInRecalcLayout;
    DWORD m_dwDockStyle;

private:
    CView* m_pViewActive;
};
