#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiTransport.h"
#include "sim/VirtualBus.h"
#include "tests/support/SimBusConnection.h"

class CTraceLog;
class CWinApp;

// Sense bytes every command of the cases asks for.
constexpr int kSense = 32;

// A virtual bus with a generic scanner at host 0, bus 0, target 3, reachable through both
// transports: the NT one through the device-I/O seam, the ASPI one through our manager DLL. Also
// the private INI file, the trace log and a window whose messages stand for the user.
class ScsiBench : public testing::Test {
protected:
    static constexpr int kTarget = 3;

    void SetUp() override;
    void TearDown() override;

    // Builds and opens the transport of id and addresses host 0, bus 0, target t.
    CScsiTransport* OpenTransport(ScsiDriverId id, uint8_t target = kTarget);
    CScsiChannel& Channel() { return *m_channel; }
    CVirtualTarget& Device() { return *m_pDevice; }
    CVirtualTarget* AddDevice(int host, int bus, int target);

    void SetIni(const char* section, const char* key, const char* value);
    std::vector<std::string> TraceLines() const;
    // Posting this message makes the window set g_UserAbort, as the Cancel button does.
    void PostAbort() const { PostMessageA(m_window, WM_APP, 0, 0); }
    // Posting this one only counts, to show that a wait dispatched it.
    void PostPing() const { PostMessageA(m_window, WM_APP + 1, 0, 0); }
    static int Pings();
    DWORD LastPostThread() const;
    int HeldRequests() const;
    CSimDeviceIo& Io() { return m_connection->Io(); }

    CVirtualBus m_bus;
    CScsiTransport* m_pTransport = nullptr;
    std::unique_ptr<CScsiChannel> m_channel;
    std::optional<CSimBusConnection> m_connection;

private:
    static CWinApp* s_pApp;
    CVirtualTarget* m_pDevice = nullptr;
    CTraceLog* m_pTrace = nullptr;
    HWND m_window = nullptr;
};

// The same cases through both transports.
class TransportBench : public ScsiBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void SetUp() override
    {
        ScsiBench::SetUp();
        OpenTransport(GetParam());
    }
};

std::string TransportName(const testing::TestParamInfo<ScsiDriverId>& info);
