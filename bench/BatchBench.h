#pragma once

#include <string>

// The whole program, brelvane.exe of the build's run folder against the virtual KOVAL II, each case
// run in FOLDER. Each returns 0 when every target is met, kExitMissed or kExitFailed.

// An A4 page at 600 ppi in RGB into FOLDER\\a4.bmp, timed from the process's creation to its end.
int RunBatchCase(const std::string& folder);
// The time from the process's creation to its first SCSI command, less the time a bare program
// takes from its creation to its entry.
int RunStartCase(const std::string& folder);
// A 200 x 200 mm 600 ppi RGB scan (67 MB) against the bare program writing the same chart.
int RunSquareCase(const std::string& folder);
// An A4 page at 300 ppi into a 48-bit TIFF with the demonstration settings CMPROF.ZLK (the
// profiles' transforms) against the plain 24-bit scan of the page; no target.
int RunManagedBatchCase(const std::string& folder);
