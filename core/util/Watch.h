#pragma once

#include <windows.h>

// Looks for a condition that another thread brings about, for up to the given microseconds, and
// offers the processor to other threads between looks; true once the condition holds. A handoff
// between threads that are both awake costs no system call this way, where sleeping on an event
// costs each side one (under wine, a round trip to the wine server, several times the handoff).
template <typename Condition>
bool WatchFor(Condition holds, LONGLONG microseconds)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG budget = frequency.QuadPart * microseconds / 1000000;
    do {
        if (holds())
            return true;
        SwitchToThread();
        QueryPerformanceCounter(&now);
    } while (now.QuadPart - start.QuadPart < budget);
    return holds();
}
