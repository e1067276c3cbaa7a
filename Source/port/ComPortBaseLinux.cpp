#include "ComPortBaseLinux.h"

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "PortLock.h"
#include "StopSignal.h"
#include "basic.h"

namespace {

// Bytes asked of one read(): a whole USB transfer or a long listing comes
// in one call instead of one wake-up per few bytes.
const int READ_CHUNK = 4096;
const int DISCARD_READS = 16;   // reads of one DiscardInput (64 KiB)
const int BUSY_POLL_MS = 50;    // retry pace of an Open waiting for a holder
const int64_t OUTPUT_POLL_USEC = 1000;  // pace of a close waiting for output to leave
// The line settings every port asks for, at its own rate.
const opt_t LINE_SETTINGS;

struct timespec UsecToTimespec(int64_t usec)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(usec / 1000000);
    ts.tv_nsec = static_cast<long>(usec % 1000000) * 1000;
    return ts;
}

// One read() of up to READ_CHUNK bytes, retried only while interrupted.
ssize_t ReadChunk(int fd, char* buf)
{
    ssize_t n;
    do {
        n = read(fd, buf, READ_CHUNK);
    } while (n < 0 && errno == EINTR);
    return n;
}

// The poll entry of the stop request (StopSignal.h): a stop ends every wait
// at once. Returns the number of entries to poll: 2 with it, 1 without.
template <std::size_t N>
nfds_t AddStopWake(struct pollfd (&p)[N])
{
    static_assert(N >= 2, "room for the port and the stop request");
    const int wake = StopWakeDescriptor();
    if (wake < 0) {
        return 1;
    }
    p[1] = {wake, POLLIN, 0};
    return 2;
}

}  // namespace

CComPortBaseLinux::CComPortBaseLinux(const std::string& devPath, int baudRate, int busyWaitMs)
    : m_strDevPath(devPath), m_nBaudRate(baudRate), m_nBusyWaitMs(busyWaitMs > 0 ? busyWaitMs : 0)
{
}

CComPortBaseLinux::~CComPortBaseLinux()
{
    Close();
}

CComPortBaseLinux::Take_t CComPortBaseLinux::TakePort()
{
    pid_t holder = 0;
    if (portlock_take(m_strDevPath, m_strLockPath, &holder) < 0) {
        if (portlock_errno == PORTLOCK_EBUSY) {
            m_nBusyPid = holder;
            return TAKE_BUSY;
        }
        if (portlock_errno == PORTLOCK_ECREATE) {
            // Says which file, so an operator can see the lock folder is at fault.
            const int err = errno;
            char sys[128];
            const std::string text = std::string(portlock_strerror(PORTLOCK_ECREATE)) + ": " +
                                     strerror_r(err, sys, sizeof sys);
            m_strLockError = text;
            RecordError(err, text.c_str());
        } else {
            m_strLockError = portlock_strerror(portlock_errno);
            RecordError(-portlock_errno, portlock_strerror(portlock_errno));
        }
        return TAKE_FAILED;
    }
    // O_NOCTTY: a modem must never become our controlling terminal.
    // O_NONBLOCK: open does not wait for carrier, and every later read and
    // write returns at once; the loops below do all the waiting.
    // O_CLOEXEC: the children of port discovery must not inherit the port
    // (and with it the flock, which would outlive our close).
    const int fd = open(m_strDevPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // EBUSY: another program set TIOCEXCL and we may not pass it.
        const bool busy = errno == EBUSY;
        ReleaseLockFile();
        return busy ? TAKE_BUSY : TAKE_FAILED;  // missing or forbidden: not recorded
    }
    int r;
    do {
        r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            m_nBusyPid = portlock_flock_holder(fd);
        }
        close(fd);  // closing our descriptor leaves the holder's flock alone
        ReleaseLockFile();
        if (err == EWOULDBLOCK) {
            return TAKE_BUSY;
        }
        errno = err;
        HandleError();
        return TAKE_FAILED;
    }
    // Only an extra: root passes it, and other programs' roots are why the
    // lock file and the flock come first. Not every device knows it.
    ioctl(fd, TIOCEXCL);
    m_fd = fd;
    m_bGone = false;  // a device taken afresh
    return TAKEN;
}

