#pragma once

// The two texts of the settings record that the start-up, the settings-file commands, the scanner
// choice and the batch interpreter set.

// The program title shown in the caption.
void SetProgramTitle(const char* text);
// The current settings file; an empty name leaves the one before.
void SetSettingsFileName(const char* text);
