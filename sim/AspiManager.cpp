// Our ASPI for Win32 manager over the virtual bus. Posted requests run on the manager's own
// thread, which calls the request's post routine, as the real manager does.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "core/scsi/AspiSrb.h"
#include "core/util/Watch.h"
#include "sim/AspiManager.h"
#include "sim/VirtualBus.h"

#define ASPI_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr LONGLONG kWatchMicroseconds = 2000;

class CAspiManager {
public:
    CAspiManager();
    DWORD SupportInfo();
    DWORD Send(void* srb);
    void Attach(CSimBus* bus);
    DWORD LastPostThread() const { return m_lastPostThread; }
    int Held();

private:
    struct CJob {
        AspiExecSrb* srb;
        bool abort;
    };
    CSimBus& Bus();
    DWORD HostInquiry(AspiHostInquirySrb* srb);
    DWORD Exec(AspiExecSrb* srb);
    DWORD Abort(AspiAbortSrb* srb);
    CSimReply Run(AspiExecSrb* srb);
    void Complete(AspiExecSrb* srb, const CSimReply& reply, bool post);
    void Finish(AspiExecSrb* srb, uint8_t status, bool post);
    void StartWorker();
    void Queue(const CJob& job);
    static DWORD WINAPI WorkerProc(void* self);
    void Work();
    bool TakeJob(CJob& job);
    bool QueueEmpty();
    void WaitForWork();
    void Do(const CJob& job);

    CRITICAL_SECTION m_queueLock;
    CRITICAL_SECTION m_busLock;
    HANDLE m_wake = nullptr;
    HANDLE m_thread = nullptr;
    volatile LONG m_workerSleeps = 0;  // the worker sleeps on m_wake rather than watching the queue
    std::deque<CJob> m_queue;
    std::deque<AspiExecSrb*> m_held;  // hung requests, completed only by an abort
    std::unique_ptr<CVirtualBus> m_ownBus;
    CSimBus* m_attached = nullptr;
    volatile DWORD m_lastPostThread = 0;
};

CAspiManager g_Manager;
HMODULE g_Module;

