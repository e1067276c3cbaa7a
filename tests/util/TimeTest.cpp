#include <gtest/gtest.h>

#include <sys/time.h>

#include "basic.h"

namespace {

int64_t WallClockUsec()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

TEST(TimeUsec2, FollowsTheWallClock)
{
    const int64_t before = WallClockUsec();
    const int64_t now = time_usec2();
    const int64_t after = WallClockUsec();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    // Well past 2020: the seconds were scaled to microseconds in 64 bits.
    EXPECT_GT(now, INT64_C(1577836800) * 1000000);
}

TEST(UsleepUntil2, ReturnsNoEarlierThanTheInstant)
{
    for (int64_t delay : {0, 1, 9999, 10000, 25000}) {
        const uint64_t until = static_cast<uint64_t>(time_usec2() + delay);
        EXPECT_EQ(usleep_until2(until), 0);
        EXPECT_GE(static_cast<uint64_t>(time_usec2()), until) << "delay " << delay;
    }
}

TEST(UsleepUntil2, PastInstantReturnsAtOnce)
{
    const int64_t start = time_usec2();
    EXPECT_EQ(usleep_until2(0), 0);
    EXPECT_EQ(usleep_until2(static_cast<uint64_t>(start - 5000000)), 0);
    // Generous: a single 10 ms slice would already be a bug, a second is load.
    EXPECT_LT(time_usec2() - start, 1000000);
}

}  // namespace
