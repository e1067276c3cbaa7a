#include "term.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

__thread int term_errno = TERM_EOK;

namespace {

struct term_err_t
{
    int code;
    const char* text;
};

// Every code with its text, side by side.
const term_err_t term_err_str[] = {
    {TERM_EOK, "No error"},
    {TERM_ENOINIT, "Framework is uninitialized"},
    {TERM_EFULL, "Framework is full"},
    {TERM_ENOTFOUND, "Filedes not in the framework"},
    {TERM_EEXISTS, "Filedes already in the framework"},
    {TERM_EATEXIT, "Cannot install atexit handler"},
    {TERM_EISATTY, "Filedes is not a tty"},
    {TERM_EGETATTR, "Cannot get the device attributes"},
    {TERM_ESETATTR, "Cannot set the device attributes"},
    {TERM_EBAUD, "Invalid baud rate"},
    {TERM_ESETOSPEED, "Cannot set the output speed"},
    {TERM_EGETSPEED, "Cannot decode speed"},
    {TERM_EPARITY, "Invalid parity mode"},
    {TERM_EDATABITS, "Invalid number of databits"},
    {TERM_ESTOPBITS, "Invalid number of stopbits"},
    {TERM_EFLOW, "Invalid flowcontrol mode"},
};

struct baud_t
{
    int speed;
    speed_t code;
};

const baud_t baud_table[] = {
    {0, B0},         {50, B50},       {75, B75},       {110, B110},     {134, B134},
    {150, B150},     {200, B200},     {300, B300},     {600, B600},     {1200, B1200},
    {1800, B1800},   {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200},
};

struct term_slot_t
{
    int fd;
    struct termios origtermios;
    struct termios currtermios;
    struct termios nexttermios;
};

struct term_table_t
{
    int init;
    term_slot_t slot[TERM_MAX_TERMS];
};

// Guards `term`: the initialised flag and every slot (descriptor and its
// three settings records). Held only for table work and quick ioctls, never
// while a device drains its output.
std::mutex term_lock;
term_table_t term = {};

// The slot of `fd`, or -1 with term_errno set. Caller holds term_lock.
int find_locked(int fd)
{
    if (!term.init) {
        term_errno = TERM_ENOINIT;
        return -1;
    }
    // -1 marks a free slot; it must never match as a descriptor.
    if (fd >= 0) {
        for (int i = 0; i < TERM_MAX_TERMS; ++i) {
            if (term.slot[i].fd == fd) {
                return i;
            }
        }
    }
    term_errno = TERM_ENOTFOUND;
    return -1;
}

// Registers `fd`; the check for a free slot and taking it happen under one
// hold of the lock, so two threads never take the same slot.
// Returns the slot or -1. Caller holds term_lock.
int add_locked(int fd)
{
    if (!term.init) {
        term_errno = TERM_ENOINIT;
        return -1;
    }
    if (find_locked(fd) >= 0) {
        term_errno = TERM_EEXISTS;
        return -1;
    }
    if (!isatty(fd)) {
        term_errno = TERM_EISATTY;
        return -1;
    }
    int i = 0;
    while (i < TERM_MAX_TERMS && term.slot[i].fd != -1) {
        ++i;
    }
    if (i == TERM_MAX_TERMS) {
        term_errno = TERM_EFULL;
        return -1;
    }
    term_slot_t& s = term.slot[i];
    if (tcgetattr(fd, &s.origtermios) < 0) {
        term_errno = TERM_EGETATTR;
        return -1;
    }
    s.currtermios = s.origtermios;
    s.nexttermios = s.origtermios;
    s.fd = fd;
    return i;
}

// Puts back the initial settings of every registered descriptor and frees
// its slot. Shared by the exit handler and a repeated term_lib_init.
// Caller holds term_lock.
void restore_all_locked(const char* func)
{
    for (term_slot_t& s : term.slot) {
        if (s.fd == -1) {
            continue;
        }
        // Whatever is queued was meant for the settings we are leaving.
        tcflush(s.fd, TCIOFLUSH);
        int r;
        do {
            r = tcsetattr(s.fd, TCSANOW, &s.origtermios);
        } while (r < 0 && errno == EINTR);
        if (r < 0) {
            const int err = errno;  // ttyname_r may overwrite it
            char tname[64];
            char etext[128];
            // Another thread may be inside ttyname or strerror: only the
            // reentrant forms, with our own buffers.
            const bool named = ttyname_r(s.fd, tname, sizeof tname) == 0;
            std::fprintf(stderr, "%s: reset failed for dev %s: %s\n", func,
                         named ? tname : "UNKNOWN", strerror_r(err, etext, sizeof etext));
        }
        s.fd = -1;
    }
}

// Runs `change` on the next settings of a registered descriptor under the
// lock. Returns its result, or -1 with term_errno set when `fd` is unknown.
template <typename Change>
int change_next(int fd, Change change)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    const int i = find_locked(fd);
    return i < 0 ? -1 : change(term.slot[i].nexttermios);
}

