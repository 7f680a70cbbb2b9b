#pragma once

// The batch command interpreter's work on the settings: the stored settings file of "set:", the
// keywords applied to the scan settings record and to [General] ADF and "File extension", and the
// one output command the line asks for. Running that command is the application's (BatchOutput.h).

#include "app/BatchCommandLine.h"
#include "framework/String.h"

#include <cstdint>

class CScanSettings;
class CScannerDriver;

// Program-wide state the interpreter leaves for the status reporting and the print road.
extern int32_t g_bBatchProgress;          // 1 when "progress" was given
extern CString g_strBatchProgressTitle;   // the quoted title after "progress:"
extern int32_t g_nPrintMarginX;           // millimetres from the left of the printable area
extern int32_t g_nPrintMarginY;           // millimetres from the top
extern int32_t g_nPrintCopies;            // 1..99

enum BatchOutputKind {
    kBatchNoOutput = 0,
    kBatchScanToFile,
    kBatchPrintAtMargins,   // "prn:": the default printer, no dialog
    kBatchPrintWithDialog,  // "print"
};

struct CBatchOutput {
    BatchOutputKind kind = kBatchNoOutput;
    CString fileName;            // "scan:" only
    bool fileNameTooLong = false;
    CString emptySelection;  // the "selmm:" value when it holds nothing of the bed
    bool selectionTooSmall = false;  // ... because it held less than the smallest scan
    bool unscannableGeometry = false;  // the settings' resolution or selection cannot be scanned
};

// "set:" in the line as given (its value keeps its case): names and loads the settings file. A file
// of another program version is refused by the loader and left where it is. false after a reported
// failure (a name too long, a file that cannot be read, a refused file): the run must not go on.
bool ApplyBatchSettingsFile(const CString& original);

// The keyword steps on the expanded, lower-cased line, against g_pScanSettings and the driver's
// capabilities; interactive starts leave [General] ADF alone. Returns the output command to run.
CBatchOutput ApplyBatchKeywords(const CBatchCommandLine& line, CScannerDriver& driver, bool batchStart);
