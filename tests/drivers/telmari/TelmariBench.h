#pragma once

// A TELMARI family driver over its virtual device (the ULTRA driver for the PLUS and ULTRA models),
// and a reader like the scan reader's that reads colour as three passes of one plane each.

#include "drivers/telmari/TelmariDriver.h"
#include "sim/TelmariDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>
#include <string>
#include <vector>

class TelmariBench : public FamilyBench<CTelmariDriver, CTelmariDevice, CreateTelmariDevice> {
protected:
    // Connects the device of the options and installs the driver class its model calls for.
    void Start(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi);
    // Colour: the three planes read pass by pass, each further pass started as the scan reader does,
    // then interleaved into pixels; other types as the scan reader reads them.
    CBenchImage ReadImage(CScannerDriver& driver) override;
    // Waits of seconds instead of minutes, for the fault cases.
    void ShortenWaits(uint32_t busyScanMs, uint32_t readWaitMs);
};

// A fault of the kind for commands with the opcode, count times.
CSimFault TelmariFault(SimFaultKind kind, int opcode, int count = 1);
// A CHECK CONDITION with the sense key and the code (additional sense code and qualifier).
CSimFault TelmariCheck(int opcode, uint8_t key, uint16_t code, int count = 1);
