#ifndef TARNEL_STOPSIGNAL_H
#define TARNEL_STOPSIGNAL_H

#include <cstdint>

// A request to stop the run: Ctrl-C (SIGINT), SIGTERM or SIGHUP. The
// handler only records the first signal and wakes every waiter; whoever
// works or waits looks at StopRequested() between steps, finishes what must
// be finished (close ports, release locks, print what is known) and the
// program then exits with 128 + StopSignalNumber().
//
// Shared state: one atomic signal number and one pipe, written by the
// handler (async-signal-safe), read by any thread.

// Installs the handler for SIGINT, SIGTERM and SIGHUP (without SA_RESTART,
// so a blocking call returns EINTR in the thread that takes the signal) and
// creates the wake-up pipe. Call once at start-up, before any worker starts.
// Returns 0, or -1 when the pipe or a handler cannot be installed (errno set).
int InstallStopSignals();

// Records `signo` as the stop request unless one is recorded already, and
// wakes every waiter. Async-signal-safe; the handler calls it.
void RequestStop(int signo);

// True once a stop was requested.
bool StopRequested();

// The signal of the first stop request, 0 when none.
int StopSignalNumber();

// A descriptor that becomes readable once a stop is requested and stays so
// (nobody reads it): add it to a poll set so that a wait on another thread
// ends at once. -1 before InstallStopSignals succeeded.
int StopWakeDescriptor();
// Sleeps `usec` microseconds (0 or less: not at all), or less when a stop is
// requested meanwhile: every wait of the program ends at once on a stop.
void SleepUnlessStopped(int64_t usec);

#endif
