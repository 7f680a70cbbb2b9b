#pragma once

// A virtual device with a stopwatch: it adds up the time spent inside the device's own command
// handling (rendering the chart, building records), so the benchmark can tell the simulated
// device's cost apart from the pipeline's. Any family's device can wear it.

#include "sim/SimOptions.h"
#include "sim/VirtualTarget.h"

#include <atomic>
#include <cstdint>

class CDeviceStopwatch {
public:
    // Seconds spent in the device since the last Reset.
    double BusySeconds() const;
    void Reset() { m_ticks = 0; }

protected:
    static int64_t Ticks();
    void Add(int64_t ticks) { m_ticks += ticks; }

private:
    // The manager may run the device on its own thread while the bench reads the figure.
    std::atomic<int64_t> m_ticks{0};
};

template <class TDevice>
class CTimedDevice : public TDevice, public CDeviceStopwatch {
public:
    explicit CTimedDevice(const CSimOptions& options) : TDevice(options) {}

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override
    {
        int64_t start = Ticks();
        TDevice::OnCommand(cdb, io, reply);
        Add(Ticks() - start);
    }
};
