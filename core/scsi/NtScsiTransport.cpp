#include "core/scsi/NtScsiTransport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/messages/TraceLog.h"
#include "core/scsi/DeviceIo.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiWait.h"
#include "core/scsi/WorkerThread.h"
#include "core/util/Clock.h"

HANDLE g_NtDevice = nullptr;
CNtRequest* volatile g_pNtRequest = nullptr;
volatile LONG g_NtBusy = 0;
volatile uint16_t g_NtResult = 0;

namespace {

enum : uint16_t { kNtSent = 1, kNtFailed = 4, kNtNotReady = 239, kNtNothingPending = 255 };
constexpr uint32_t kNtMaxTransfer = 61440;
constexpr uint32_t kBusyRetryMs = 250;
constexpr int kMaxPorts = 7;
constexpr uint16_t kNoScanner = 0xFFFF;

// Longest sleep of a wait: a user abort raised on another thread (a device's abort handler runs
// on the worker) is seen within this time even while nothing else wakes the wait.
constexpr uint32_t kAbortCheckMs = 50;

// The request handed to the worker; only the worker takes it out.
CNtRequest* volatile g_pWorkerRequest = nullptr;
// Set by the worker each time it has run a request, after it cleared g_NtBusy, so that a wait ends
// as soon as the command is done. Auto-reset: a signal left by a request given up on wakes the
// next wait once, which then finds g_NtBusy still set and goes back to sleep.
HANDLE g_NtDoneEvent = nullptr;

void Unhold(CNtRequest* request)
{
    if (InterlockedDecrement(&request->holders) == 0)
        delete request;
}

uint16_t NtSendPassThrough(CNtRequest* request)
{
    DWORD returned = 0;
    if (request->io->Control(request->device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request->request,
                             sizeof request->request, &request->request, sizeof request->request,
                             &returned))
        return kNtSent;
    return GetLastError() == ERROR_NOT_READY ? kNtNotReady : kNtFailed;
}

// The worker's callback.
void NtRunPendingRequest()
{
    CNtRequest* request = reinterpret_cast<CNtRequest*>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_pWorkerRequest), nullptr));
    if (request == nullptr) {
        g_NtResult = kNtNothingPending;
    } else {
        g_NtResult = NtSendPassThrough(request);
        Unhold(request);
    }
    g_NtBusy = 0;
    if (g_NtDoneEvent != nullptr)
        SetEvent(g_NtDoneEvent);
}

