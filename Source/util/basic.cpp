#include "basic.h"

#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

int64_t g_nReadQuietGapUsec = 0;

namespace {

const int64_t CYCLE_USEC = 500;     // time1 counts half milliseconds
const int32_t DEFAULT_CYCLES = 600;
const int64_t BITS_PER_CHAR = 10;   // start, 8 data, stop
const int64_t USB_GAP_USEC = 3000;

}  // namespace

int64_t ReadPassUsec()
{
    const int32_t cycles = g_nWinUserValue[0] > 0 ? g_nWinUserValue[0] : DEFAULT_CYCLES;
    return static_cast<int64_t>(cycles) * CYCLE_USEC;
}

int64_t ReadQuietGapUsec(int32_t baudRate)
{
    if (g_nReadQuietGapUsec > 0) {
        return g_nReadQuietGapUsec;
    }
    // A 16550-style UART hands over the bytes below its FIFO trigger level
    // only after 4 character times of silence. USB modems ignore the rate and
    // deliver an answer in bulk transfers polled every 1 ms frame: 3 ms
    // covers a missed frame and the scheduler. A port is one or the other,
    // so the longer of the two will do. A longer pause inside an answer costs
    // only another pass: the exchange reads until the model judges the
    // answer complete.
    const int64_t charTimes = baudRate > 0 ? 4 * BITS_PER_CHAR * 1000000 / baudRate : 0;
    return std::max<int64_t>(USB_GAP_USEC, charTimes);
}

int64_t time_usec2()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

int64_t MonotonicUsec()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int32_t usleep_until2(uint64_t until)
{
    // time_t may be 32 bits (armhf): a deadline beyond it waits "for ever".
    const uint64_t seconds = until / 1000000;
    const uint64_t maxSeconds = static_cast<uint64_t>(std::numeric_limits<time_t>::max());
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds < maxSeconds ? seconds : maxSeconds);
    ts.tv_nsec = static_cast<long>(until % 1000000) * 1000;
    // An absolute sleep on the monotonic clock: a signal only resumes it.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
    return 0;
}
