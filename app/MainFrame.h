#pragma once

// The main frame window. A batch start creates it hidden and destroys it after the output command,
// which ends the message loop.

#include "framework/Frame.h"

class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame() = default;

    // Registers the frame's window class with the program icon (the Tarvoset one in Tarvoset mode);
    // the class name.
    static LPCSTR RegisterFrameClass(HINSTANCE instance, BOOL simplified);
    BOOL CreateFrame(LPCSTR className, LPCSTR title);
};
