#include "core/scsi/ScsiWait.h"

#include "framework/App.h"

bool TakeWaitingMessage(MSG& msg)
{
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
}

void DispatchTakenMessage(MSG& msg)
{
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->PreTranslateMessage(&msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void NapUntilMessage()
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
}

void WaitForEventOrMessage(HANDLE event, DWORD milliseconds)
{
    // Input already in the queue but seen by an earlier peek must wake the wait as well.
    MsgWaitForMultipleObjectsEx(event != nullptr ? 1 : 0, &event, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}
