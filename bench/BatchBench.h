#pragma once

#include <string>

// The end-to-end batch scan: brelvane.exe of the build's run folder scans an A4 page at 600 ppi in
// RGB from the virtual KOVAL II into FOLDER\a4.bmp, timed from the process's creation to its end.
// Returns 0 when every target is met, kExitMissed or kExitFailed.
int RunBatchCase(const std::string& folder);
