#pragma once

// The main form of the scanner: the form of template 5022 (5301 on small screens) that fills the
// main frame's client area, in the dialog font with the catalog's texts. There is one at a time,
// g_pView. It owns the current driver and the settings record: its destructor deletes both and
// clears their globals. It keeps the view state that every command running the device saves and
// restores, lays its controls out for the frame's size, and carries Close.

#include "framework/Gdi.h"
#include "framework/View.h"

#include <cstdint>

// View states; "ready" means idle or batch mode.
enum : int32_t {
    kViewIdle = 0,
    kViewPreviewing = 1,
    kViewScanning = 2,
    kViewClosing = 3,
    kViewBatch = 4,
};

class CBrelvaneView : public CFormView {
    DECLARE_DYNAMIC(CBrelvaneView)
    DECLARE_MESSAGE_MAP()
public:
    // Builds the view and its window as a child of the frame in the area, from the template.
    CBrelvaneView(CWnd* parent, const RECT& area, UINT templateId);
    ~CBrelvaneView() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    void OnDraw(CDC* dc) override;

    // Command states of the form's controls and the tool bar brought up to date now.
    void RefreshStatus();
    void RefreshControls();
    void SetViewState(int32_t state);
    int32_t GetViewState() const { return m_nViewState; }
    BOOL IsReady() const { return m_nViewState == kViewIdle || m_nViewState == kViewBatch; }

    // Runs idle work once and dispatches the waiting messages; TRUE when a close was requested.
    BOOL PumpViewMessages();

    // Moves and sizes the controls that follow the form's edges by the change since the last call.
    void LayoutControls(int width, int height);

    // The view options of the INI file, the tip switches, the form's font and texts again, the status
    // panes and the summary, and the ready text on the status line.
    void ApplyViewOptions();

    void EnableRangeCombo(BOOL enable);
    BOOL IsRangeComboDisabled() const { return m_bRangeComboDisabled; }

    // The progress callback of every scan job the view starts: pumps the view's messages; non-zero
    // when a close asks the job to stop.
    static int ScanProgressCallback(int32_t lines);

    // Close: when ready, saves the settings file and the INI keys and destroys the main window;
    // while the device works, asks the running command to stop. TRUE.
    BOOL OnCloseCommand(UINT id);

    int32_t m_nTarvosetColor = 0;
    int32_t m_nTarvosetMedium = 0;
    int32_t m_nTarvosetOutput = 0;
    int32_t m_bAutoDetect = 0;
    int32_t m_bFreezeSettings = 0;
    int32_t m_bAutoDetectBox = 0;
    int32_t m_bFreezeBox = 0;
    int32_t m_bToolbar = 0;
    int32_t m_bZoomSlider = 0;
    int32_t m_bBalancePick = 0;

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnShowWindow(BOOL show, UINT status);

private:
    void MoveControl(int id, int flags, BOOL shown, int dx, int dy);
    void InvalidateHolderFrame(BOOL erase);
    void SaveTarvosetSelections();

    int m_nPreviousWidth = 0;
    int m_nPreviousHeight = 0;
    int m_nGrowthX = 0;
    int m_nGrowthY = 0;
    CBrush m_ButtonFaceBrush;
    CRect m_CreationClientRect;
    int32_t m_nViewState = kViewIdle;
    CBitmap m_Logo;
    CBitmap m_PinIcon;
    int16_t m_nHolderFrameMode = 1;
    int32_t m_bRangeComboDisabled = 0;
    BOOL m_bOwnsRecords = FALSE;  // from the window's creation on
};

extern CBrelvaneView* g_pView;
// The form's button-face brush, with which the settings dialogs paint their backgrounds.
extern CBrush* g_pButtonFaceBrush;
