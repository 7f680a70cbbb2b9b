#pragma once

// brelvane's side of what the scan core asks of the program around it: the status line and the
// batch progress window, the image-mode keys' options, the colour engine's loading before the device
// search, the splash window's search lines, the Choose Scanner dialog, and the boxes of the device
// search and the catalog, which a batch start answers in its log. The application installs it once
// at start-up.

#include "core/scan/ShellServices.h"

class CBrelvaneShell : public CShellServices {
public:
    // Nobody is at the screen of a batch start: each box becomes a log line with its default answer.
    void AnswerBoxesInLog() { m_bAnswerInLog = true; }

    void ShowScanStatus(int messageId, int32_t value) override;
    int IsModeEnabled(int32_t imageType) override;
    int GetSwapBytes(int32_t imageType) override;
    bool LoadColourEngine(const char* iniFile) override;
    void ShowSplashStatus(CWnd* splash, const char* text) override;
    int SearchBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override;
    int ChooseScanner(CObList& devices, int* position) override;
    int CatalogBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override;
    bool LoadsToneCurves() override;
    CToneCurveSet* LoadToneCurves(const char* path) override;

private:
    int Box(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

    bool m_bAnswerInLog = false;
};
