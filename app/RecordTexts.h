#pragma once

// The two texts of the settings record that the start-up, the settings-file commands, the scanner
// choice and the batch interpreter set, and the main window's title made of them.

#include "framework/String.h"

// The program title shown in the caption.
void SetProgramTitle(const char* text);
CString GetProgramTitle();
// The current settings file; an empty name leaves the one before.
void SetSettingsFileName(const char* text);
CString GetSettingsFileName();

// The one title format of the main window, wherever it is set: program title, " - ", settings file.
CString MainWindowTitle(const char* programTitle, const char* settingsFile);
// Gives the application's main window, when there is one, the title of the record's two texts.
void RetitleMainWindow();
