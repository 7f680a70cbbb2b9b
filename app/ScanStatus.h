#pragma once

// The text of a scan, preview or print status: who (the driver's product, or the prescan/preview
// prefix), what (the catalog text of the status id) and how far (a percentage, pass-coded for
// three-pass scanners). The scan core's ReportScanStatus keeps the device-busy atom and hands the
// status here through g_pfnShowScanStatus.

#include "framework/String.h"

#include <cstdint>

CString ScanStatusText(int messageId, uint32_t value);

// Shows a status once per change of id or value. Until the main form's status line exists the text
// goes to the trace log.
void ShowScanStatus(int messageId, int32_t value);

// Forgets the last status shown, so that the next one shows whatever it is.
void ResetScanStatus();