// The setters proper, on one termios record; -1 with term_errno on a value
// they do not know. Shared by term_set and the term_set_* functions.
int set_raw(struct termios& t)
{
    cfmakeraw(&t);
    // A read returns as soon as one byte is there; no inter-byte timer.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return 0;
}

int set_baudrate(struct termios& t, int baud)
{
    const int code = Bcode(baud);
    if (code < 0) {
        term_errno = TERM_EBAUD;
        return -1;
    }
    struct termios tio = t;
    if (cfsetospeed(&tio, static_cast<speed_t>(code)) < 0) {
        term_errno = TERM_ESETOSPEED;
        return -1;
    }
    // An input speed of 0 means "same as the output speed".
    cfsetispeed(&tio, B0);
    t = tio;
    return 0;
}

int set_parity(struct termios& t, int parity)
{
    tcflag_t& c = t.c_cflag;
    switch (parity) {
    case P_NONE:
        c &= ~(PARENB | PARODD | CMSPAR);
        break;
    case P_EVEN:
        c &= ~(PARODD | CMSPAR);
        c |= PARENB;
        break;
    case P_ODD:
        c &= ~CMSPAR;
        c |= PARENB | PARODD;
        break;
    case P_MARK:
        c |= PARENB | PARODD | CMSPAR;
        break;
    case P_SPACE:
        c &= ~PARODD;
        c |= PARENB | CMSPAR;
        break;
    default:
        term_errno = TERM_EPARITY;
        return -1;
    }
    return 0;
}

int set_databits(struct termios& t, int databits)
{
    tcflag_t size;
    switch (databits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        term_errno = TERM_EDATABITS;
        return -1;
    }
    t.c_cflag = (t.c_cflag & ~CSIZE) | size;
    return 0;
}

int set_stopbits(struct termios& t, int stopbits)
{
    switch (stopbits) {
    case 1:
        t.c_cflag &= ~CSTOPB;
        break;
    case 2:
        t.c_cflag |= CSTOPB;
        break;
    default:
        term_errno = TERM_ESTOPBITS;
        return -1;
    }
    return 0;
}

int set_flowcntrl(struct termios& t, int fc)
{
    switch (fc) {
    case FC_NONE:
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case FC_RTSCTS:
        t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case FC_XONXOFF:
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag |= IXON | IXOFF;
        break;
    default:
        term_errno = TERM_EFLOW;
        return -1;
    }
    return 0;
}

void set_cflag(struct termios& t, tcflag_t flag, int on)
{
    if (on) {
        t.c_cflag |= flag;
    } else {
        t.c_cflag &= ~flag;
    }
}

}  // namespace

const char* term_strerror(int code)
{
    for (const term_err_t& e : term_err_str) {
        if (e.code == code) {
            return e.text;
        }
    }
    return "Unknown error";
}

int Bcode(int speed)
{
    for (const baud_t& b : baud_table) {
        if (b.speed == speed) {
            return static_cast<int>(b.code);
        }
    }
    return -1;
}

int Bspeed(speed_t code)
{
    for (const baud_t& b : baud_table) {
        if (b.code == code) {
            return b.speed;
        }
    }
    return -1;
}

int term_lib_init()
{
    const std::lock_guard<std::mutex> hold(term_lock);
    if (term.init) {
        restore_all_locked("term_lib_init");
        return 0;
    }
    for (term_slot_t& s : term.slot) {
        s.fd = -1;
    }
    if (std::atexit(term_exitfunc) != 0) {
        term_errno = TERM_EATEXIT;
        return -1;
    }
    term.init = 1;
    return 0;
}

void term_exitfunc()
{
    const std::lock_guard<std::mutex> hold(term_lock);
    if (term.init) {
        restore_all_locked("term_exitfunc");
    }
}

int term_find(int fd)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    return find_locked(fd);
}

int term_add(int fd)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    return add_locked(fd) < 0 ? -1 : 0;
}

int term_erase(int fd)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    const int i = find_locked(fd);
    if (i < 0) {
        return -1;
    }
    term.slot[i].fd = -1;
    return 0;
}

