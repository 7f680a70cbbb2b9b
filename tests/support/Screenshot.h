#pragma once

#include <string>

namespace testsupport {

// Photographs the whole virtual screen into <build>/screenshots/<name>.png with the host's
// ImageMagick, so that a person can look at what a GUI test showed. Returns the PNG's host path,
// or an empty string when no picture was written.
std::string TakeScreenshot(const char* name);

// The directory the test program runs in (its own folder), with a trailing backslash.
std::string ProgramDirectory();

// How many files of the program's folder match a wildcard pattern such as "brv*.tmp".
int CountProgramFiles(const char* pattern);

}  // namespace testsupport
