#include "core/util/Clock.h"

#include <windows.h>
#include <gtest/gtest.h>

namespace {

TEST(Clock, MeasuresWaitsByDifference)
{
    const uint32_t start = MillisecondClock();
    Sleep(100);
    const uint32_t elapsed = ClockElapsed(start);
    // The tick count moves in steps of up to 16 ms.
    EXPECT_GE(elapsed, 80u);
    EXPECT_LT(elapsed, 2000u);
}

TEST(Clock, DeadlinesBehindAndAhead)
{
    const uint32_t now = MillisecondClock();
    EXPECT_TRUE(ClockReached(now));
    EXPECT_TRUE(ClockReached(now - 1));
    EXPECT_TRUE(ClockReached(now - 86400000u));
    EXPECT_FALSE(ClockReached(now + 60000));
    // A deadline whose sum wraps past 2^32 is still in the future: the comparison is by difference.
    EXPECT_FALSE(ClockReached(now + 0x7FFF0000u));
}

}  // namespace
