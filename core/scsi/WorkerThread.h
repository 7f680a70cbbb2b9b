#pragma once

#include <windows.h>

// A thread that runs one callback each time it is triggered. The callback runs inside the
// critical section, so a Trigger waits until a running callback has finished.
class CWorkerThread {
public:
    using Callback = void (*)();

    CWorkerThread() { Init(); }
    ~CWorkerThread() { Stop(); }
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    void Init();
    bool Start(Callback callback);
    bool Trigger();
    void Stop();

private:
    static DWORD WINAPI WorkerThreadProc(void* self);
    void Run();
    static void Nothing() {}

    HANDLE m_event = nullptr;
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    int m_started = 0;
    bool m_stopping = false;
    CRITICAL_SECTION m_lock;
    Callback m_callback = Nothing;
};
