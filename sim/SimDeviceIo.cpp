#include "sim/SimDeviceIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/scsi/NtPassThrough.h"

HANDLE CSimDeviceIo::Open(const char* name, DWORD, DWORD)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_attempts.push_back(name);
    CSimHandle handle;
    int number = -1;
    char tail = 0;
    bool found = false;
    if (std::strncmp(name, "\\\\.\\", 4) == 0) {
        const char* device = name + 4;
        CSimHostInfo info;
        if (strncasecmp(device, "Scsi", 4) == 0 &&
            std::sscanf(device + 4, "%d%c", &number, &tail) == 2 && tail == ':' &&
            m_bus.GetHost(number, info)) {
            handle.address.host = number;
            found = true;
        } else if (strncasecmp(device, "SCANNER", 7) == 0 &&
                   std::sscanf(device + 7, "%d", &number) == 1 &&
                   m_bus.GetScannerDevice(number, handle.address)) {
            handle.scanner = true;
            found = true;
        }
    }
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = reinterpret_cast<HANDLE>(m_nextHandle++);
    m_handles[h] = handle;
    return h;
}

BOOL CSimDeviceIo::Close(HANDLE device)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_handles.erase(device) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

std::vector<std::string> CSimDeviceIo::OpenAttempts() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_attempts;
}

int CSimDeviceIo::OpenHandles() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return int(m_handles.size());
}

int CSimDeviceIo::Rescans(int host) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_rescans.find(host);
    return it == m_rescans.end() ? 0 : it->second;
}

bool CSimDeviceIo::Lookup(HANDLE device, CSimHandle& handle) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_handles.find(device);
    if (it == m_handles.end())
        return false;
    handle = it->second;
    return true;
}

BOOL CSimDeviceIo::Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL CSimDeviceIo::Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                           DWORD outSize, DWORD* returned)
{
    CSimHandle handle;
    if (!Lookup(device, handle))
        return Fail(ERROR_INVALID_HANDLE);
    CSimHostInfo info;
    m_bus.GetHost(handle.address.host, info);
    DWORD dummy = 0;
    if (returned == nullptr)
        returned = &dummy;
    *returned = 0;
    switch (code) {
    case IOCTL_SCSI_GET_ADDRESS: {
        if (out == nullptr || outSize < sizeof(SCSI_ADDRESS))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        SCSI_ADDRESS address{};
        address.Length = sizeof address;
        address.PortNumber = UCHAR(handle.address.host);
        address.PathId = UCHAR(handle.address.bus);
        address.TargetId = UCHAR(handle.address.target);
        address.Lun = UCHAR(handle.address.lun);
        std::memcpy(out, &address, sizeof address);
        *returned = sizeof address;
        return TRUE;
    }
    case IOCTL_SCSI_RESCAN_BUS: {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_rescans[handle.address.host];
        return TRUE;
    }
    case IOCTL_SCSI_GET_INQUIRY_DATA:
        if (out == nullptr || outSize < 1)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memset(out, 0, outSize);
        *static_cast<UCHAR*>(out) = UCHAR(info.buses);
        *returned = outSize;
        return TRUE;
    case IOCTL_SCSI_GET_CAPABILITIES: {
        if (out == nullptr || outSize < sizeof(IO_SCSI_CAPABILITIES))
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        IO_SCSI_CAPABILITIES caps{};
        caps.Length = sizeof caps;
        caps.MaximumTransferLength = info.maxTransfer;
        caps.MaximumPhysicalPages = info.maxPages;
        std::memcpy(out, &caps, sizeof caps);
        *returned = sizeof caps;
        return TRUE;
    }
    case IOCTL_SCSI_PASS_THROUGH_DIRECT:
        return PassThrough(handle, in, inSize, out, outSize, returned);
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

BOOL CSimDeviceIo::PassThrough(const CSimHandle& handle, void* in, DWORD inSize, void* out,
                               DWORD outSize, DWORD* returned)
{
    if (in == nullptr || out == nullptr || inSize < sizeof(SCSI_PASS_THROUGH_DIRECT) ||
        outSize < sizeof(SCSI_PASS_THROUGH_DIRECT))
        return Fail(ERROR_INVALID_PARAMETER);
    auto* request = static_cast<SCSI_PASS_THROUGH_DIRECT*>(out);
    if (out != in)
        std::memcpy(out, in, sizeof(SCSI_PASS_THROUGH_DIRECT));
    if (request->DataBuffer == nullptr && request->DataTransferLength > 0)
        return Fail(ERROR_INVALID_PARAMETER);

    CSimAddress address = handle.address;
    if (!handle.scanner) {
        address.bus = request->PathId;
        address.target = request->TargetId;
        address.lun = request->Lun;
    }
    CSimCommand cmd;
    cmd.cdb = request->Cdb;
    cmd.cdbLength = request->CdbLength;
    cmd.direction = request->DataIn == kNtDataIn    ? kSimDataIn
                    : request->DataIn == kNtDataOut ? kSimDataOut
                                                    : 0;
    cmd.data = static_cast<uint8_t*>(request->DataBuffer);
    cmd.length = request->DataTransferLength;
    cmd.senseLength = request->SenseInfoLength;
    CSimReply reply = m_bus.Execute(address, cmd);
    if (reply.delayMs != 0)
        Sleep(reply.delayMs);
    if (reply.disposition == SimDisposition::NoTarget)
        return Fail(ERROR_NOT_READY);
    if (reply.disposition == SimDisposition::Hang) {
        // The port gives up after the request's own time-out.
        DWORD limit = request->TimeOutValue * 1000;
        Sleep(reply.hangMs != 0 && reply.hangMs < limit ? reply.hangMs : limit);
        return Fail(ERROR_SEM_TIMEOUT);
    }
    request->ScsiStatus = reply.status;
    request->DataTransferLength = reply.transferred;
    if (reply.status == kSimCheckCondition) {
        DWORD room = request->SenseInfoOffset < outSize ? outSize - request->SenseInfoOffset : 0;
        DWORD count =
            std::min<DWORD>({DWORD(request->SenseInfoLength), DWORD(reply.senseLength), room});
        std::memcpy(static_cast<uint8_t*>(out) + request->SenseInfoOffset, reply.sense, count);
        request->SenseInfoLength = UCHAR(count);
    } else {
        request->SenseInfoLength = 0;
    }
    *returned = outSize;
    return TRUE;
}