int CComPortBaseLinux::Open()
{
    if (m_fd >= 0) {
        // Open but refused its settings: try them again rather than report
        // a port that cannot be used as ready.
        return m_bConfigured ? 1 : SetParam();
    }
    m_bBusy = false;
    m_nBusyPid = 0;
    m_strLockError.clear();
    const int64_t deadline = MonotonicUsec() + int64_t{m_nBusyWaitMs} * 1000;
    for (;;) {
        const Take_t taken = TakePort();
        if (taken == TAKEN) {
            break;
        }
        if (taken == TAKE_FAILED) {
            return 0;
        }
        const int64_t now = MonotonicUsec();
        if (now >= deadline || StopRequested()) {
            m_bBusy = true;
            return 0;
        }
        // Nothing tells us when another program lets go: look again soon.
        SleepUnlessStopped(std::min<int64_t>(deadline - now + 1, int64_t{BUSY_POLL_MS} * 1000));
    }
    return SetParam();
}

int CComPortBaseLinux::SetParam()
{
    // A stale errno from an earlier call must not be recorded as this failure.
    errno = 0;
    int r = term_set(m_fd, 1, m_nBaudRate, LINE_SETTINGS.parity, LINE_SETTINGS.databits,
                     LINE_SETTINGS.stopbits, LINE_SETTINGS.flow, 1, !LINE_SETTINGS.noreset);
    if (r == 0) {
        r = term_apply(m_fd, 0);
    }
    if (r == 0) {
        const int32_t rate = term_get_baudrate(m_fd, nullptr);
        m_nTtyWriteSz = std::max<int32_t>(rate / 10, 8);
        m_bConfigured = true;
        return 1;
    }
    m_bConfigured = false;
    if (errno != 0) {
        HandleError();
    } else {
        // The settings layer refused without a system error (a rate outside
        // its table, a full table): still a failure the caller must see.
        char text[64];
        const char* what = term_strerror(term_errno);
        if (term_errno == TERM_EFULL) {
            std::snprintf(text, sizeof text, "Too many ports open at once (at most %d)",
                          TERM_MAX_TERMS);
            what = text;
        }
        RecordError(-term_errno, what);
    }
    return 0;
}

int CComPortBaseLinux::SetBaudRate(int baudRate)
{
    m_nBaudRate = baudRate;
    return m_fd >= 0 ? SetParam() : 0;
}

int32_t CComPortBaseLinux::WriteChunkSize() const
{
    return m_nTtyWriteSz;
}

void CComPortBaseLinux::HandleError()
{
    const int err = errno;
    if (err == 0) {
        return;
    }
    // strerror's buffer is shared by every thread; this one is ours.
    char text[128];
    RecordError(err, strerror_r(err, text, sizeof text));
}

void CComPortBaseLinux::RecordError(int code, const char* text)
{
    if (m_nErrorCode != 0) {
        return;
    }
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "Code: %d  ", code);
    m_nErrorCode = code;
    m_strErrorMsg = std::string(prefix) + text;
}

int CComPortBaseLinux::Close()
{
    if (m_fd < 0) {
        return 1;
    }
    // Dropping DTR on close would hang up the modem; keep the lines up.
    term_set_hupcl(m_fd, 0);
    // What was written last (the ESC that drops a send cut short) must still
    // reach the modem, and flushing output discards it even on a
    // pseudo-terminal whose other side has not read it yet. Output gets one
    // pass to leave; only what is stuck after that is discarded, so that the
    // close never waits on a line that does not drain.
    if (WaitOutputSent(std::max(ReadPassUsec(), ReadQuietGapUsec(m_nBaudRate)))) {
        term_flush_input(m_fd);
    } else {
        term_flush(m_fd);
    }
    term_apply(m_fd, 1);
    // Forget, not restore: the port stays raw, and the descriptor number may
    // be reused by the next port without colliding in the settings table.
    // Forgotten before the close, so the exit-time restore never meets a
    // descriptor number that is no longer ours.
    term_erase(m_fd);
    // A tty keeps TIOCEXCL while others hold it open (a pty's other side).
    ioctl(m_fd, TIOCNXCL);
    close(m_fd);
    m_fd = -1;
    m_bConfigured = false;
    // After the close: a program waiting for the lock file finds the flock
    // gone too.
    ReleaseLockFile();
    return 1;
}

bool CComPortBaseLinux::WaitOutputSent(int64_t waitUsec) const
{
    const int64_t deadline = MonotonicUsec() + waitUsec;
    for (;;) {
        // -1: the device cannot tell, so nothing is known to be stuck.
        if (term_output_queued(m_fd) <= 0) {
            return true;
        }
        if (MonotonicUsec() >= deadline) {
            return false;
        }
        // Not cut short by a stop request: a stop is when the last ESC matters.
        const struct timespec pause = UsecToTimespec(OUTPUT_POLL_USEC);
        nanosleep(&pause, nullptr);
    }
}

void CComPortBaseLinux::ReleaseLockFile()
{
    portlock_release(m_strLockPath);
    m_strLockPath.clear();
}

