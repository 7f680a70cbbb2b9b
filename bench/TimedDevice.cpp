#include "bench/TimedDevice.h"

#include <windows.h>

namespace {

int64_t Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace

double CTimedKoval2Device::BusySeconds() const
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)m_ticks / (double)frequency.QuadPart;
}

void CTimedKoval2Device::OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply)
{
    int64_t start = Ticks();
    CKoval2Device::OnCommand(cdb, io, reply);
    m_ticks += Ticks() - start;
}
