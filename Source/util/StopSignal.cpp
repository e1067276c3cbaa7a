#include "StopSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<int> g_stopSignal{0};
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};

void OnStopSignal(int signo)
{
    const int saved = errno;  // the interrupted code may be about to read errno
    RequestStop(signo);
    errno = saved;
}

}  // namespace

int InstallStopSignals()
{
    if (g_wakeRead.load() < 0) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return -1;
        }
        g_wakeWrite.store(fds[1]);
        g_wakeRead.store(fds[0]);
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read or wait returns EINTR
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(signo, &action, nullptr) != 0) {
            return -1;
        }
    }
    return 0;
}

void RequestStop(int signo)
{
    int none = 0;
    if (!g_stopSignal.compare_exchange_strong(none, signo)) {
        return;  // the first request decides the exit status
    }
    const int fd = g_wakeWrite.load();
    if (fd >= 0) {
        const char byte = 1;
        // Non-blocking; one byte is enough to keep the read end readable.
        const ssize_t ignored = write(fd, &byte, 1);
        (void)ignored;
    }
}

bool StopRequested()
{
    return g_stopSignal.load() != 0;
}

int StopSignalNumber()
{
    return g_stopSignal.load();
}

int StopWakeDescriptor()
{
    return g_wakeRead.load();
}

void SleepUnlessStopped(int64_t usec)
{
    if (usec <= 0 || StopRequested()) {
        return;
    }
    struct pollfd wake = {StopWakeDescriptor(), POLLIN, 0};
    struct timespec wait;
    wait.tv_sec = static_cast<time_t>(usec / 1000000);
    wait.tv_nsec = static_cast<long>(usec % 1000000) * 1000;
    // Without a stop pipe this polls nothing: a plain sleep.
    ppoll(wake.fd >= 0 ? &wake : nullptr, wake.fd >= 0 ? 1 : 0, &wait, nullptr);
}
