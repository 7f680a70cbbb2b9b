#include "bench/TimedDevice.h"

#include <windows.h>

int64_t CDeviceStopwatch::Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CDeviceStopwatch::BusySeconds() const
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)m_ticks / (double)frequency.QuadPart;
}
