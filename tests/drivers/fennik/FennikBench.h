#pragma once

// A FENNIK driver over its virtual device, and a small stand-in for the scan job's order and
// reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/fennik/FennikDriver.h"
#include "sim/FennikDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CFennikImage {
    uint16_t status = 0;            // first failing driver result, 0 when the scan completed
    int32_t postStatus = 0;
    uint32_t bytesPerLine = 0;
    uint32_t lines = 0;
    std::vector<uint8_t> bytes;
};

using CDeviceOptions = std::vector<std::pair<std::string, std::string>>;

class FennikBench : public DriverBench {
protected:
    void TearDown() override;

    // Device options as a bus description would give them, e.g. {{"transparency","1"}}.
    void Start(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi);
    CFennikDevice& Device() { return *static_cast<CFennikDevice*>(m_pTarget); }
    CFennikDriver& Driver() { return *m_pDriver; }

    // The selection in 1/100 mm, image type and resolution.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height);
    // The driver's operations from slot 17 on, in the scan job's order, read like the scan reader.
    CFennikImage Scan();
    // The commands the device saw whose operation code is one of opcodes.
    std::vector<CSimLogEntry> Commands(std::initializer_list<uint8_t> opcodes) const;

    std::unique_ptr<CFennikDriver> m_pDriver;

private:
    CFennikImage ReadImage();
};
