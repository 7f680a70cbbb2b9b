#pragma once

// The main frame window: tool bar with tips at the top, status bar at the bottom, the form in what
// they leave. It keeps its placement in the private INI file, cannot be made smaller than the form,
// and hands its close box to the form's Close command. A batch start creates it hidden and destroys
// it after the output command, which ends the message loop.

#include "app/TipWnd.h"
#include "framework/Frame.h"

#include <cstdint>

class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame();

    // Registers the frame's window class with the program icon (the Tarvoset one in Tarvoset mode);
    // the class name.
    static LPCSTR RegisterFrameClass(HINSTANCE instance, BOOL simplified);
    BOOL CreateFrame(LPCSTR className, LPCSTR title);

    void RecalcLayout(BOOL notify = TRUE) override;
    // Re-docks the tool bar at the top, applies the Toolbar switch and lays everything out again;
    // the preference dialogs call it after storing their settings.
    void ResetControlBars();
    void ComputeMinTrackSize();

    // The window's first place from the saved placement: negative edges are moved to 0 with the right
    // and bottom edges kept; a place wholly outside the screen opens at 0, 0 with the saved size, at
    // most the screen's.
    static CRect InitialPlacement(int x, int y, int width, int height, const CRect& screen);

    CTipToolBar m_wndToolBar;
    CView* m_pForm;
    CRect m_rcFree;  // the form's place as the last layout query left it
    CSize m_sizeMinTrack;  // also the default window size
    uint16_t m_nSavedZoomed;  // 0xFF00 | [General] Zoomed

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnTimer(UINT_PTR id);
    void OnSize(UINT type, int cx, int cy);
    void OnMove(int x, int y);
    void OnEnterSizeMove();
    void OnExitSizeMove();
    void OnGetMinMaxInfo(MINMAXINFO* info);
    void OnClose();
    void OnDestroy();
    void OnSysColorChange();
    DECLARE_MESSAGE_MAP()

private:
    void ApplyPlacement();
    void CreateBars(BOOL camera);
    void CreateForm();
    bool ToolBarWanted() const;
    void SavePlacement();

    BOOL m_bLayoutSuspended;
    // Set while the user drags the frame or its border: the placement is written once, at the end.
    BOOL m_bInSizeMove = FALSE;
};

// The ids of the normal tool bar, in button order.
extern const UINT kToolBarIds[23];
