#pragma once

// A TM-R driver over its virtual device, with the waits a test must not sit through shortened.

#include "drivers/tmr/TmrDriver.h"
#include "sim/TmrDevice.h"
#include "tests/drivers/support/DriverBench.h"

class TmrBench : public FamilyBench<CTmrDriver, CTmrDevice, CreateTmrDevice> {
protected:
    void StartShort(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi)
    {
        Start(options, id);
        Driver().m_nRetryPauseMs = 20;
        Driver().m_nStatusPollMs = 5;
        Driver().m_nScanDeadlineMs = 1000;
    }
};
