#include "core/scsi/AspiTransport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/messages/TraceLog.h"
#include "core/scsi/LibraryHolder.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiWait.h"
#include "core/util/Clock.h"
#include "core/util/Watch.h"
#include "framework/App.h"

volatile LONG g_AspiPending = 0;
AspiExecSrb* volatile g_pAspiSrb = nullptr;
volatile LONG g_AspiWaiting = 0;
char g_AspiAdapterName[17];

namespace {

constexpr DWORD kAspiAbortedWait = 0xF3;  // the wait ended by the user
constexpr uint8_t kAspiTimedOutStatus = 0x30;
constexpr uint32_t kAspiMaxTransfer = 61440;
constexpr uint32_t kAdapterInquiryMs = 2000;
constexpr uint32_t kBusyRetryMs = 250;
// The longest nap of a wait: it also looks at the clock when no timer could be set.
constexpr DWORD kNapMs = 10;
// Long enough for a manager that posts from its own thread, short enough not to be felt by windows.
constexpr LONGLONG kWatchMicroseconds = 2000;

// Set while the waiting thread sleeps on the posted event rather than watching the flag.
volatile LONG g_AspiWaiterSleeps = 0;

// Wakes the waiting thread as soon as its request is posted; a nap that waited for the clock
// alone would cost every command of a scan its rest of a scheduler tick.
HANDLE PostedEvent()
{
    static HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// Runs on the manager's thread. Only the request being waited for may end the wait: a late
// completion of a request given up on must not end the wait of the next one.
void __cdecl AspiPostRoutine(void* srb)
{
    if (srb == g_pAspiSrb) {
        g_AspiPending = 0;
        MemoryBarrier();
        // A waiter that still watches the flag sees it at once; setting the event is a round trip
        // to the system (to the wine server under wine), so only a sleeping waiter gets it.
        if (g_AspiWaiterSleeps)
            SetEvent(PostedEvent());
    }
}

void CALLBACK AspiTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    g_AspiWaiting = 0;
}

void Trace(const char* format, const char* text)
{
    if (g_pTraceLog != nullptr)
        g_pTraceLog->Printf(format, text);
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Some managers complete a request whose data phase came up short and say so only in the host
// adapter status: the missing bytes would be stale memory in the caller's buffer.
TransportResult CompletedResult(const AspiExecSrb& srb)
{
    if (srb.hostStatus != kAspiDataOverrun)
        return kScsiGood;
    return TransportResult(srb.hostStatus * 256 + srb.targetStatus);
}

}  // namespace

CAspiTransport::CAspiTransport()
{
    m_adapterCount = 1;
    m_maxTransfer = kAspiMaxTransfer;
    m_timeout = 5000;
}

CAspiTransport::~CAspiTransport()
{
    if (g_pAspiSrb != nullptr) {
        ReleaseRequest(g_pAspiSrb);
        g_pAspiSrb = nullptr;
    }
    ReapReleasedRequests();
    // What the manager still holds, or has just finished and may still post, stays allocated: it
    // may write into it, and a freed block could become the next transport's request. The
    // next transport must not find a command of this one still pending.
    g_AspiPending = 0;
    delete m_pLibrary;
}

uint16_t CAspiTransport::Open()
{
    m_pLibrary = new (std::nothrow) CLibraryHolder("WNASPI32.DLL");
    if (m_pLibrary == nullptr)
        return kMsgAspiLoadFailed;
    if (m_pLibrary->GetError() != 0xFFFF) {
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("WNASPI32.DLL initialization failed : error %ld",
                                long(m_pLibrary->GetError()));
        return kMsgAspiLoadFailed;
    }
    m_pSupportInfo = reinterpret_cast<SupportInfoProc>(
        reinterpret_cast<void (*)()>(m_pLibrary->GetEntry("GetASPI32SupportInfo")));
    m_pSendCommand = reinterpret_cast<SendCommandProc>(
        reinterpret_cast<void (*)()>(m_pLibrary->GetEntry("SendASPI32Command")));
    if (m_pSupportInfo == nullptr || m_pSendCommand == nullptr) {
        Trace("%s", "WNASPI32.DLL is an incorrect version");
        return kMsgAspiWrongVersion;
    }
    DWORD info = m_pSupportInfo();
    if (((info >> 8) & 0xFF) != kAspiCompleted) {
        Trace("%s", "ASPI manager initialization failed");
        return kMsgAspiNotReady;
    }
    m_adapterCount = uint8_t(info & 0xFF);
    Trace("%s", "Winaspi 32 SCSI driver installed");
    return kMsgScsiOpened;
}

uint32_t CAspiTransport::GetMaxTransfer()
{
    m_maxTransfer = kAspiMaxTransfer;
    return LimitByScanBuffer(m_maxTransfer);
}

bool CAspiTransport::SupportsAsync()
{
    return m_async != 0;
}

uint8_t CAspiTransport::GetTargetCount()
{
    return m_targetCount;
}

bool CAspiTransport::IsSparrowAdapter()
{
    return m_sparrow != 0;
}

bool CAspiTransport::InquireAdapter(AspiHostInquirySrb& answer)
{
    std::memset(&answer, 0, sizeof answer);
    if (m_pSendCommand == nullptr)
        return false;
    // On the heap: a manager that answers after we stopped polling must not write into a stack
    // frame that is gone.
    auto* srb = new AspiHostInquirySrb{};
    srb->command = kAspiHostInquiry;
    srb->adapter = m_adapter;
    srb->reserved = kAspiExtendedRequest;
    m_pSendCommand(srb);
    volatile uint8_t* status = &srb->status;
    uint32_t start = MillisecondClock();
    while (*status == kAspiPending && ClockElapsed(start) < kAdapterInquiryMs)
        Sleep(1);
    if (*status == kAspiPending)
        return false;  // left to the manager
    answer = *srb;
    delete srb;
    return answer.status == kAspiCompleted;
}

void CAspiTransport::SelectAdapter(uint8_t adapter)
{
    m_adapter = adapter;
    m_async = 1;
    m_targetCount = 8;
    AspiHostInquirySrb answer;
    std::string identifier;
    if (InquireAdapter(answer)) {
        if ((answer.reserved & 0xFFFF) == kAspiExtendedAnswer && (answer.reserved >> 16) >= 2) {
            if (answer.extendedFlags & 0x04)
                m_targetCount = 16;
            if (answer.extendedFlags & 0x08)
                m_targetCount = 32;
        }
        identifier = Lower(std::string(answer.identifier, strnlen(answer.identifier, 16)));
        // This adapter hangs on overlapped requests.
        m_sparrow = identifier.find("sparrow") != std::string::npos ? 1 : 0;
        if (m_sparrow)
            m_async = 0;
    }
    if (CheckAdapterBlackList(identifier.c_str()))
        m_targetCount = 0;
    if (g_pTraceLog != nullptr)
        g_pTraceLog->Printf("Host adapter: %s, NumTargets %d", identifier.c_str(),
                            int(m_targetCount));
    Sleep(50);
}

const char* CAspiTransport::GetAdapterName()
{
    AspiHostInquirySrb answer;
    std::memset(g_AspiAdapterName, 0, sizeof g_AspiAdapterName);
    if (InquireAdapter(answer))
        std::memcpy(g_AspiAdapterName, answer.identifier, 16);
    return g_AspiAdapterName;
}

int CAspiTransport::CheckAdapterBlackList(const char* identifier)
{
    std::string adapter = Upper(identifier);
    CWinApp* app = AfxGetApp();
    for (int n = 1;; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "%d", n);
        std::string entry =
            Upper(static_cast<const char*>(app->GetProfileString("BlackList", key, "")));
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("BlackList Check '%s' <-> '%s'\n", entry.c_str(), adapter.c_str());
        if (n == 1 && entry.empty()) {
            app->WriteProfileString("BlackList", "1", "ESDI_506");
            entry = "ESDI_506";
        }
        if (entry.empty())
            return 0;
        if (adapter.find(entry) != std::string::npos)
            return 1;
    }
}

