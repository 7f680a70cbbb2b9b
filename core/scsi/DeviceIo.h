#pragma once

#include <windows.h>

// The narrow seam through which the NT pass-through transport reaches its devices. The program
// uses the Win32 calls themselves; tests and the demo put the virtual bus behind it. Failures set
// the calling thread's last error, as the Win32 calls do.
class CDeviceIo {
public:
    virtual ~CDeviceIo() = default;
    // INVALID_HANDLE_VALUE when the device does not open.
    virtual HANDLE Open(const char* name, DWORD access, DWORD share) = 0;
    virtual BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) = 0;
    virtual BOOL Close(HANDLE device) = 0;
};

class CWin32DeviceIo : public CDeviceIo {
public:
    HANDLE Open(const char* name, DWORD access, DWORD share) override;
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) override;
    BOOL Close(HANDLE device) override;
};

// The seam every new NT transport uses: the Win32 one unless a test or the demo set another.
CDeviceIo* CurrentDeviceIo();
void SetDeviceIo(CDeviceIo* io);
