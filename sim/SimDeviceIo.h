#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/scsi/DeviceIo.h"
#include "sim/SimBus.h"

// The NT device-I/O seam over a virtual bus: "\\.\ScsiN:" opens host adapter N, "\\.\SCANNERn"
// the scanner class device n, and the five SCSI IOCTLs reach the bus. The pass-through worker
// thread calls in too, so every call is locked (except the command's own delays).
class CSimDeviceIo : public CDeviceIo {
public:
    explicit CSimDeviceIo(CSimBus& bus) : m_bus(bus) {}

    HANDLE Open(const char* name, DWORD access, DWORD share) override;
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) override;
    BOOL Close(HANDLE device) override;

    std::vector<std::string> OpenAttempts() const;  // every name asked for, in order
    int OpenHandles() const;
    int Rescans(int host) const;

private:
    struct CSimHandle {
        bool scanner = false;
        CSimAddress address;
    };
    bool Lookup(HANDLE device, CSimHandle& handle) const;
    BOOL PassThrough(const CSimHandle& handle, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned);
    BOOL Fail(DWORD error);

    CSimBus& m_bus;
    mutable std::mutex m_lock;
    std::map<HANDLE, CSimHandle> m_handles;
    std::vector<std::string> m_attempts;
    std::map<int, int> m_rescans;
    uintptr_t m_nextHandle = 0x5100;
};
