#pragma once

// The device search: picks the SCSI transport, scans the bus for scanners, matches them against the
// model table, lets the user choose among several, opens the chosen one and creates its driver as
// g_pScannerDriver. The address found is written to the INI file so that the next start asks it
// first; an adapter whose bus scan crashed is blacklisted at the next start.

#include <cstdint>

class CFoundDevice;
class CObList;
class CWnd;

// The Windows class found at start-up: 1 Win32s, 2 Windows NT before 4.0, 3 Windows 95, 4 Windows
// NT 4.0 or later. The application's start-up sets it.
extern int32_t g_nWindowsClass;

// The transfer size of the coming or running scan: the device's, lowered by the scan's start where
// the model wants more transfers per page.
extern uint32_t g_TransferSize;
// The device's own transfer size (the driver's GetTransferSize), cached when the device is opened
// and again as each scan starts. Resolution limits read this one: a size lowered for one scan must
// not narrow the next.
extern uint32_t g_DeviceTransferSize;

// The engine INI file the search loads the colour engine by; null for the Windows directory's.
extern const char* g_pszEngineIniFile;

// The loading of the colour engine, the search's status lines, its "no scanner found" box and the
// chooser over several devices go through the shell's table (core/scan/ShellServices.h).

// 1 when a driver is in place (a device's driver, or the bare base to work without a scanner), 0
// when the user gave up or the colour engine failed to load (reported, naming the file tried).
int FindScanner(CWnd* splash, int show);

// Fills the list with CFoundDevice objects; 0 when memory ran out (the devices so far are kept).
int ScanScsiBus(CWnd* splash, int show, CObList& devices);

// 1 when it put the adapter of an interrupted bus scan on the blacklist.
int CheckDangerousAdapter();

// Gives each device its model index; the devices no carried entry accepts are removed and deleted.
void MatchScannerModels(CObList& devices);

// Addresses the device through the channel's transport and creates its driver.
void OpenScannerDevice(CFoundDevice& device);

// Deletes the devices of the list and empties it.
void DeleteFoundDevices(CObList& devices);
