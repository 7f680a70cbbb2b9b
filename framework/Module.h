#pragma once

// The module the program's resources come from. The application object sets it at start; before
// that (and in test programs without one) it is the executable itself.

#include <windows.h>

HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetInstanceHandle(HINSTANCE instance);
void AfxSetResourceHandle(HINSTANCE resources);
