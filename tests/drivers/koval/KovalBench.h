#pragma once

// A KOVAL family driver over its virtual device, and a small stand-in for the scan job's order and
// reader, so that the driver's data path can be run and compared with the chart.

#include "drivers/koval/KovalDriver.h"
#include "sim/KovalDevice.h"
#include "tests/drivers/support/DriverBench.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CKovalImage {
    uint16_t status = 0;  // first failing driver result, 0 when the scan completed
    uint32_t bytesPerLine = 0;
    uint32_t lines = 0;
    std::vector<uint8_t> bytes;
};

class KovalBench : public DriverBench {
protected:
    void TearDown() override;

    // Device options as a bus description would give them, e.g. {{"model","kovalplus"}}.
    void Start(
        const std::vector<std::pair<std::string, std::string>>& options = {}, ScsiDriverId id = kScsiDriverNtScsi);
    CKovalDevice& Device() { return *static_cast<CKovalDevice*>(m_pTarget); }
    CKovalDriver& Driver() { return *m_pDriver; }

    // The selection in 1/100 mm, image type and resolution.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height);
    // The driver's operations from reserving the device on, in the scan job's order, read like the
    // scan reader, then StopScan.
    CKovalImage ScanFromReserve();
    // The steps up to and including the SCAN command; the device then knows what it will deliver.
    uint16_t StartScan();

    std::unique_ptr<CKovalDriver> m_pDriver;

private:
    CKovalImage ReadImage();
};

std::vector<CSimLogEntry> EntriesWithOpcode(const CVirtualTarget& target, uint8_t opcode);
