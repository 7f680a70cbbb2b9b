#pragma once

// The test program's application object: a CBrelvaneApp whose profile is a private INI file of the
// tests, and a settings record with a driver of known capabilities for the interpreter's cases.

#include "app/BrelvaneApp.h"

#include <windows.h>

#include <string>

CBrelvaneApp& TestApp();
const std::string& TestIniPath();
// Empties the test INI file.
void ResetTestIni();
// The current catalog's text of id.
std::string Text(int id);
// A window's text: a caption, or what a control shows.
std::string TextOf(HWND window);
