#pragma once

#include <windows.h>

// The pieces of the transports' waits, which keep the user interface alive while a command runs.

// Takes the next waiting message of the thread off its queue; false when none waits.
bool TakeWaitingMessage(MSG& msg);
// Offers the message to the application's pre-translation and otherwise translates and
// dispatches it (a Cancel button sets g_UserAbort from in here).
void DispatchTakenMessage(MSG& msg);
// Yields until a message arrives or a millisecond passes, so a wait does not spin a processor.
void NapUntilMessage();
// Sleeps until the event is signalled, a message arrives or the milliseconds have passed, whichever
// comes first; a null event waits for messages and the time alone.
void WaitForEventOrMessage(HANDLE event, DWORD milliseconds);
