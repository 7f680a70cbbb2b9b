#include "core/util/Clock.h"

#include <windows.h>

uint32_t MillisecondClock()
{
    return GetTickCount();
}

uint32_t ClockElapsed(uint32_t start)
{
    return MillisecondClock() - start;
}

bool ClockReached(uint32_t deadline)
{
    return (int32_t)(MillisecondClock() - deadline) >= 0;
}