AspiExecSrb* CAspiTransport::BuildRequest(const uint8_t* cdb, int length, int direction,
                                          CScsiBuffer& data)
{
    auto* srb = new (std::nothrow) AspiExecSrb;
    if (srb == nullptr)
        return nullptr;
    std::memset(srb, 0, sizeof *srb);
    srb->command = kAspiExecScsi;
    srb->adapter = m_adapter;
    srb->flags = uint8_t((direction & (kScsiDataIn | kScsiDataOut)) | kAspiPosting);
    srb->target = m_target;
    srb->lun = m_lun;
    srb->bufferLength = data.GetLength();
    srb->buffer = data.GetData();
    srb->senseLength = m_senseLength;
    srb->cdbLength = uint8_t(length);
    srb->postProc = AspiPostRoutine;
    std::memcpy(srb->cdb, cdb, length);
    return srb;
}

TransportResult CAspiTransport::Exec10(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return Exec(cdb, 10, direction, data);
}

TransportResult CAspiTransport::Exec6(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return Exec(cdb, 6, direction, data);
}

// The checks every command passes before it is sent; on success the new request is the current
// one and 0 is returned.
TransportResult CAspiTransport::StartRequest(const uint8_t* cdb, int length, int direction,
                                             CScsiBuffer& data, AspiExecSrb*& srb)
{
    if (m_pSendCommand == nullptr || g_AspiPending)
        return kScsiFailed;
    if (IsDataMissing(data))
        return kScsiNoMemory;
    ReapReleasedRequests();
    srb = BuildRequest(cdb, length, direction, data);
    if (srb == nullptr)
        return kScsiFailed;
    g_pAspiSrb = srb;
    return kScsiGood;
}