// For the start-up benchmark: the moment the program sent its first SCSI command, in 100 ns units
// of the system clock, written once to the file BRELVANE_SIMSTAMP names.
void StampFirstCommand()
{
    static LONG stamped = 0;
    char path[MAX_PATH] = {};
    if (InterlockedExchange(&stamped, 1) != 0 || GetEnvironmentVariableA("BRELVANE_SIMSTAMP", path, sizeof path) == 0)
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (FILE* file = std::fopen(path, "w")) {
        std::fprintf(file, "%llu\n", (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime);
        std::fclose(file);
    }
}

CAspiManager::CAspiManager()
{
    InitializeCriticalSection(&m_queueLock);
    InitializeCriticalSection(&m_busLock);
}

CSimBus& CAspiManager::Bus()
{
    if (m_attached != nullptr)
        return *m_attached;
    if (!m_ownBus) {
        // The bus description: named by BRELVANE_SIMBUS, else SIMBUS.TXT beside the DLL.
        m_ownBus = std::make_unique<CVirtualBus>();
        char path[MAX_PATH] = {};
        if (GetEnvironmentVariableA("BRELVANE_SIMBUS", path, sizeof path) == 0 || path[0] == '\0') {
            GetModuleFileNameA(g_Module, path, sizeof path);
            char* slash = std::strrchr(path, '\\');
            std::strcpy(slash != nullptr ? slash + 1 : path, "SIMBUS.TXT");
        }
        std::string error;
        const bool present = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
        if (!present || !m_ownBus->LoadDescriptionFile(path, &error)) {
            // The program only sees an empty bus; whoever wrote the description learns why.
            if (present)
                std::fprintf(stderr, "%s: %s\n", path, error.c_str());
            m_ownBus = std::make_unique<CVirtualBus>();
            m_ownBus->AddHost(CSimHostInfo());
        }
    }
    return *m_ownBus;
}

void CAspiManager::Attach(CSimBus* bus)
{
    EnterCriticalSection(&m_busLock);
    m_attached = bus;
    // Back on our own bus, the description is read afresh.
    if (bus == nullptr)
        m_ownBus.reset();
    LeaveCriticalSection(&m_busLock);
}

int CAspiManager::Held()
{
    EnterCriticalSection(&m_queueLock);
    int count = int(m_held.size() + m_queue.size());
    LeaveCriticalSection(&m_queueLock);
    return count;
}

DWORD CAspiManager::SupportInfo()
{
    EnterCriticalSection(&m_busLock);
    CSimBus& bus = Bus();
    DWORD info = bus.ManagerReady() ? (DWORD(kAspiCompleted) << 8) | DWORD(bus.HostCount() & 0xFF)
                                    : DWORD(kAspiNoAdapters) << 8;
    LeaveCriticalSection(&m_busLock);
    return info;
}

DWORD CAspiManager::Send(void* srb)
{
    if (srb == nullptr)
        return kAspiInvalidSrb;
    switch (static_cast<uint8_t*>(srb)[0]) {
    case kAspiHostInquiry:
        return HostInquiry(static_cast<AspiHostInquirySrb*>(srb));
    case kAspiExecScsi:
        return Exec(static_cast<AspiExecSrb*>(srb));
    case kAspiAbortSrb:
        return Abort(static_cast<AspiAbortSrb*>(srb));
    default:
        static_cast<uint8_t*>(srb)[1] = kAspiInvalidCommand;
        return kAspiInvalidCommand;
    }
}

DWORD CAspiManager::HostInquiry(AspiHostInquirySrb* srb)
{
    CSimHostInfo info;
    EnterCriticalSection(&m_busLock);
    CSimBus& bus = Bus();
    bool known = bus.GetHost(srb->adapter, info);
    int count = bus.HostCount();
    LeaveCriticalSection(&m_busLock);
    if (!known) {
        srb->status = kAspiInvalidAdapter;
        return kAspiInvalidAdapter;
    }
    bool extended = srb->reserved == kAspiExtendedRequest && info.extendedInquiry;
    srb->adapterCount = uint8_t(count);
    srb->hostScsiId = uint8_t(info.scsiId);
    std::memset(srb->managerId, ' ', sizeof srb->managerId);
    std::memcpy(srb->managerId, "VIRTUAL ASPI", 12);
    std::memset(srb->identifier, 0, sizeof srb->identifier);
    std::memcpy(srb->identifier, info.name,
                std::min(std::strlen(info.name), sizeof srb->identifier));
    std::memset(srb->unique, 0, sizeof srb->unique);
    srb->extendedFlags = 0;
    srb->reserved = 0;
    if (extended) {
        srb->extendedFlags =
            uint16_t((info.targets >= 16 ? 0x04 : 0) | (info.targets >= 32 ? 0x08 : 0));
        srb->reserved = (4u << 16) | kAspiExtendedAnswer;
    }
    srb->status = kAspiCompleted;
    return kAspiCompleted;
}

CSimReply CAspiManager::Run(AspiExecSrb* srb)
{
    CSimCommand cmd;
    cmd.cdb = srb->cdb;
    cmd.cdbLength = srb->cdbLength;
    cmd.direction = srb->flags & (kSimDataIn | kSimDataOut);
    cmd.data = srb->buffer;
    cmd.length = srb->bufferLength;
    cmd.senseLength = srb->senseLength;
    CSimAddress address;
    address.host = srb->adapter;
    address.target = srb->target;
    address.lun = srb->lun;
    EnterCriticalSection(&m_busLock);
    CSimReply reply = Bus().Execute(address, cmd);
    LeaveCriticalSection(&m_busLock);
    return reply;
}

DWORD CAspiManager::Exec(AspiExecSrb* srb)
{
    StampFirstCommand();
    CSimHostInfo info;
    EnterCriticalSection(&m_busLock);
    bool known = Bus().GetHost(srb->adapter, info);
    LeaveCriticalSection(&m_busLock);
    if (!known) {
        srb->status = kAspiInvalidAdapter;
        return kAspiInvalidAdapter;
    }
    if ((srb->cdbLength != 6 && srb->cdbLength != 10 && srb->cdbLength != 12) ||
        (srb->buffer == nullptr && srb->bufferLength != 0)) {
        srb->status = kAspiInvalidSrb;
        return kAspiInvalidSrb;
    }
    srb->status = kAspiPending;
    if (!(srb->flags & kAspiPosting) || info.immediate) {
        CSimReply reply = Run(srb);
        if (reply.disposition != SimDisposition::Hang) {
            Sleep(reply.delayMs);
            Complete(srb, reply, false);
            return srb->status;
        }
        EnterCriticalSection(&m_queueLock);
        m_held.push_back(srb);
        LeaveCriticalSection(&m_queueLock);
        return kAspiPending;
    }
    Queue(CJob{srb, false});
    return kAspiPending;
}

DWORD CAspiManager::Abort(AspiAbortSrb* srb)
{
    Queue(CJob{static_cast<AspiExecSrb*>(srb->request), true});
    srb->status = kAspiCompleted;
    return kAspiCompleted;
}

void CAspiManager::Complete(AspiExecSrb* srb, const CSimReply& reply, bool post)
{
    srb->hostStatus = 0;
    srb->targetStatus = 0;
    if (reply.disposition == SimDisposition::NoTarget) {
        srb->hostStatus = kAspiSelectionTimeout;
        Finish(srb, kAspiError, post);
        return;
    }
    srb->targetStatus = reply.status;
    if (reply.status == kSimCheckCondition) {
        size_t count =
            std::min<size_t>({srb->senseLength, size_t(reply.senseLength), kAspiSenseArea});
        std::memcpy(srb->sense, reply.sense, count);
    }
    // A data phase that moved fewer bytes than the request holds is an underrun, as adapters
    // report it.
    bool underrun = reply.status == kSimGood && reply.transferred < srb->bufferLength &&
                    (srb->flags & kSimDataIn) != 0;
    if (underrun)
        srb->hostStatus = kAspiDataOverrun;
    Finish(srb, reply.status == kSimGood && !underrun ? kAspiCompleted : kAspiError, post);
}

void CAspiManager::Finish(AspiExecSrb* srb, uint8_t status, bool post)
{
    // Once the status is set the owner may free the block: read what we still need first.
    AspiPostProc proc = (srb->flags & kAspiPosting) ? srb->postProc : nullptr;
    MemoryBarrier();
    srb->status = status;
    if (post && proc != nullptr) {
        m_lastPostThread = GetCurrentThreadId();
        proc(srb);
    }
}

void CAspiManager::StartWorker()
{
    EnterCriticalSection(&m_queueLock);
    if (m_thread == nullptr) {
        // The worker may outlive a FreeLibrary of the program, so the DLL stays loaded for good.
        HMODULE pinned;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCSTR>(&g_Manager), &pinned);
        m_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, WorkerProc, this, 0, nullptr);
    }
    LeaveCriticalSection(&m_queueLock);
}

