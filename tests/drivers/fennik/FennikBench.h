#pragma once

// A FENNIK driver over its virtual device, and a small stand-in for the scan job's order and
// reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/fennik/FennikDriver.h"
#include "sim/FennikDevice.h"
#include "tests/drivers/support/DriverBench.h"

using CFennikImage = CBenchImage;
using FennikBench = FamilyBench<CFennikDriver, CFennikDevice, CreateFennikDevice>;
