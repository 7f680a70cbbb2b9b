#pragma once

// Response files: the lines of the file named after the first "@" of a command string are appended
// to it, each after one blank, so that a long batch command line can live in a file.

#include "framework/String.h"

// Always 1; a file that cannot be opened leaves the string as it was.
int ExpandResponseFiles(CString& commandLine);
