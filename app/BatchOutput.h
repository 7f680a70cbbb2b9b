#pragma once

// The output commands of a batch line: one scan into a file, or one scan printed. Each answers the
// process exit code that tells the caller what happened.

#include "app/BatchInterpreter.h"

#include <windows.h>

#include <cstdint>

enum BatchExitCode {
    kExitOutputWritten = 0,
    kExitScanFailed = 1,
    kExitAborted = 2,
    kExitNoOutput = 3,
    kExitStartFailed = 4,
};

int RunBatchOutput(const CBatchOutput& output);

// Scans straight to the printer: with the print dialog, centred on the page; without it, on the
// default printer at the batch print margins. An exit code.
int PrintScan(BOOL withDialog);

// Where the image lands on the printer page, in device pixels. Selection edges in 1/100 mm, scale
// in per cent; page size in device pixels and the device's pixels per inch.
struct CPrintPage {
    int32_t width, height, dpiX, dpiY;
};
RECT PrintTargetRect(const int32_t selection[4], int32_t scale, const CPrintPage& page, BOOL centred,
                     int32_t marginX, int32_t marginY);
