#pragma once

// Every file dialog of the view runs through one replaceable function, so that a headless test
// answers it instead of a user.

#include "framework/FileDialog.h"

// IDOK with a file chosen, IDCANCEL when the user cancelled, or kFileDialogFailed when the dialog
// could not be shown.
constexpr int kFileDialogFailed = -1;
using FileDialogRunner = int (*)(CFileDialog& dialog);

int RunFileDialog(CFileDialog& dialog);

// Replaces the runner (null restores the common dialog); the previous runner.
FileDialogRunner SetFileDialogRunner(FileDialogRunner runner);