TransportResult CAspiTransport::Exec(const uint8_t* cdb, int length, int direction,
                                     CScsiBuffer& data)
{
    AspiExecSrb* srb = nullptr;
    if (TransportResult refused = StartRequest(cdb, length, direction, data, srb))
        return refused;
    TransportResult result = AspiExecute(srb, data);
    LogCdb(cdb, length, result);
    ReleaseRequest(srb);
    g_pAspiSrb = nullptr;
    return result;
}

TransportResult CAspiTransport::AspiExecute(AspiExecSrb* srb, CScsiBuffer& data)
{
    m_asyncPending = 0;
    DWORD r = AspiExecWait(srb);
    g_AspiPending = 0;
    if (r == kAspiCompleted)
        return CompletedResult(*srb);
    if (r == kAspiError) {
        std::memcpy(data.m_sense, srb->sense, kAspiSenseArea);
        TransportResult s = TransportResult(srb->hostStatus * 256 + srb->targetStatus);
        return s != 0 ? s : TransportResult(kScsiFailed);
    }
    return r == kAspiAbortedWait ? kScsiUserAbort : kScsiFailed;
}

DWORD CAspiTransport::AspiExecWait(AspiExecSrb* srb)
{
    uint32_t start = 0;
    bool first = true;
    for (;;) {
        g_AspiPending = 1;
        DWORD r = m_pSendCommand(srb);
        if (r != kAspiPending)
            return r;
        if (first) {
            start = MillisecondClock();
            first = false;
        }
        AspiWaitPumping(m_timeout);
        if (g_UserAbort) {
            WaitAfterAbort(srb, start);
            g_UserAbort = 0;
            return kAspiAbortedWait;
        }
        if (g_AspiPending) {
            srb->targetStatus = kAspiTimedOutStatus;
            return kAspiError;
        }
        bool busy = srb->targetStatus == kScsiBusy;
        bool unselected = m_retry && srb->hostStatus == kAspiSelectionTimeout;
        if (!busy && !unselected)
            return srb->status;
        if (m_logScsi && g_pTraceLog != nullptr)
            g_pTraceLog->Printf("SCSI Target busy");
        g_AspiPending = 1;
        AspiWaitPumping(kBusyRetryMs);
        if (g_UserAbort) {
            g_UserAbort = 0;
            return kAspiAbortedWait;
        }
        if (ClockElapsed(start) >= m_timeout) {
            // Retried selection time-outs end as a time-out too, not as 0x1130.
            srb->hostStatus = 0;
            srb->targetStatus = kAspiTimedOutStatus;
            return kAspiError;
        }
    }
}

void CAspiTransport::AspiWaitPumping(uint32_t milliseconds)
{
    // A manager that finishes the request inside the send call has already posted it: no timer
    // to set and kill for a wait that is over.
    if (!g_AspiPending || g_UserAbort)
        return;
    // Most requests are posted within moments of their sending.
    if (WatchFor([] { return !g_AspiPending; }, kWatchMicroseconds))
        return;
    InterlockedExchange(&g_AspiWaiterSleeps, 1);
    g_AspiWaiting = 1;
    UINT_PTR timer = SetTimer(nullptr, 0, milliseconds, AspiTimerProc);
    uint32_t start = MillisecondClock();
    while (!g_UserAbort && g_AspiPending && g_AspiWaiting) {
        MSG msg;
        if (!TakeWaitingMessage(msg)) {
            if (timer == 0 && ClockElapsed(start) >= milliseconds)
                break;
            WaitForEventOrMessage(PostedEvent(), kNapMs);
            continue;
        }
        if (timer != 0 && msg.message == WM_TIMER && msg.wParam == timer)
            g_AspiWaiting = 0;
        DispatchTakenMessage(msg);
    }
    if (timer != 0)
        KillTimer(nullptr, timer);
    InterlockedExchange(&g_AspiWaiterSleeps, 0);
}

