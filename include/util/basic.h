#ifndef TARNEL_BASIC_H
#define TARNEL_BASIC_H

// The timing values of set.ini and the wall-clock helpers.

#include <cstdint>

// Timing values of set.ini (section "comm"), written once at start-up:
// "def" and, only when it is 1, "time1".."time10" (element 0 is time1,
// the initial number of polling cycles of one serial read when above 0).
extern int32_t g_nWinUserSet;
extern int32_t g_nWinUserValue[10];

// Wall-clock time in microseconds since the epoch.
int64_t time_usec2();

// Sleeps until time_usec2() reaches `until`, in slices of at most 10 ms so that
// a clock change is noticed; returns 0 at once when `until` is already past.
int32_t usleep_until2(uint64_t until);

#endif
