#pragma once

// What the family driver tests share: one application object with a private INI file, the English
// catalog, a recorder of reported messages (no box blocks a test), a virtual bus with the family's
// device at host 0, bus 0, target 4, reached through the NT pass-through or our ASPI manager, the
// global SCSI channel over it and a current settings record.

#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanSettings.h"
#include "sim/VirtualBus.h"

#include <windows.h>

#include "tests/support/Reports.h"
#include "tests/support/SimBusConnection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CScannerDriver;
class CSimOptions;
class CWinApp;

struct CBenchImage {
    uint16_t status = 0;  // first failing driver result, 0 when the scan completed
    int32_t postStatus = 0;
    uint32_t bytesPerLine = 0;
    uint32_t lines = 0;
    std::vector<uint8_t> bytes;
};

// Device options as a bus description would give them, e.g. {{"model","kovalplus"}}.
using CDeviceOptions = std::vector<std::pair<std::string, std::string>>;
using CreateDeviceFn = std::unique_ptr<CVirtualTarget> (*)(const CSimOptions&);

class DriverBench : public testing::Test {
protected:
    static constexpr int kTarget = 4;

    void SetUp() override;
    void TearDown() override;

    // Attaches the device (replacing one attached before) and opens the transport of id over the
    // bus; the channel becomes current.
    void Connect(std::unique_ptr<CVirtualTarget> device, ScsiDriverId id = kScsiDriverNtScsi);
    // Adds lines of a bus description to the bus, e.g. a fault line for the attached device.
    void Describe(const std::string& text);
    void SetIni(const char* section, const char* key, const char* value);
    // The bus's host adapter, to be changed before Connect.
    CSimHostInfo* Host() { return m_bus.Host(0); }
    int GetIni(const char* section, const char* key, int fallback);

    // Starts from a new settings record, so that no setting of an earlier case leaks into this one,
    // and connects the device that create builds from the options.
    void ConnectDevice(CreateDeviceFn create, const CDeviceOptions& options, ScsiDriverId id);
    // Makes driver the current one with its capabilities and default settings.
    void InstallDriver(CScannerDriver& driver);
    // The selection in 1/100 mm, image type and resolution.
    void Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height);
    // The commands the device saw whose operation code is one of opcodes.
    std::vector<CSimLogEntry> Commands(std::initializer_list<uint8_t> opcodes) const;

    // The driver's operations from reserving the device up to and including the SCAN command, in
    // the scan job's order; the first failing result, or kDriverOk.
    uint16_t StartScan(CScannerDriver& driver);
    // StartScan, the image read like the scan reader, then StopScan.
    CBenchImage ScanFromReserve(CScannerDriver& driver);
    // As the scan reader does it: blocks of whole lines sized by the transfer, each converted by
    // the driver, up to 30 empty rounds.
    virtual CBenchImage ReadImage(CScannerDriver& driver);

    CVirtualTarget* m_pTarget = nullptr;
    CScanSettings m_Settings;
    CReportRecorder m_Messages;

private:
    void Disconnect();

    static CWinApp* s_pApp;
    CVirtualBus m_bus;
    CScsiTransport* m_pTransport = nullptr;
    std::unique_ptr<CScsiChannel> m_channel;
    std::optional<CSimBusConnection> m_connection;
};

// A family's bench: its driver over its virtual device.
template <class TDriver, class TDevice, CreateDeviceFn CreateDevice>
class FamilyBench : public DriverBench {
protected:
    void TearDown() override
    {
        m_pDriver.reset();
        DriverBench::TearDown();
    }

    void Start(const CDeviceOptions& options = {}, ScsiDriverId id = kScsiDriverNtScsi)
    {
        m_pDriver.reset();
        ConnectDevice(CreateDevice, options, id);
        m_pDriver = std::make_unique<TDriver>();
        InstallDriver(*m_pDriver);
    }
    TDevice& Device() { return *static_cast<TDevice*>(m_pTarget); }
    TDriver& Driver() { return *m_pDriver; }
    uint16_t StartScan() { return DriverBench::StartScan(*m_pDriver); }
    CBenchImage ScanFromReserve() { return DriverBench::ScanFromReserve(*m_pDriver); }

    std::unique_ptr<TDriver> m_pDriver;
};

// Line art of 8-bit light samples (pixels x lines, rows of bytesPerLine): 1 = black, most
// significant bit first, where the light is below threshold.
std::vector<uint8_t> LineArtOfLight(const std::vector<uint8_t>& light, uint32_t pixels, uint32_t lines,
                                    uint32_t bytesPerLine, int threshold);

// The samples that differ by more than one level: a device indexing its tables with more bits of
// light than the chart's 8 may land a level off.
size_t CountBeyondOneLevel(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& image);

// The commands target saw whose operation code is opcode.
std::vector<CSimLogEntry> EntriesWithOpcode(const CVirtualTarget& target, uint8_t opcode);

std::string TransportName(const testing::TestParamInfo<ScsiDriverId>& info);
