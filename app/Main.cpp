#include "app/BrelvaneApp.h"

// The one application object; WinMain drives it.
CBrelvaneApp theApp;
