#include "core/util/SystemUtil.h"

#include "core/messages/MessageReporter.h"
#include "core/util/Clock.h"
#include "framework/App.h"

namespace {

// Message 3481: the Windows directory could not be determined.
constexpr int kMsgNoWindowsDirectory = 3481;

void DispatchWaitingMessages()
{
    CWinApp* app = AfxGetApp();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (app && app->PreTranslateMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

CString WindowsDirectory()
{
    char path[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        ReportMessage(kMsgNoWindowsDirectory);
        return CString("c:\\");
    }
    CString directory(path);
    if (directory[directory.GetLength() - 1] != '\\')
        directory += '\\';
    return directory;
}

void DelayPumping(uint32_t milliseconds)
{
    const uint32_t start = MillisecondClock();
    for (;;) {
        const uint32_t elapsed = ClockElapsed(start);
        if (elapsed >= milliseconds)
            return;
        DispatchWaitingMessages();
        // Sleeps until the next message or for a few milliseconds, so the wait does not spin a
        // processor while it stays responsive.
        const DWORD nap = milliseconds - elapsed < 10 ? milliseconds - elapsed : 10;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, nap, QS_ALLINPUT);
    }
}
