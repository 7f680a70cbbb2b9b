#pragma once

// A KOVAL II family driver over its virtual device, and a small stand-in for the scan job's order
// and reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/koval2/Koval2Driver.h"
#include "sim/Koval2Device.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>

using CKoval2Image = CBenchImage;

class Koval2Bench : public FamilyBench<CKoval2Driver, CKoval2Device, CreateKoval2Device> {
protected:
    void Start(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi);
    // The selection in 1/100 mm, image type, resolution and bits per channel.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height,
                int32_t bits = 8);
    // The driver's operations from slot 24 on (the prescan step, which also sets the device's
    // accessories), in the scan job's order, read like the scan reader.
    CBenchImage ScanFromPrescan();
};
