#pragma once

// A KOVAL family driver over its virtual device, and a small stand-in for the scan job's order and
// reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/koval/KovalDriver.h"
#include "sim/KovalDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>
#include <vector>

using CKovalImage = CBenchImage;

class KovalBench : public FamilyBench<CKovalDriver, CKovalDevice, CreateKovalDevice> {
protected:
    // As the scan reader does it for a family that converts each block before it is handed on:
    // blocks of whole lines sized by the transfer.
    CBenchImage ReadImage(CScannerDriver& driver) override;
};
