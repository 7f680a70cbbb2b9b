#pragma once

// The status bar at the bottom of the main frame: the colour readout of the preview (raw and
// corrected, three value panes each) and the memory a scan would need; and the writer of the main
// form's own status texts: the two summary lines of the selection, the quality group title and the
// status line 5041. One instance, g_pStatusBar; the free functions skip what is missing (no bar
// yet, a batch start, no form).

#include "framework/ControlBar.h"

#include <cstdint>

class CScanSettings;

class CBrelvaneStatusBar : public CStatusBar {
public:
    CBrelvaneStatusBar();

    // A visible child at the bottom with a top border, id AFX_IDW_STATUS_BAR, panes set up in the
    // given font (the default GUI font for none). Creation counts as successful.
    BOOL Create(CWnd* parentFrame, HFONT font);
    void SetupStatusPanes(HFONT font);
    // The panes of the ids with the catalog text of each id as text and its width in the bar's font;
    // id 0 is a pane a quarter of the screen wide (stretching and without border when first). Stops
    // with FALSE at the first id without a catalog text: the later panes stay empty and 0 wide.
    BOOL SetIndicatorsEx(const UINT* ids, int count);

    void ShowSettingsSummary(const CScanSettings* settings);
    void UpdateColorReadout(uint32_t raw, uint32_t corrected);

    // Panes without an update handler are never greyed.
    void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;

    int32_t m_bReadout;  // the colour readout and memory pane are written only when set
};

extern CBrelvaneStatusBar* g_pStatusBar;

// The summary texts; nothing without a status bar.
void ShowSettingsSummary(const CScanSettings* settings);
// Colours packed R | G << 8 | B << 16; nothing without a status bar.
void ShowColorReadout(uint32_t raw, uint32_t corrected);
// Makes the next readout rewrite the channel labels and the memory pane.
void ResetColorReadout();
// Makes the next summary rewrite the quality title.
void ResetQualityTitle();

void SetFormStatusText(const char* text);
void SetFormStatusMessage(uint16_t messageId);

// The two lines of the summary as ShowSettingsSummary writes them, each cut to fit 256 bytes.
struct CSettingsSummary {
    char szFirst[256];
    char szSecond[256];
};
CSettingsSummary SettingsSummaryLines(const CScanSettings& settings, bool simplified);
