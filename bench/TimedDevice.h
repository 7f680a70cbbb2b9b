#pragma once

// The virtual KOVAL II with a stopwatch: it adds up the time spent inside its own command handling
// (rendering the chart, building records), so the benchmark can tell the simulated device's cost
// apart from the pipeline's.

#include "sim/Koval2Device.h"

#include <atomic>
#include <cstdint>

class CTimedKoval2Device : public CKoval2Device {
public:
    explicit CTimedKoval2Device(const CSimOptions& options) : CKoval2Device(options) {}

    // Seconds spent in the device since the last Reset.
    double BusySeconds() const;
    void Reset() { m_ticks = 0; }

protected:
    void OnCommand(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override;

private:
    std::atomic<int64_t> m_ticks{0};
};
