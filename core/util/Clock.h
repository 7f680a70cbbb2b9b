#pragma once

// The clock of every time-out of the SCSI transports and the drivers. It counts milliseconds from an
// arbitrary origin and wraps only after about 49 days; a wait must therefore be measured as the
// unsigned difference from its start (ClockElapsed) or compared with ClockReached, never by adding a
// time-out to a reading and comparing the sums.

#include <cstdint>

uint32_t MillisecondClock();

// Milliseconds since start, correct across a wrap of the clock.
uint32_t ClockElapsed(uint32_t start);

// True once the clock has reached deadline (a reading plus at most about 24 days).
bool ClockReached(uint32_t deadline);
