#pragma once

// The text of a scan, preview or print status: who (the driver's product, or the prescan/preview
// prefix), what (the catalog text of the status id) and how far (a percentage, pass-coded for
// three-pass scanners). The scan core's ReportScanStatus keeps the device-busy atom and hands the
// status here through the shell's table (ShowScanProgress).

#include "framework/String.h"

#include <cstdint>

class CProgressDlg;

// The progress window of a batch start with "progress"; whoever needs it first creates it.
extern CProgressDlg* g_pBatchProgressDlg;

CString ScanStatusText(int messageId, uint32_t value);

// Shows a status once per change of id or value on the main form's status line 5041; without a form
// (before the frame, a batch start, a scanner change) the text goes to the trace log.
void ShowScanStatus(int messageId, int32_t value);

// Forgets the last status shown, so that the next one shows whatever it is.
void ResetScanStatus();

// Shows the status in the progress window, creating it at the first call. After the user pressed
// its Cancel the status shown is the cancelling one and g_UserAbort stops the running operation.
void ShowBatchProgress(int messageId, int32_t value);

// Every status report: the status line, and the progress window when the batch asked for one.
void ShowScanProgress(int messageId, int32_t value);

// The user pressed Cancel in the progress window (the transports may have consumed g_UserAbort).
bool BatchProgressCancelled();

void DestroyBatchProgress();

// Whether a running operation should look at the message queue now: true at most once per tick
// of the system clock, for a look is a round trip to the system (to the wine server under wine)
// and a scan's blocks come far faster than anyone clicks Cancel.
bool MessageLookDue();
