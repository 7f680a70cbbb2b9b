#pragma once

// The file a scan writes: whether a name can be written at all before the scanner is touched, and
// the temporary file the image goes into first (moved over the output once it is whole).
//
// A temporary file is named "brv" + the creating process's id + its start time + a check value
// over both, all in hexadecimal, + ".tmp". The check value, a keyed hash that no other program's
// names carry, makes the name ours; the id and start time say which process made it, so that a
// later run can tell that its maker is gone (a run ended by force leaves its file behind) and
// remove it, and never removes a file another program made or one a running scan still writes.

#include <cstdint>
#include <string>

// A name the system takes for a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9), with or without
// an extension and in any folder: writing "to" it writes no file.
bool IsDeviceName(const char* path);

// false when path cannot become the output file: a device name, a folder or a name ending in a
// folder separator, a read-only file, or an existing file that does not open for writing (the
// running program itself, a file another program holds).
bool CanOpenForWriting(const char* path);

struct CTemporaryOwner {
    uint32_t processId;
    uint64_t startTime;  // the process's creation time, FILETIME units
};

// The name (without folder) of a temporary file of owner.
std::string TemporaryFileName(const CTemporaryOwner& owner);
// True, with owner filled in, when name is one TemporaryFileName gives.
bool ParseTemporaryFileName(const char* name, CTemporaryOwner& owner);
// The owner this process writes its temporary files as.
CTemporaryOwner CurrentTemporaryOwner();
// True while the process of owner runs (the same id with the same start time).
bool IsOwnerRunning(const CTemporaryOwner& owner);

// Removes the temporary files in folder (with its trailing separator, or empty for the current
// one) whose names are ours and whose makers no longer run. The number removed.
int RemoveStaleTemporaryFiles(const std::string& folder);

// A new, empty temporary file of this process in folder; its full name, empty when the folder
// takes no new file.
std::string CreateTemporaryFile(const std::string& folder);
