#pragma once

// A PENDARO family driver (PENDARO or OSTRAVEL) over its virtual device, with scans in the scan
// job's order from the prescan step or from the reservation, read like the scan reader.

#include "drivers/koval2/OstravelDriver.h"
#include "drivers/koval2/PendaroDriver.h"
#include "sim/OstravelDevice.h"
#include "sim/PendaroDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>

template <class TDriver, class TDevice, CreateDeviceFn CreateDevice>
class PendaroFamilyBench : public FamilyBench<TDriver, TDevice, CreateDevice> {
protected:
    using Base = FamilyBench<TDriver, TDevice, CreateDevice>;

    void Start(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi)
    {
        // Scans follow each other at once: no carriage return delay and no settle waits.
        this->SetIni("General", "DisableSleep", "1");
        this->SetIni("Ostravel", "DisableSleep", "1");
        Base::Start(options, id);
    }
    // The selection in 1/100 mm, image type, resolution and bits per channel.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height,
                int32_t bits = 8)
    {
        DriverBench::Select(type, resolution, left, top, width, height);
        this->m_Settings.SetParam(kParamBitsPerChannel, bits);
    }
    // The driver's operations from the prescan step (feeder check, accessories) on.
    CBenchImage ScanFromPrescan()
    {
        CBenchImage image;
        image.status = this->m_pDriver->PrescanIfNeeded(&this->m_Settings, nullptr);
        if (image.status != kDriverOk)
            return image;
        return this->ScanFromReserve();
    }
};

using PendaroBench = PendaroFamilyBench<CPendaroDriver, CPendaroDevice, CreatePendaroDevice>;
using OstravelBench = PendaroFamilyBench<COstravelDriver, COstravelDevice, CreateOstravelDevice>;
