#pragma once

#include <windows.h>

#include "sim/SimBus.h"

// The control entry points of our WNASPI32.DLL besides the two of the ASPI interface. A test
// takes them with GetProcAddress from the loaded DLL.
extern "C" {
// Puts the manager in front of a bus that lives in the calling program (null: back to its own
// bus, read afresh from the description). Waits until no command of the old bus is executing.
typedef void(__cdecl* SimAttachBusProc)(CSimBus* bus);
// The thread on which the manager last called a post routine.
typedef DWORD(__cdecl* SimLastPostThreadProc)();
// Requests the manager still holds (posted, not yet completed).
typedef int(__cdecl* SimHeldRequestsProc)();
}

#define SIM_ATTACH_BUS "SimAttachBus"
#define SIM_LAST_POST_THREAD "SimLastPostThread"
#define SIM_HELD_REQUESTS "SimHeldRequests"
