#pragma once

// Small services that reach the platform: directories and the wait that keeps the user interface
// alive. ProgramDirectory lives with the message catalog, which needs it first; it is declared
// again here through the include so that callers find it among the system utilities.

#include "core/messages/ProgramDirectory.h"
#include "framework/String.h"

#include <cstdint>

// The Windows directory with a trailing backslash; reports message 3481 and gives "c:\" when it
// cannot be obtained.
CString WindowsDirectory();

// Returns when milliseconds of the tick count have passed, dispatching the thread's window messages
// meanwhile (the application's pre-translation sees each first). The user-abort flag is not looked
// at: the full time always passes.
void DelayPumping(uint32_t milliseconds);
