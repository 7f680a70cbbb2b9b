#pragma once

// Settings files: one record slot per scanner kind, so that one file serves several scanners, plus
// the INI values that go with the record. The slot of the current scanner is chosen by the current
// driver's kind word.

#include "core/settings/ScanSettings.h"

#include <cstdint>

// Catalog messages of a settings file that cannot be used.
constexpr int kMsgSettingsFileRefused = 3313;   // another version, a slot not made by us, or cut short
constexpr int kMsgSettingsFileWrite = 3312;     // the file cannot be written; its one value is the path

// Byte budget of the preview image; LoadSettings takes it from General/PreviewBuffer.
extern uint32_t g_PreviewBufferBytes;

// Tarvoset mode (General/Tarvoset): set by the application's start-up; non-zero keeps the preview
// frame and scale in the INI file as well.
extern int32_t g_bSimplifiedMode;

// Slot of a driver kind: the bit number of a power of two; another value takes the slot of the next
// power of two above it.
uint32_t SettingsSlotForKind(uint32_t kind);

// A slot read from a file is used only when every value that indexes a table is in range and every
// name is terminated.
bool IsValidSettingsSlot(const CSettingsSlot& slot);

// What a settings file holds for the scanner in use (the current driver's slot).
enum SettingsFileContent {
    kSettingsFileTooShort,  // missing, or shorter than one slot: no settings file at all
    kSettingsFileWithoutSlot,  // the file ends before this scanner's slot, or the slot was never written
    kSettingsFileWithSlot,  // a slot is there (LoadSettings still checks it)
};
SettingsFileContent ExamineSettingsFile(const char* path);

// Replaces the current record g_pScanSettings from the file (a bare name lies in the program
// directory). A file of another program version, a cut-short slot or a slot that fails the check is
// reported and leaves the record as it was; the file itself is never changed. False for such a
// refused file (the caller keeps its current settings file); a file without this scanner's slot,
// or no name at all, is no refusal.
bool LoadSettings(const char* path);

// Stores the current record into its slot and the INI values that go with it. The other slots are
// kept; the file is replaced only once the new one is completely written, so a failed save
// (reported) leaves the old file as it was, and [General] SettingsFile keeps naming the file it
// named. False only for such a failed save.
bool SaveSettings(const char* path);