int CComPortBaseLinux::IsBusy() const
{
    return m_bBusy ? 1 : 0;
}

pid_t CComPortBaseLinux::GetBusyPid() const
{
    return m_nBusyPid;
}

const std::string& CComPortBaseLinux::GetLockError() const
{
    return m_strLockError;
}

int CComPortBaseLinux::IsOpened()
{
    return m_fd >= 0 ? 1 : 0;
}

int CComPortBaseLinux::Write(std::string cmd)
{
    if (m_fd < 0 || GivenUp()) {
        return 0;
    }
    const std::string staging = std::move(cmd);
    std::string::size_type sent = 0;
    // A device that takes no byte for a whole nominal pass has stalled (a
    // USB modem gone away, flow control stuck): give up rather than hang.
    int64_t stallEnd = MonotonicUsec() + ReadPassUsec();

    while (sent < staging.size()) {
        const int64_t now = MonotonicUsec();
        if (now >= stallEnd) {
            return 0;
        }
        struct pollfd polled[2] = {{m_fd, POLLIN | POLLOUT, 0}, {}};
        const nfds_t count = AddStopWake(polled);
        struct pollfd& p = polled[0];
        const struct timespec wait = UsecToTimespec(stallEnd - now);
        const int ready = ppoll(polled, count, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // interrupted: the deadline still holds
            }
            return 0;  // real failure of the wait
        }
        if (ready == 0) {
            continue;  // timeout: the loop sees the deadline
        }
        if (p.revents == 0) {
            // Only the stop request: a device that takes output still gets
            // it (the ESC that ends a pending send prompt), one that waits does not.
            return 0;
        }
        if (p.revents & POLLIN) {
            char buf[READ_CHUNK];
            const ssize_t n = ReadChunk(m_fd, buf);
            if (n > 0) {
                // The modem answers while we write: keep it for the next Read.
                m_strPending.append(buf, static_cast<std::string::size_type>(n));
            } else if (n == 0) {
                m_bGone = true;
                return 0;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                m_bGone = true;
                return 0;  // real failure (EIO once a pty master has closed)
            }
            // EAGAIN: readiness was stale; nothing lost.
        }
        if (p.revents & POLLOUT) {
            const std::string::size_type chunk =
                std::min<std::string::size_type>(staging.size() - sent,
                                                 static_cast<std::string::size_type>(WriteChunkSize()));
            ssize_t n;
            do {
                n = write(m_fd, staging.data() + sent, chunk);
            } while (n < 0 && errno == EINTR);
            if (n > 0) {
                sent += static_cast<std::string::size_type>(n);
                stallEnd = MonotonicUsec() + ReadPassUsec();
            } else if (n < 0 && errno == EAGAIN) {
                // Output queue full despite poll: wait again.
            } else {
                m_bGone = n < 0;
                return 0;  // real failure (or a write that took nothing)
            }
        } else if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            m_bGone = true;
            return 0;  // the device cannot take output any more
        }
    }
    return 1;
}

bool CComPortBaseLinux::Pass(std::string& out, int64_t notAfterUsec)
{
    const int64_t start = MonotonicUsec();
    // Input kept by Write is the start of this answer: the quiet gap runs from now.
    bool received = !m_strPending.empty();
    out += m_strPending;
    m_strPending.clear();
    if (m_fd < 0) {
        return false;
    }
    const int64_t idleEnd = std::min(start + ReadPassUsec(), notAfterUsec);
    const int64_t capEnd = std::min(start + READ_PASS_CAP_USEC, notAfterUsec);
    const int64_t gap = ReadQuietGapUsec(m_nBaudRate);
    int64_t lastInput = start;

    for (;;) {
        const int64_t now = MonotonicUsec();
        const int64_t end = received ? std::min(lastInput + gap, capEnd) : idleEnd;
        // A stop ends the pass with what it has; the caller looks at StopRequested.
        if (GivenUp()) {
            return false;  // nothing will be waited for on this port any more
        }
        if (now >= end || (StopRequested() && !m_bReadsPastStop)) {
            break;
        }
        // Waits in the kernel until input arrives, the pass is over, a stop
        // is requested or (while nothing has arrived) the port is given up.
        struct pollfd polled[3] = {{m_fd, POLLIN, 0}, {}, {}};
        nfds_t count = m_bReadsPastStop ? 1 : AddStopWake(polled);
        if (m_nGiveUpFd >= 0) {
            polled[count++] = {m_nGiveUpFd, POLLIN, 0};
        }
        struct pollfd& p = polled[0];
        const struct timespec wait = UsecToTimespec(end - now);
        const int ready = ppoll(polled, count, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // interrupted: the deadline still holds
            }
            return false;  // real failure: keep what we have
        }
        if (ready == 0) {
            continue;  // timeout: the loop sees the end
        }
        if (p.revents & POLLIN) {
            char buf[READ_CHUNK];
            const ssize_t n = ReadChunk(m_fd, buf);
            if (n > 0) {
                out.append(buf, static_cast<std::string::size_type>(n));
                received = true;
                lastInput = MonotonicUsec();
            } else if (n == 0) {
                m_bGone = true;
                return false;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                m_bGone = true;
                return false;  // real failure (EIO once a pty master has closed)
            }
            // EAGAIN: readiness was stale; wait again.
        } else if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            m_bGone = true;
            return false;  // hung up or failed, with nothing left to read
        }
        // Otherwise only the stop request: the loop sees it.
    }
    return true;
}

