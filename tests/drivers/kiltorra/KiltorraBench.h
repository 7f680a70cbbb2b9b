#pragma once

// A KILTORRA driver over its virtual device.

#include "drivers/kiltorra/KiltorraDriver.h"
#include "sim/KiltorraDevice.h"
#include "tests/drivers/support/DriverBench.h"

using KiltorraBench = FamilyBench<CKiltorraDriver, CKiltorraDevice, CreateKiltorraDevice>;
