#include "core/scsi/DeviceIo.h"

namespace {

CWin32DeviceIo g_Win32DeviceIo;
CDeviceIo* g_pDeviceIo = &g_Win32DeviceIo;

}  // namespace

HANDLE CWin32DeviceIo::Open(const char* name, DWORD access, DWORD share)
{
    return ::CreateFileA(name, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL CWin32DeviceIo::Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                             DWORD outSize, DWORD* returned)
{
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
}

BOOL CWin32DeviceIo::Close(HANDLE device)
{
    return ::CloseHandle(device);
}

CDeviceIo* CurrentDeviceIo()
{
    return g_pDeviceIo;
}

void SetDeviceIo(CDeviceIo* io)
{
    g_pDeviceIo = io != nullptr ? io : &g_Win32DeviceIo;
}
