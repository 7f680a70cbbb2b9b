#pragma once

#include <string>

// The whole program, brelvane.exe of the build's run folder against the virtual KOVAL II, each case
// run in FOLDER, each figure the median of kRounds. Each returns 0 unless a judged target is
// missed (kExitMissed) or a run failed (kExitFailed).

// An A4 page at 600 ppi in RGB into FOLDER\\a4.bmp, timed from the process's creation to its end.
int RunBatchCase(const std::string& folder);
// The time from the process's creation to its first SCSI command, less the time a bare program
// takes from its creation to its entry, in rounds of the two.
int RunStartCase(const std::string& folder);
// An A4 page at 300 ppi into a 48-bit TIFF with the demonstration settings CMPROF.ZLK (the
// profiles' transforms) against the plain 24-bit scan of the page, in rounds of the two; no target.
int RunManagedBatchCase(const std::string& folder);
