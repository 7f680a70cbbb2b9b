#pragma once

// The settings-file commands of the main form: save, save under a new name, open, and load the
// default settings. They work on the settings record, the current driver's format table and the
// main window's title only; the caller refreshes the form afterwards.

#include "framework/String.h"

void SaveSettingsFile();
// The save dialog; a chosen file becomes the current settings file.
void SaveSettingsFileAs();
// The open dialog; a file the loader refused leaves the current settings file and the title as
// they were, so that the next save does not write into it.
void OpenSettingsFile();
// "ldefault.zlk" from the program directory, or the driver's defaults when it holds no usable slot
// for this scanner; afterwards the current settings file is the one named after the INI file.
void LoadDefaultSettings();

// The private INI file's path with ".ZLK" from its last dot on.
CString DefaultSettingsFileName();

// After a load: the format entry that parameter 20 names takes the loaded offsets (parameters 87
// and 88). An index outside the driver's current table picks entry 0.
void ApplyLoadedFormat();