int CComPortBaseLinux::Read(std::string& out)
{
    Pass(out, INT64_MAX);
    return 0;
}

int CComPortBaseLinux::ReadAll(std::string& out)
{
    Pass(out, INT64_MAX);
    return 1;
}

int CComPortBaseLinux::ReadAll(std::string& out, int64_t notAfterUsec)
{
    return Pass(out, notAfterUsec) ? 1 : 0;
}

std::string::size_type CComPortBaseLinux::DiscardInput()
{
    std::string dropped;
    TakeQueuedInput(dropped);
    return dropped.size();
}

void CComPortBaseLinux::TakeQueuedInput(std::string& out)
{
    out += m_strPending;
    m_strPending.clear();
    if (m_fd < 0) {
        return;
    }
    // Bounded, so a device that talks faster than we read cannot keep us here.
    for (int i = 0; i < DISCARD_READS; ++i) {
        char buf[READ_CHUNK];
        const ssize_t n = ReadChunk(m_fd, buf);
        if (n < 0 && errno == EAGAIN) {
            break;  // nothing queued
        }
        if (n <= 0) {
            m_bGone = true;  // end of file or a failed read: the device went away
            break;
        }
        out.append(buf, static_cast<std::string::size_type>(n));
    }
}

void CComPortBaseLinux::WaitForInput(const std::vector<CComPortBaseLinux*>& ports, int64_t notAfterUsec, int wakeFd)
{
    std::vector<struct pollfd> polled;
    std::vector<CComPortBaseLinux*> polledPorts;  // by entry of `polled`
    for (CComPortBaseLinux* port : ports) {
        if (!port->m_strPending.empty()) {
            return;  // input is waiting already
        }
        if (port->m_fd >= 0) {
            polled.push_back({port->m_fd, POLLIN, 0});
            polledPorts.push_back(port);
        }
    }
    for (const int wake : {StopWakeDescriptor(), wakeFd}) {
        if (wake >= 0) {
            polled.push_back({wake, POLLIN, 0});
        }
    }
    for (;;) {
        const int64_t now = MonotonicUsec();
        if (now >= notAfterUsec || StopRequested()) {
            return;
        }
        const struct timespec wait = UsecToTimespec(notAfterUsec - now);
        const int ready = ppoll(polled.data(), polled.size(), &wait, nullptr);
        if (ready < 0 && errno == EINTR) {
            continue;  // interrupted: the deadline still holds
        }
        for (std::size_t i = 0; ready > 0 && i < polledPorts.size(); ++i) {
            if ((polled[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (polled[i].revents & POLLIN) == 0) {
                polledPorts[i]->m_bGone = true;  // hung up or failed, with nothing left to read
            }
        }
        // Input, a hang-up or error, a stop, the end, or a failed wait
        // (which no retry mends).
        return;
    }
}

void CComPortBaseLinux::ReadPastStop()
{
    m_bReadsPastStop = true;
}

void CComPortBaseLinux::SetGiveUpDescriptor(int fd)
{
    m_nGiveUpFd = fd;
}

bool CComPortBaseLinux::GivenUp() const
{
    if (m_nGiveUpFd < 0) {
        return false;
    }
    struct pollfd p = {m_nGiveUpFd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

const std::string& CComPortBaseLinux::GetDevPath() const
{
    return m_strDevPath;
}

int CComPortBaseLinux::IsComError() const
{
    return m_nErrorCode != 0 ? 1 : 0;
}

int CComPortBaseLinux::HasGoneAway() const
{
    return m_bGone ? 1 : 0;
}

std::string CComPortBaseLinux::GetErrorMsg() const
{
    return m_strErrorMsg;
}

int CComPortBaseLinux::ResetAllComPort()
{
    return term_lib_init();
}