void CAspiTransport::WaitAfterAbort(AspiExecSrb* srb, uint32_t start)
{
    // Ask the manager to drop the request, then give it until the deadline to let go of it.
    AspiAbortSrb abort{};
    abort.command = kAspiAbortSrb;
    abort.adapter = srb->adapter;
    abort.request = srb;
    if (g_AspiPending)
        m_pSendCommand(&abort);
    while (g_AspiPending && ClockElapsed(start) < m_timeout)
        Sleep(1);
}

void CAspiTransport::ReleaseRequest(AspiExecSrb* srb)
{
    if (srb->status != kAspiPending) {
        delete srb;
        return;
    }
    AspiAbortSrb abort{};
    abort.command = kAspiAbortSrb;
    abort.adapter = srb->adapter;
    abort.request = srb;
    m_pSendCommand(&abort);
    m_released.push_back(srb);
}

void CAspiTransport::ReapReleasedRequests()
{
    for (AspiExecSrb* srb : m_finished)
        delete srb;
    m_finished.clear();
    auto finished = [this](AspiExecSrb* srb) {
        if (srb->status == kAspiPending)
            return false;
        m_finished.push_back(srb);
        return true;
    };
    m_released.erase(std::remove_if(m_released.begin(), m_released.end(), finished),
                     m_released.end());
}

TransportResult CAspiTransport::StartAsync10(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return StartAsync(cdb, 10, direction, data);
}

TransportResult CAspiTransport::StartAsync6(const uint8_t* cdb, int direction, CScsiBuffer& data)
{
    return StartAsync(cdb, 6, direction, data);
}

TransportResult CAspiTransport::StartAsync(const uint8_t* cdb, int length, int direction,
                                           CScsiBuffer& data)
{
    AspiExecSrb* srb = nullptr;
    if (TransportResult refused = StartRequest(cdb, length, direction, data, srb))
        return refused;
    m_pAsyncData = &data;
    g_AspiPending = 1;
    m_asyncPending = 1;
    DWORD r = m_pSendCommand(srb);
    // A request the manager finished (or refused) inside the call gets no post routine call.
    if (r != kAspiPending)
        g_AspiPending = 0;
    TransportResult result = (r == kAspiPending || r == kAspiCompleted) ? kScsiGood : kScsiFailed;
    LogCdb(cdb, length, result);
    return result;
}

TransportResult CAspiTransport::FinishAsync()
{
    AspiExecSrb* srb = g_pAspiSrb;
    if (!m_asyncPending) {
        if (srb != nullptr)
            ReleaseRequest(srb);
        g_pAspiSrb = nullptr;
        return kScsiGood;
    }
    uint32_t start = MillisecondClock();
    AspiWaitPumping(m_timeout);
    TransportResult result;
    if (g_UserAbort) {
        WaitAfterAbort(srb, start);
        g_UserAbort = 0;
        result = kScsiUserAbort;
    } else if (g_AspiPending) {
        result = kScsiTimeout;
    } else if (srb->status == kAspiCompleted) {
        result = CompletedResult(*srb);
    } else if (srb->status == kAspiError) {
        result = TransportResult(srb->hostStatus * 256 + srb->targetStatus);
        if (result == kScsiGood)
            result = kScsiFailed;
        if (srb->targetStatus == kScsiCheckCondition && m_pAsyncData != nullptr)
            std::memcpy(m_pAsyncData->m_sense, srb->sense, kAspiSenseArea);
    } else {
        result = kScsiFailed;
    }
    ReleaseRequest(srb);
    g_pAspiSrb = nullptr;
    g_AspiPending = 0;
    m_asyncPending = 0;
    m_pAsyncData = nullptr;
    if (m_logScsi && g_pTraceLog != nullptr)
        g_pTraceLog->Printf("SCSI Async Status %04x, Host %02x, Target %02x\n", unsigned(result),
                            unsigned(result >> 8), unsigned(result & 0xFF));
    return result;
}
