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
    int refusal = 0;  // a catalog message that refuses the output before any scan
    CString refusalValue;  // its value, when it takes one
};

// The image type taken for one the scanner does not offer (bits 0x01 line art .. 0x10 CMYK in
// offered): colour and grey stand in for each other, CMYK for RGB first; a 1-bit type for the
// other 1-bit type, then grey. Grey and colour never become 1-bit. -1 when nothing fits.
int32_t NearestOfferedImageType(int32_t requested, uint8_t offered);

// The bits per colour a scan takes for "bits:", as the form's Bits list offers them: the deepest of
// 8, 10, 12, 14, 16 (bits 0..4 of depthFlags) not above the value asked, and 8 when none is.
int32_t BatchScanDepth(int32_t asked, uint8_t depthFlags);

// "set:" in the line as given (its value keeps its case): names and loads the settings file. A file
// of another program version is refused by the loader and left where it is. false after a reported
// failure (a name too long, a file that cannot be read, a refused file): the run must not go on.
bool ApplyBatchSettingsFile(const CString& original);

// The keyword steps on the expanded, lower-cased line, against g_pScanSettings and the driver's
// capabilities; interactive starts leave [General] ADF alone. Returns the output command to run.
CBatchOutput ApplyBatchKeywords(const CBatchCommandLine& line, CScannerDriver& driver, bool batchStart);