DWORD WINAPI CAspiManager::WorkerProc(void* self)
{
    static_cast<CAspiManager*>(self)->Work();
    return 0;
}

// Setting the event is a round trip to the wine server: only a sleeping worker gets it.
void CAspiManager::Queue(const CJob& job)
{
    StartWorker();
    EnterCriticalSection(&m_queueLock);
    m_queue.push_back(job);
    LeaveCriticalSection(&m_queueLock);
    if (InterlockedExchange(&m_workerSleeps, 0) != 0)
        SetEvent(m_wake);
}

void CAspiManager::Work()
{
    for (;;) {
        CJob job{};
        while (!TakeJob(job))
            WaitForWork();
        Do(job);
    }
}

bool CAspiManager::TakeJob(CJob& job)
{
    EnterCriticalSection(&m_queueLock);
    const bool taken = !m_queue.empty();
    if (taken) {
        job = m_queue.front();
        m_queue.pop_front();
    }
    LeaveCriticalSection(&m_queueLock);
    return taken;
}

bool CAspiManager::QueueEmpty()
{
    EnterCriticalSection(&m_queueLock);
    const bool empty = m_queue.empty();
    LeaveCriticalSection(&m_queueLock);
    return empty;
}

// A scanning program sends its next request moments after the last one's post: watching the
// queue that long saves the sender waking us. Then the worker sleeps.
void CAspiManager::WaitForWork()
{
    if (WatchFor([this] { return !QueueEmpty(); }, kWatchMicroseconds))
        return;
    InterlockedExchange(&m_workerSleeps, 1);
    // A job queued before the flag was up found no sleeper to wake.
    if (QueueEmpty())
        WaitForSingleObject(m_wake, INFINITE);
    InterlockedExchange(&m_workerSleeps, 0);
}

void CAspiManager::Do(const CJob& job)
{
    if (job.abort) {
        EnterCriticalSection(&m_queueLock);
        auto it = std::find(m_held.begin(), m_held.end(), job.srb);
        const bool wasHeld = it != m_held.end();
        if (wasHeld)
            m_held.erase(it);
        LeaveCriticalSection(&m_queueLock);
        if (wasHeld) {
            job.srb->hostStatus = 0;
            job.srb->targetStatus = 0;
            Finish(job.srb, kAspiAborted, true);
        }
        return;
    }
    CSimReply reply = Run(job.srb);
    if (reply.disposition == SimDisposition::Hang) {
        EnterCriticalSection(&m_queueLock);
        m_held.push_back(job.srb);
        LeaveCriticalSection(&m_queueLock);
        return;
    }
    if (reply.delayMs != 0)
        Sleep(reply.delayMs);
    Complete(job.srb, reply, true);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_Module = instance;
    return TRUE;
}

ASPI_EXPORT DWORD __cdecl GetASPI32SupportInfo()
{
    return g_Manager.SupportInfo();
}

ASPI_EXPORT DWORD __cdecl SendASPI32Command(void* srb)
{
    return g_Manager.Send(srb);
}

ASPI_EXPORT void __cdecl SimAttachBus(CSimBus* bus)
{
    g_Manager.Attach(bus);
}

ASPI_EXPORT DWORD __cdecl SimLastPostThread()
{
    return g_Manager.LastPostThread();
}

ASPI_EXPORT int __cdecl SimHeldRequests()
{
    return g_Manager.Held();
}
