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

TEST(MonotonicUsec, NeverGoesBack)
{
    int64_t last = MonotonicUsec();
    for (int i = 0; i < 1000; ++i) {
        const int64_t now = MonotonicUsec();
        ASSERT_GE(now, last);
        last = now;
    }
}

TEST(UsleepUntil2, ReturnsNoEarlierThanTheInstant)
{
    for (int64_t delay : {0, 1, 9999, 10000, 25000}) {
        const uint64_t until = static_cast<uint64_t>(MonotonicUsec() + delay);
        EXPECT_EQ(usleep_until2(until), 0);
        EXPECT_GE(static_cast<uint64_t>(MonotonicUsec()), until) << "delay " << delay;
    }
}

TEST(UsleepUntil2, PastInstantReturnsAtOnce)
{
    const int64_t start = MonotonicUsec();
    EXPECT_EQ(usleep_until2(0), 0);
    EXPECT_EQ(usleep_until2(static_cast<uint64_t>(start - 5000000)), 0);
    // Generous: a second is load, not a sleep.
    EXPECT_LT(MonotonicUsec() - start, 1000000);
}

// The default gap follows the line speed (character times) above a floor for
// USB modems, which ignore it; a set gap replaces the rule.
TEST(ReadQuietGap, CharacterTimesAboveAFloor)
{
    const int64_t at9600 = ReadQuietGapUsec(9600);
    const int64_t at115200 = ReadQuietGapUsec(115200);
    EXPECT_GT(at9600, at115200);
    EXPECT_GE(at9600, 4 * 10 * 1000000 / 9600);  // four characters at 9600
    EXPECT_GE(at115200, 1000);                   // more than one USB frame
    g_nReadQuietGapUsec = 123456;
    EXPECT_EQ(ReadQuietGapUsec(9600), 123456);
    g_nReadQuietGapUsec = 0;
}

}  // namespace