HANDLE OpenName(CDeviceIo* io, const char* name, DWORD access, DWORD share)
{
    HANDLE handle = io->Open(name, access, share);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

CNtScsiTransport::CNtScsiTransport(CDeviceIo* io) : m_pIo(io)
{
    m_timeout = 20000;
    m_maxTransfer = kNtMaxTransfer;
    std::fill(std::begin(m_scannerIndex), std::end(m_scannerIndex), kNoScanner);
    g_NtBusy = 0;
    g_NtDevice = nullptr;
    g_pNtRequest = nullptr;
}

CNtScsiTransport::~CNtScsiTransport()
{
    CloseDevice();
    delete m_pWorker;
    if (g_NtDoneEvent != nullptr)
        CloseHandle(g_NtDoneEvent);
    g_NtDoneEvent = nullptr;
    if (g_pNtRequest != nullptr) {
        Unhold(g_pNtRequest);
        g_pNtRequest = nullptr;
    }
}

void CNtScsiTransport::CloseDevice()
{
    if (g_NtDevice != nullptr)
        Close(g_NtDevice);
    g_NtDevice = nullptr;
}

uint16_t CNtScsiTransport::Open()
{
    char name[32];
    for (int port = 0; port < kMaxPorts; ++port) {
        std::snprintf(name, sizeof name, "\\\\.\\Scsi%d:", port);
        HANDLE handle = OpenName(m_pIo, name, m_access, m_share);
        if (handle == nullptr)
            break;
        ++m_adapterCount;
        m_pIo->Close(handle);
    }
    HANDLE scanner = OpenName(m_pIo, "\\\\.\\SCANNER0", m_access, m_share);
    if (scanner != nullptr) {
        m_pIo->Close(scanner);
        m_scannerClass = 1;
        BuildScannerIndexTable();
    }
    g_NtDevice = nullptr;
    if (g_NtDoneEvent == nullptr)
        g_NtDoneEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_pWorker = new CWorkerThread;
    if (m_pWorker->Start(NtRunPendingRequest))
        m_async = 1;
    if (m_adapterCount == 0)
        return kMsgNoNtScsiPort;
    if (g_pTraceLog != nullptr)
        g_pTraceLog->Printf("NT SCSI driver installed");
    return kMsgScsiOpened;
}

void CNtScsiTransport::BuildScannerIndexTable()
{
    CloseDevice();
    char name[32];
    // The entries are 16 bits wide and 0xFFFF means "none", so numbering stops below it.
    for (int n = 0; n < kNoScanner; ++n) {
        std::snprintf(name, sizeof name, "\\\\.\\SCANNER%d", n);
        HANDLE handle = OpenName(m_pIo, name, m_access, m_share);
        if (handle == nullptr)
            break;
        SCSI_ADDRESS address{};
        DWORD returned = 0;
        if (m_pIo->Control(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                           &returned) &&
            address.Lun == 0 && address.PortNumber <= 7 && address.PathId <= 1 &&
            address.TargetId <= 7)
            m_scannerIndex[address.PortNumber * 16 + address.PathId * 8 + address.TargetId] =
                uint16_t(n);
        m_pIo->Close(handle);
    }
    g_NtDevice = nullptr;
}

uint16_t CNtScsiTransport::ScannerIndex(int port, int path, int target) const
{
    // A wide target or a second path beyond the table would otherwise read the next port's entry.
    if (port < 0 || port > 7 || path < 0 || path > 1 || target < 0 || target > 7)
        return kNoScanner;
    return m_scannerIndex[port * 16 + path * 8 + target];
}

void CNtScsiTransport::Close(HANDLE handle)
{
    if (handle != nullptr)
        m_pIo->Close(handle);
}

int CNtScsiTransport::GetBusCount()
{
    return m_busCount;
}

uint32_t CNtScsiTransport::GetMaxTransfer()
{
    m_maxTransfer = std::min(m_adapterLimit, kNtMaxTransfer);
    return LimitByScanBuffer(m_maxTransfer);
}

bool CNtScsiTransport::SupportsAsync()
{
    return m_async != 0;
}

void CNtScsiTransport::SelectAdapter(uint8_t adapter)
{
    m_adapter = adapter;
    CloseDevice();
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\Scsi%d:", int(adapter));
    HANDLE port = OpenName(m_pIo, name, m_access, m_share);
    if (port != nullptr) {
        DWORD returned = 0;
        m_pIo->Control(port, IOCTL_SCSI_RESCAN_BUS, nullptr, 0, nullptr, 0, &returned);
        auto* inquiry = new (std::nothrow) uint8_t[2048];
        if (inquiry != nullptr && m_pIo->Control(port, IOCTL_SCSI_GET_INQUIRY_DATA, nullptr, 0,
                                                 inquiry, 2048, &returned)) {
            m_busCount = inquiry[0];
            IO_SCSI_CAPABILITIES caps{};
            if (m_pIo->Control(port, IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &caps, sizeof caps,
                               &returned)) {
                // A port that names no page limit is limited by its transfer length alone.
                uint64_t byPages = caps.MaximumPhysicalPages > 0
                                       ? uint64_t(caps.MaximumPhysicalPages - 1) * 4096
                                       : UINT64_MAX;
                m_adapterLimit = uint32_t(std::min<uint64_t>(caps.MaximumTransferLength, byPages));
            }
        }
        delete[] inquiry;
        m_pIo->Close(port);
    }
    g_NtDevice = nullptr;
}

void CNtScsiTransport::SelectTarget(uint8_t target)
{
    m_target = target;
    CloseDevice();
    char name[32];
    if (!m_scannerClass) {
        std::snprintf(name, sizeof name, "\\\\.\\Scsi%d:", int(m_adapter));
    } else {
        uint16_t n = ScannerIndex(m_adapter, m_bus, target);
        if (n == kNoScanner)
            return;
        std::snprintf(name, sizeof name, "\\\\.\\SCANNER%d", int(n));
    }
    g_NtDevice = OpenName(m_pIo, name, m_access, m_share);
}

CNtRequest* CNtScsiTransport::BuildRequest(const uint8_t* cdb, int length, int direction,
                                           CScsiBuffer& data)
{
    auto* request = new (std::nothrow) CNtRequest;
    if (request == nullptr)
        return nullptr;
    std::memset(&request->request, 0, sizeof request->request);
    SCSI_PASS_THROUGH_DIRECT& h = request->request.header;
    h.Length = sizeof h;
    h.PathId = m_bus;
    h.TargetId = m_target;
    h.Lun = m_lun;
    h.CdbLength = UCHAR(length);
    h.SenseInfoLength = m_senseLength;
    h.DataIn = (direction & kScsiDataIn)    ? kNtDataIn
               : (direction & kScsiDataOut) ? kNtDataOut
                                            : kNtNoData;
    h.DataTransferLength = data.GetLength();
    h.TimeOutValue = kNtPassThroughSeconds;
    h.DataBuffer = data.GetData();
    h.SenseInfoOffset = kNtSenseOffset;
    std::memcpy(h.Cdb, cdb, length);
    request->io = m_pIo;
    request->device = g_NtDevice;
    request->holders = 1;
    request->asked = h.DataTransferLength;
    return request;
}

TransportResult CNtScsiTransport::Exec10(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return Exec(cdb, 10, direction, data);
}

TransportResult CNtScsiTransport::Exec6(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return Exec(cdb, 6, direction, data);
}

TransportResult CNtScsiTransport::StartRequest(const uint8_t* cdb, int length, int direction,
                                               CScsiBuffer& data, CNtRequest*& request)
{
    if (g_NtBusy || g_NtDevice == nullptr)
        return kScsiFailed;
    if (IsDataMissing(data))
        return kScsiNoMemory;
    request = BuildRequest(cdb, length, direction, data);
    if (request == nullptr)
        return kScsiFailed;
    g_pNtRequest = request;
    return kScsiGood;
}

TransportResult CNtScsiTransport::Exec(const uint8_t* cdb, int length, int direction,
                                       CScsiBuffer& data)
{
    CNtRequest* request = nullptr;
    if (TransportResult refused = StartRequest(cdb, length, direction, data, request))
        return refused;
    TransportResult result = NtExecRequest(request, data);
    LogCdb(cdb, length, result);
    Unhold(request);
    g_pNtRequest = nullptr;
    g_NtBusy = 0;
    return result;
}

TransportResult CNtScsiTransport::NtExecRequest(CNtRequest* request, CScsiBuffer& data)
{
    uint32_t start = MillisecondClock();
    for (;;) {
        // The port wrote the bytes it moved over the lengths: a command repeated after BUSY asks
        // for its whole transfer and sense again, or a data-out command would go without its data.
        request->request.header.DataTransferLength = request->asked;
        request->request.header.SenseInfoLength = m_senseLength;
        g_NtBusy = 1;
        uint16_t r = NtSendPassThrough(request);
        if (g_UserAbort) {
            g_UserAbort = 0;
            return kScsiUserAbort;
        }
        if (r == kNtFailed)
            return kScsiFailed;
        if (r == kNtNotReady) {
            if (!m_retry)
                return kScsiNoDevice;
            NtWaitPumping(kBusyRetryMs);
        } else {
            uint8_t status = request->request.header.ScsiStatus;
            switch (status) {
            case 0x00:
                return request->IsShortRead() ? kScsiDataUnderrun : kScsiGood;
            case 0x02:
                std::memcpy(data.m_sense, request->request.sense, kNtSenseArea);
                return kScsiCheckCondition;
            case 0x04:
            case 0x10:
            case 0x14:
            case 0x18:
            case 0x22:
            case 0x28:
                return status;
            case 0x08:
                NtWaitPumping(kBusyRetryMs);
                break;
            default:
                return kScsiFailed;
            }
        }
        if (g_UserAbort) {
            g_UserAbort = 0;
            return kScsiUserAbort;
        }
        if (ClockElapsed(start) >= m_timeout)
            return kScsiTimeout;
    }
}

// Sleeps between messages until the worker signals the end of the command: a command that is done
// ends the wait at once instead of at the next tick of a polling loop.
void CNtScsiTransport::NtWaitPumping(uint32_t milliseconds)
{
    uint32_t start = MillisecondClock();
    for (;;) {
        uint32_t elapsed = ClockElapsed(start);
        if (g_UserAbort || !g_NtBusy || elapsed >= milliseconds)
            return;
        MSG msg;
        if (TakeWaitingMessage(msg))
            DispatchTakenMessage(msg);
        else
            WaitForEventOrMessage(g_NtDoneEvent, std::min(milliseconds - elapsed, kAbortCheckMs));
    }
}

TransportResult CNtScsiTransport::StartAsync10(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return StartAsync(cdb, 10, direction, data);
}

TransportResult CNtScsiTransport::StartAsync6(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return StartAsync(cdb, 6, direction, data);
}

TransportResult CNtScsiTransport::StartAsync(const uint8_t* cdb, int length, int direction,
                                             CScsiBuffer& data)
{
    CNtRequest* request = nullptr;
    if (TransportResult refused = StartRequest(cdb, length, direction, data, request))
        return refused;
    request->holders = 2;  // this thread and the worker
    g_pWorkerRequest = request;
    g_NtBusy = 1;
    m_asyncPending = 1;
    m_workerHolds = m_pWorker != nullptr && m_pWorker->Trigger();
    if (!m_workerHolds) {
        g_pWorkerRequest = nullptr;
        request->holders = 1;
    }
    TransportResult result = m_workerHolds ? kScsiGood : kScsiFailed;
    LogCdb(cdb, length, result);
    return result;
}

TransportResult CNtScsiTransport::FinishAsync()
{
    CNtRequest* request = g_pNtRequest;
    if (!m_asyncPending) {
        if (request != nullptr)
            Unhold(request);
        g_pNtRequest = nullptr;
        return kScsiGood;
    }
    uint32_t start = MillisecondClock();
    NtWaitPumping(m_timeout);
    TransportResult result;
    if (g_UserAbort) {
        while (g_NtBusy && ClockElapsed(start) < 2 * m_timeout)
            Sleep(1);
        g_UserAbort = 0;
        result = kScsiUserAbort;
    } else if (g_NtBusy) {
        result = kScsiTimeout;
    } else {
        bool good = g_NtResult == kNtSent && request->request.header.ScsiStatus == 0;
        result = !good ? kScsiFailed : request->IsShortRead() ? kScsiDataUnderrun : kScsiGood;
    }
    // A request the worker still runs stays busy: the worker frees it and ends the busy state
    // when it is done, so no later command can start under it. Without a worker nobody else
    // ends it.
    if (!m_workerHolds)
        g_NtBusy = 0;
    Unhold(request);
    g_pNtRequest = nullptr;
    m_asyncPending = 0;
    if (m_logScsi && g_pTraceLog != nullptr)
        g_pTraceLog->Printf("SCSI Async Status %04x, Host %02x, Target %02x\n", unsigned(result),
                            0u, unsigned(result));
    return result;
}
