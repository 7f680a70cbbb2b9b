#pragma once

// A KOVAL II family driver over its virtual device, and a small stand-in for the scan job's order
// and reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/koval2/Koval2Driver.h"
#include "sim/Koval2Device.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CKoval2Image {
    uint16_t status = 0;            // first failing driver result, 0 when the scan completed
    int32_t postStatus = 0;
    uint32_t bytesPerLine = 0;
    uint32_t lines = 0;
    std::vector<uint8_t> bytes;
};

class Koval2Bench : public DriverBench {
protected:
    void TearDown() override;

    // Device options as a bus description would give them, e.g. {{"model","biravo"}}.
    void Start(const std::vector<std::pair<std::string, std::string>>& options = {},
               ScsiDriverId id = kScsiDriverNtScsi);
    CKoval2Device& Device() { return *static_cast<CKoval2Device*>(m_pTarget); }
    CKoval2Driver& Driver() { return *m_pDriver; }

    // The selection in 1/100 mm, image type, resolution and bits per channel.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height,
                int32_t bits = 8);
    // The driver's operations from slot 17 on, in the scan job's order, read like the scan reader.
    CKoval2Image ScanFromReserve();
    // The same from slot 24 (the prescan step, which also sets the device's accessories).
    CKoval2Image ScanFromPrescan();

    std::unique_ptr<CKoval2Driver> m_pDriver;

private:
    CKoval2Image ReadImage();
};
