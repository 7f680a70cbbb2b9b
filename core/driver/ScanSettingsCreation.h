#pragma once

// Creation of the global scan settings record once a driver exists, so that its defaults follow
// the driver's density limits, bed and user-defined format; and whether colour management can be
// offered, by the profile kinds the colour engine has installed.

#include <cstdint>

// The application's profile-support flag ([General] Profiles, default 1): the start-up sets it;
// CreateScanSettings clears it when the engine lacks the profile kinds needed.
extern int32_t g_bProfileSupport;

// Creates and fills g_pScanSettings (the batch defaults when g_bInteractive is clear); works
// without a driver too. 1, or 0 when the record cannot be allocated.
int CreateScanSettings();
void CreateFixedScanSettings();
// The profile kinds installed (0x2/0x4 input, 0x8 monitor, 0x10/0x20 output), stored in id 94 of
// every image type; 0 when the engine is missing, its search fails or a needed kind is absent.
int32_t DetectProfileKinds();
// Destroys the record and clears g_pScanSettings; 1.
int DeleteScanSettings();
