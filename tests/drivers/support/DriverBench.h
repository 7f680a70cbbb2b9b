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

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CWinApp;

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

std::string TransportName(const testing::TestParamInfo<ScsiDriverId>& info);
