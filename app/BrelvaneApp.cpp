#include "app/BrelvaneApp.h"

// The one application object; WinMain drives it.
CBrelvaneApp theApp;

CBrelvaneApp::CBrelvaneApp() : CWinApp("Brelvane") {}

// Nothing to start yet: with no main window the message loop ends at once.
BOOL CBrelvaneApp::InitInstance()
{
    return TRUE;
}
