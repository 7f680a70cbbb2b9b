#pragma once

// What the scan core asks of the application shell and the main view while a scan runs: the status
// line with the device-busy atom, the per-model invert and byte-order options of the image-mode
// keys, and the view's engine-correction switch. The shell and the view install their functions at
// start-up; until they do (and in batch tools and tests) the defaults below stand in: no status
// text, no inversion, no byte swap, the driver's own colour correction.

#include "core/driver/ScanSettingsCreation.h"
#include "framework/String.h"

#include <cstdint>

typedef void (*ScanStatusTextFn)(int messageId, int32_t value);
typedef int (*ImageTypeOptionFn)(int32_t imageType);
typedef int (*ViewSwitchFn)();

// The status-bar text of a scan step; null shows nothing.
extern ScanStatusTextFn g_pfnShowScanStatus;
// The per-model invert-image option of an image type; null means off.
extern ImageTypeOptionFn g_pfnIsModeEnabled;
// Whether 16-bit samples of an image type are stored high byte first; null means no.
extern ImageTypeOptionFn g_pfnGetSwapBytes;
// The main view's engine-correction switch; null (no view) means the driver corrects negatives.
extern ViewSwitchFn g_pfnEngineCorrection;
// The profile route is taken only while g_bProfileSupport (core/driver) is non-zero.

// "%d:%d:%d" of the current transport's adapter, bus and target; "0:0:0" without a channel.
CString DeviceBusyAtomName();

// The status callback of a scan: keeps the device-busy atom alive while the current driver is not
// idle (state 3), removes it when it is, then shows the status text. Always 0.
int ReportScanStatus(int messageId, int32_t value);
