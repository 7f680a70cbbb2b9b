#pragma once

#include "framework/String.h"

// The full path of the program file up to and including its last backslash.
CString ProgramDirectory();
