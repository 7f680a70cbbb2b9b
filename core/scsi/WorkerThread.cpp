#include "core/scsi/WorkerThread.h"

void CWorkerThread::Init()
{
    m_event = nullptr;
    m_thread = nullptr;
    m_threadId = 0;
    m_started = 0;
    m_stopping = false;
    m_callback = Nothing;
}

bool CWorkerThread::Start(Callback callback)
{
    if (m_started != 0)
        return false;
    if (callback != nullptr)
        m_callback = callback;
    InitializeCriticalSection(&m_lock);
    ++m_started;
    m_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_event != nullptr)
        m_thread = CreateThread(nullptr, 0, WorkerThreadProc, this, 0, &m_threadId);
    return m_event != nullptr && m_thread != nullptr;
}

bool CWorkerThread::Trigger()
{
    if (m_thread == nullptr)
        return false;
    EnterCriticalSection(&m_lock);
    BOOL set = SetEvent(m_event);
    LeaveCriticalSection(&m_lock);
    return set != FALSE;
}

DWORD WINAPI CWorkerThread::WorkerThreadProc(void* self)
{
    static_cast<CWorkerThread*>(self)->Run();
    return 0;
}

void CWorkerThread::Run()
{
    for (;;) {
        WaitForSingleObject(m_event, INFINITE);
        EnterCriticalSection(&m_lock);
        if (m_stopping) {
            LeaveCriticalSection(&m_lock);
            return;
        }
        m_callback();
        ResetEvent(m_event);
        LeaveCriticalSection(&m_lock);
    }
}

void CWorkerThread::Stop()
{
    if (m_started == 0)
        return;
    if (m_thread != nullptr) {
        // Asked to end rather than terminated: a thread killed inside a system call can leave
        // the process's own locks held. A request still running is finished first.
        EnterCriticalSection(&m_lock);
        m_stopping = true;
        SetEvent(m_event);
        LeaveCriticalSection(&m_lock);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    if (m_event != nullptr)
        CloseHandle(m_event);
    m_event = nullptr;
    DeleteCriticalSection(&m_lock);
    m_started = 0;
}