int term_set_raw(int fd)
{
    return change_next(fd, [](struct termios& t) { return set_raw(t); });
}

int term_set_baudrate(int fd, int baud)
{
    return change_next(fd, [baud](struct termios& t) { return set_baudrate(t, baud); });
}

int term_set_parity(int fd, int parity)
{
    return change_next(fd, [parity](struct termios& t) { return set_parity(t, parity); });
}

int term_set_databits(int fd, int databits)
{
    return change_next(fd, [databits](struct termios& t) { return set_databits(t, databits); });
}

int term_set_stopbits(int fd, int stopbits)
{
    return change_next(fd, [stopbits](struct termios& t) { return set_stopbits(t, stopbits); });
}

int term_set_flowcntrl(int fd, int fc)
{
    return change_next(fd, [fc](struct termios& t) { return set_flowcntrl(t, fc); });
}

int term_set_local(int fd, int local)
{
    return change_next(fd, [local](struct termios& t) {
        set_cflag(t, CLOCAL, local);
        return 0;
    });
}

int term_set_hupcl(int fd, int on)
{
    return change_next(fd, [on](struct termios& t) {
        set_cflag(t, HUPCL, on);
        return 0;
    });
}

int term_set(int fd, int raw, int baud, int parity, int databits, int stopbits, int fc, int local,
             int hup_close)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    int i = find_locked(fd);
    const bool added_here = i < 0;
    if (added_here) {
        i = add_locked(fd);
        if (i < 0) {
            return -1;
        }
    }
    // Prepared on a copy: a refused value leaves the next settings as they were.
    struct termios next = term.slot[i].nexttermios;
    int r = raw ? set_raw(next) : 0;
    if (r == 0) {
        r = set_baudrate(next, baud);
    }
    if (r == 0) {
        r = set_parity(next, parity);
    }
    if (r == 0) {
        r = set_databits(next, databits);
    }
    if (r == 0) {
        r = set_stopbits(next, stopbits);
    }
    if (r == 0) {
        r = set_flowcntrl(next, fc);
    }
    if (r == 0) {
        set_cflag(next, CLOCAL, local);
        set_cflag(next, HUPCL, hup_close);
        term.slot[i].nexttermios = next;
        return 0;
    }
    // Leave the table as the caller found it; term_errno keeps the cause.
    if (added_here) {
        term.slot[i].fd = -1;
    }
    return -1;
}

int term_apply(int fd, int now)
{
    struct termios next;
    {
        const std::lock_guard<std::mutex> hold(term_lock);
        const int i = find_locked(fd);
        if (i < 0) {
            return -1;
        }
        next = term.slot[i].nexttermios;
    }
    int r;
    do {
        // TCSAFLUSH waits for queued output and may be interrupted.
        r = tcsetattr(fd, now ? TCSANOW : TCSAFLUSH, &next);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        term_errno = TERM_ESETATTR;
        return -1;
    }
    // Read back: the driver may have refused or adjusted some flags
    // (a pseudo-terminal forces CS8 and clears PARENB, for instance).
    if (tcgetattr(fd, &next) < 0) {
        term_errno = TERM_EGETATTR;
        return -1;
    }
    const std::lock_guard<std::mutex> hold(term_lock);
    const int i = find_locked(fd);
    if (i < 0) {
        return -1;
    }
    term.slot[i].nexttermios = next;
    term.slot[i].currtermios = next;
    return 0;
}

int term_get_baudrate(int fd, int* ispeed)
{
    const std::lock_guard<std::mutex> hold(term_lock);
    const int i = find_locked(fd);
    if (i < 0) {
        return -1;
    }
    const term_slot_t& s = term.slot[i];
    if (ispeed) {
        *ispeed = Bspeed(cfgetispeed(&s.currtermios));
    }
    const int rate = Bspeed(cfgetospeed(&s.currtermios));
    if (rate < 0) {
        term_errno = TERM_EGETSPEED;
        return -1;
    }
    return rate;
}

int term_flush(int fd)
{
    if (term_find(fd) < 0) {
        return -1;
    }
    return tcflush(fd, TCIOFLUSH) < 0 ? -1 : 0;
}

int term_flush_input(int fd)
{
    if (term_find(fd) < 0) {
        return -1;
    }
    return tcflush(fd, TCIFLUSH) < 0 ? -1 : 0;
}

int term_output_queued(int fd)
{
    if (term_find(fd) < 0) {
        return -1;
    }
    int queued = 0;
    return ioctl(fd, TIOCOUTQ, &queued) < 0 ? -1 : queued;
}
