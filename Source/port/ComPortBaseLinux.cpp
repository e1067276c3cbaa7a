#include "ComPortBaseLinux.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include "basic.h"

opt_t opts;
int32_t tty_write_sz = 8;

namespace {

const int READ_CHUNK = 128;          // bytes asked of one read()
const int WRITE_CYCLES = 5;          // initial cycles of a Write
const int READ_CYCLES = 600;         // initial cycles of a read pass without time1
const int MAX_CYCLES = 1000;         // cap once input has arrived
const int CYCLE_BONUS = 10;          // cycles granted per chunk of input
const useconds_t CYCLE_PAUSE = 500;  // microseconds

// Each chunk of input buys more cycles, but never beyond the cap, so a
// device that chatters without end cannot hold a pass forever. Written so
// that a huge time1 cannot overflow.
int RaiseLimit(int limit)
{
    return limit > MAX_CYCLES - CYCLE_BONUS ? MAX_CYCLES : limit + CYCLE_BONUS;
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
    int limit = WRITE_CYCLES;
    // Linux select() leaves the unused time in the timeval; carrying it into
    // the next cycle means only the first 1 ms of a call can block.
    struct timeval tv = {0, 1000};

    for (int cycle = 0; cycle < limit; ++cycle) {
        const bool pending = sent < staging.size();
        fd_set rdset, wrset, exset;
        FD_ZERO(&rdset);
        FD_ZERO(&wrset);
        FD_ZERO(&exset);
        FD_SET(m_fd, &rdset);
        FD_SET(m_fd, &exset);
        if (pending) {
            FD_SET(m_fd, &wrset);
        }
        const int ready = select(m_fd + 1, &rdset, &wrset, &exset, &tv);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // interrupted: next cycle, no pause
            }
            return 0;  // real failure of the wait
        }
        if (ready == 0) {
            usleep(CYCLE_PAUSE);  // timeout: nothing to do this cycle
            continue;
        }

        if (FD_ISSET(m_fd, &rdset)) {
            char buf[READ_CHUNK];
            const ssize_t n = ReadChunk(m_fd, buf);
            if (n > 0) {
                // The modem answers while we write: keep it for the next Read.
                m_strPending.append(buf, static_cast<std::string::size_type>(n));
                limit = RaiseLimit(limit);
            } else if (n == 0) {
                return 0;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                return 0;  // real failure
            }
            // EAGAIN: readiness was stale; nothing lost.
        }

        if (FD_ISSET(m_fd, &wrset)) {
            const std::string::size_type chunk =
                std::min<std::string::size_type>(staging.size() - sent,
                                                 static_cast<std::string::size_type>(tty_write_sz));
            ssize_t n;
            do {
                n = write(m_fd, staging.data() + sent, chunk);
            } while (n < 0 && errno == EINTR);
            if (n > 0) {
                sent += static_cast<std::string::size_type>(n);
            } else if (n < 0 && errno == EAGAIN) {
                // Output queue full despite select: try again next cycle.
            } else {
                return 0;  // real failure (or a write that took nothing)
            }
            usleep(CYCLE_PAUSE);
        }

        if (FD_ISSET(m_fd, &exset)) {
            return 0;
        }
        usleep(CYCLE_PAUSE);
    }
    // Report success only when the whole command went out.
    return sent == staging.size() ? 1 : 0;
}

int CComPortBaseLinux::Read(std::string& out)
{
    out += m_strPending;
    m_strPending.clear();
    if (m_fd < 0) {
        return 0;
    }
    int limit = g_nWinUserValue[0] > 0 ? g_nWinUserValue[0] : READ_CYCLES;
    struct timeval tv = {0, 1000};  // consumed across cycles, as in Write
    usleep(CYCLE_PAUSE);

    for (int cycle = 0; cycle < limit; ++cycle) {
        fd_set rdset, exset;
        FD_ZERO(&rdset);
        FD_ZERO(&exset);
        FD_SET(m_fd, &rdset);
        FD_SET(m_fd, &exset);
        const int ready = select(m_fd + 1, &rdset, nullptr, &exset, &tv);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // interrupted: next cycle, no pause
            }
            break;  // real failure: keep what we have
        }
        if (ready == 0) {
            usleep(CYCLE_PAUSE);  // timeout: nothing arrived this cycle
            continue;
        }
        if (FD_ISSET(m_fd, &rdset)) {
            char buf[READ_CHUNK];
            const ssize_t n = ReadChunk(m_fd, buf);
            if (n > 0) {
                out.append(buf, static_cast<std::string::size_type>(n));
                limit = RaiseLimit(limit);
            } else if (n == 0) {
                break;  // end of file: the device went away
            } else if (errno != EAGAIN) {
                break;  // real failure (EIO once a pty master has closed)
            }
            // EAGAIN: readiness was stale; poll again next cycle.
        }
        if (FD_ISSET(m_fd, &exset)) {
            break;
        }
        usleep(CYCLE_PAUSE);
    }
    return 0;
}

int CComPortBaseLinux::ReadAll(std::string& out)
{
    std::string pass;
    Read(pass);
    out += pass;
    usleep(1);
    return 1;
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
