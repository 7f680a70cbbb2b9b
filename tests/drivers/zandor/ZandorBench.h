#pragma once

// A ZANDOR driver over its virtual device.

#include "drivers/zandor/ZandorDriver.h"
#include "sim/ZandorDevice.h"
#include "tests/drivers/support/DriverBench.h"

using ZandorBench = FamilyBench<CZandorDriver, CZandorDevice, CreateZandorDevice>;
