#include "ComPortBaseLinux.h"

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include "basic.h"

opt_t opts;
int32_t tty_write_sz = 8;

namespace {

const int READ_CHUNK = 128;     // bytes asked of one read()
const int DISCARD_READS = 512;  // reads of one DiscardInput (64 KiB)

struct timespec UsecToTimespec(int64_t usec)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(usec / 1000000);
    ts.tv_nsec = static_cast<long>(usec % 1000000) * 1000;
    return ts;
}

// Largest byte count handed to one write().
std::string::size_type WriteChunkSize()
{
    return static_cast<std::string::size_type>(tty_write_sz);
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

}  // namespace

CComPortBaseLinux::CComPortBaseLinux(const std::string& devPath, int baudRate)
    : m_strDevPath(devPath), m_nBaudRate(baudRate)
{
}

CComPortBaseLinux::~CComPortBaseLinux()
{
    Close();
}

int CComPortBaseLinux::Open()
{
    if (m_fd >= 0) {
        // Open but refused its settings: try them again rather than report
        // a port that cannot be used as ready.
        return m_bConfigured ? 1 : SetParam();
    }
    // O_NOCTTY: a modem must never become our controlling terminal.
    // O_NONBLOCK: open does not wait for carrier, and every later read and
    // write returns at once; the loops below do all the waiting.
    const int fd = open(m_strDevPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return 0;  // missing, busy or forbidden: not recorded as a port error
    }
    if (fd >= FD_SETSIZE) {
        // select() cannot watch it; FD_SET would write out of bounds.
        close(fd);
        return 0;
    }
    m_fd = fd;
    return SetParam();
}

int CComPortBaseLinux::SetParam()
{
    opts.baud = m_nBaudRate;
    // A stale errno from an earlier call must not be recorded as this failure.
    errno = 0;
    int r = term_set(m_fd, 1, opts.baud, opts.parity, opts.databits, opts.stopbits, opts.flow, 1,
                     !opts.noreset);
    if (r == 0) {
        r = term_apply(m_fd, 0);
    }
    if (r == 0) {
        const int32_t rate = term_get_baudrate(m_fd, nullptr);
        tty_write_sz = std::max<int32_t>(rate / 10, 8);
        m_bConfigured = true;
        return 1;
    }
    m_bConfigured = false;
    HandleError();
    return 0;
}

void CComPortBaseLinux::HandleError()
{
    const int err = errno;
    if (m_nErrorCode != 0 || err == 0) {
        return;
    }
    char code[32];
    std::snprintf(code, sizeof code, "Code: %d  ", err);
    m_nErrorCode = err;
    m_strErrorMsg = std::string(code) + std::strerror(err);
}

int CComPortBaseLinux::Close()
{
    if (m_fd < 0) {
        return 1;
    }
    // Dropping DTR on close would hang up the modem; keep the lines up.
    term_set_hupcl(m_fd, 0);
    term_flush(m_fd);
    term_apply(m_fd, 1);
    // Forget, not restore: the port stays raw, and the descriptor number may
    // be reused by the next port without colliding in the settings table.
    term_erase(m_fd);
    close(m_fd);
    m_fd = -1;
    m_bConfigured = false;
    return 1;
}

int CComPortBaseLinux::IsOpened()
{
    return m_fd >= 0 ? 1 : 0;
}

int CComPortBaseLinux::Write(std::string cmd)
{
    if (m_fd < 0) {
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
        struct pollfd p = {m_fd, POLLIN | POLLOUT, 0};
        const struct timespec wait = UsecToTimespec(stallEnd - now);
        const int ready = ppoll(&p, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // interrupted: the deadline still holds
            }
            return 0;  // real failure of the wait
        }
        if (ready == 0) {
            continue;  // timeout: the loop sees the deadline
        }
        if (p.revents & POLLIN) {
            char buf[READ_CHUNK];
            const ssize_t n = ReadChunk(m_fd, buf);
            if (n > 0) {
                // The modem answers while we write: keep it for the next Read.
                m_strPending.append(buf, static_cast<std::string::size_type>(n));
            } else if (n == 0) {
                return 0;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                return 0;  // real failure (EIO once a pty master has closed)
            }
            // EAGAIN: readiness was stale; nothing lost.
        }
        if (p.revents & POLLOUT) {
            const std::string::size_type chunk =
                std::min<std::string::size_type>(staging.size() - sent, WriteChunkSize());
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
                return 0;  // real failure (or a write that took nothing)
            }
        } else if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
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
        if (now >= end) {
            break;
        }
        // Waits in the kernel until input arrives or the pass is over.
        struct pollfd p = {m_fd, POLLIN, 0};
        const struct timespec wait = UsecToTimespec(end - now);
        const int ready = ppoll(&p, 1, &wait, nullptr);
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
                return false;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                return false;  // real failure (EIO once a pty master has closed)
            }
            // EAGAIN: readiness was stale; wait again.
        } else if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return false;  // hung up or failed, with nothing left to read
        }
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
    std::string::size_type dropped = m_strPending.size();
    m_strPending.clear();
    if (m_fd < 0) {
        return dropped;
    }
    // Bounded, so a device that talks faster than we read cannot keep us here.
    for (int i = 0; i < DISCARD_READS; ++i) {
        char buf[READ_CHUNK];
        const ssize_t n = ReadChunk(m_fd, buf);
        if (n <= 0) {
            break;  // nothing queued (EAGAIN), or the device failed: the next read sees it
        }
        dropped += static_cast<std::string::size_type>(n);
    }
    return dropped;
}

const std::string& CComPortBaseLinux::GetDevPath() const
{
    return m_strDevPath;
}

int CComPortBaseLinux::IsComError() const
{
    return m_nErrorCode != 0 ? 1 : 0;
}

std::string CComPortBaseLinux::GetErrorMsg() const
{
    return m_strErrorMsg;
}

int CComPortBaseLinux::ResetAllComPort()
{
    return term_lib_init();
}
