#pragma once

// The scan core's status reporting with the device-busy atom; what it shows goes through the shell's
// table (core/scan/ShellServices.h).

#include "core/driver/ScanSettingsCreation.h"
#include "framework/String.h"

#include <cstdint>

// The profile route is taken only while g_bProfileSupport (core/driver) is non-zero.

// "%d:%d:%d" of the current transport's adapter, bus and target; "0:0:0" without a channel.
CString DeviceBusyAtomName();

// The status callback of a scan: keeps the device-busy atom alive while the current driver is not
// idle (state 3), removes it when it is, then shows the status text. Always 0.
int ReportScanStatus(int messageId, int32_t value);
