#ifndef TARNEL_BASIC_H
#define TARNEL_BASIC_H

// The timing values of set.ini, the clocks and the waits built on them.

#include <cstdint>

// Timing values of set.ini (section "comm"), written once at start-up:
// "def" and, only when it is 1, "time1".."time10" (element 0 is time1, the
// length of a serial read pass that receives nothing, in 0.5 ms units, when
// above 0).
extern int32_t g_nWinUserSet;
extern int32_t g_nWinUserValue[10];

// "partwait" of set.ini (section "comm"), in minutes, written once at
// start-up whatever "def" says: how long after its newest part read-and-clear
// leaves a long message that still misses a part on the modem. 0 or less
// means the built-in limit (10 minutes).
extern int32_t g_nPartWaitMinutes;

// How long, in seconds, a send, read or clear waits for a port that another
// program holds: "busywait" of set.ini, 0 to PORT_BUSY_WAIT_MAX (0: not at
// all); PORT_BUSY_WAIT_DEFAULT without it or for a negative value.
// Written by the settings loader before any port is opened; read only after.
const int32_t PORT_BUSY_WAIT_DEFAULT = 10;
const int32_t PORT_BUSY_WAIT_MAX = 3600;
extern int32_t g_nBusyWaitSec;

// Quiet gap that ends a read pass once input has arrived, in microseconds.
// 0 (the default) means the built-in rule of ReadQuietGapUsec. Tests set it
// before opening ports; nothing else writes it.
extern int64_t g_nReadQuietGapUsec;

// The nominal length of one read pass in microseconds: time1 x 500 when time1
// is above 0, else 600 x 500 (0.3 s).
int64_t ReadPassUsec();

// Once input has arrived, a read pass ends at the latest this long after it
// began, whatever time1 says (1000 x 0.5 ms), so a device that never stops
// talking cannot hold it.
const int64_t READ_PASS_CAP_USEC = 500000;

// The quiet gap after the last byte that ends a read pass at `baudRate`:
// g_nReadQuietGapUsec when set, else 4 character times but at least 3 ms.
int64_t ReadQuietGapUsec(int32_t baudRate);

// Wall-clock time in microseconds since the epoch.
int64_t time_usec2();

// Monotonic time in microseconds (CLOCK_MONOTONIC): a clock step neither
// stalls nor shortens a wait measured on it.
int64_t MonotonicUsec();

// Sleeps until MonotonicUsec() reaches `until`; returns 0 at once when
// `until` is already past.
int32_t usleep_until2(uint64_t until);

#endif
