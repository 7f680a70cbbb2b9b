#include "tone/ToneApp.h"

// The one application object; WinMain drives it.
CToneApp theApp;

CToneApp::CToneApp() : CWinApp("Tone") {}

// Nothing to start yet: with no main window the message loop ends at once.
BOOL CToneApp::InitInstance()
{
    return TRUE;
}
