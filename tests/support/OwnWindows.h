#pragma once

#include <windows.h>

namespace testsupport {

// The visible-or-not top-level window of this process with the given title, or null. Test programs
// run side by side on one X display, so a plain FindWindow could hand one program another's dialog.
HWND FindOwnWindow(const char* title);

}  // namespace testsupport
