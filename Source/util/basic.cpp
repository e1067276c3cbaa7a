#include "basic.h"

#include <sys/time.h>
#include <unistd.h>

#include <cstdint>

int32_t g_nWinUserSet = 0;
int32_t g_nWinUserValue[10] = {};

int64_t time_usec2()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

int32_t usleep_until2(uint64_t until)
{
    const uint64_t slice = 10000;
    for (;;) {
        const uint64_t now = static_cast<uint64_t>(time_usec2());
        if (now >= until) {
            return 0;
        }
        // Short slices, re-reading the wall clock after each, so that a clock
        // set forward ends the wait early instead of oversleeping.
        usleep(static_cast<useconds_t>(now + slice >= until ? until - now : slice));
    }
}
