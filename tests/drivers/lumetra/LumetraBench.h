#pragma once

// A LUMETRA driver over its virtual camera, and the small stand-in for the scan job's order and
// reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/lumetra/LumetraDriver.h"
#include "sim/LumetraDevice.h"
#include "tests/drivers/support/DriverBench.h"

class LumetraBench : public FamilyBench<CLumetraDriver, CLumetraDevice, CreateLumetraDevice> {
protected:
    // A selection without the automatic exposure, so that a scan is only the scan asked for.
    void SelectPlain(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height)
    {
        Select(type, resolution, left, top, width, height);
        m_Settings.SetParamAllTypes(kParamAutoMinimum, 0);
        m_Settings.SetParamAllTypes(kParamAutoMaximum, 0);
        m_Settings.SetParamAllTypes(kParamCameraValue, 1);
    }
};
