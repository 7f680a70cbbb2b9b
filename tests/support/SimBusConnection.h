#pragma once

// A virtual bus put behind the ways a transport reaches a device: the NT pass-through through the
// device-I/O seam, ASPI through our WNASPI32.DLL loaded from beside the test program. Construction
// connects; destruction undoes it in the reverse order, so that no later test meets a bus that has
// gone.

#include <windows.h>

#include <memory>

#include "core/scsi/ScsiTransport.h"
#include "sim/AspiManager.h"
#include "sim/SimDeviceIo.h"

class CSimBusConnection {
public:
    // Both ways, for code that picks its transport itself.
    explicit CSimBusConnection(CSimBus& bus);
    // Only the way the transport of id takes.
    CSimBusConnection(CSimBus& bus, ScsiDriverId id);
    ~CSimBusConnection();
    CSimBusConnection(const CSimBusConnection&) = delete;
    CSimBusConnection& operator=(const CSimBusConnection&) = delete;

    // False when the manager was asked for and our DLL or its attach entry is missing.
    bool IsConnected() const { return !m_bManagerMissing; }
    // The seam's record of what the NT transport opened; only when that way is connected.
    CSimDeviceIo& Io() { return *m_io; }
    // Null: the manager goes back to its own bus, read afresh from the bus description.
    void AttachToManager(CSimBus* bus) const;
    // One of the manager's control entries (sim/AspiManager.h); null when it has none of that name.
    template <class Proc> Proc ManagerEntry(const char* name) const
    {
        if (m_manager == nullptr)
            return nullptr;
        return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(m_manager, name)));
    }

private:
    CSimBusConnection(CSimBus& bus, bool throughSeam, bool throughManager);
    void LoadManager(CSimBus& bus);

    std::unique_ptr<CSimDeviceIo> m_io;
    HMODULE m_manager = nullptr;
    SimAttachBusProc m_attach = nullptr;
    bool m_bManagerMissing = false;
};
