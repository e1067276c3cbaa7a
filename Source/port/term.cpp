#include "term.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int term_errno = TERM_EOK;

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

term_table_t term = {};

// Puts back the initial settings of every registered descriptor and frees
// its slot. Shared by the exit handler and a repeated term_lib_init.
void term_restore_all(const char* func)
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
            const int err = errno;  // ttyname may overwrite it
            const char* tname = ttyname(s.fd);
            std::fprintf(stderr, "%s: reset failed for dev %s: %s\n", func,
                         tname ? tname : "UNKNOWN", std::strerror(err));
        }
        s.fd = -1;
    }
}

// The next settings of a registered descriptor, or null with term_errno set.
struct termios* term_next(int fd)
{
    const int i = term_find(fd);
    return i < 0 ? nullptr : &term.slot[i].nexttermios;
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
    if (term.init) {
        term_restore_all("term_lib_init");
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
    if (term.init) {
        term_restore_all("term_exitfunc");
    }
}

int term_find(int fd)
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

int term_add(int fd)
{
    if (!term.init) {
        term_errno = TERM_ENOINIT;
        return -1;
    }
    if (term_find(fd) >= 0) {
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
    return 0;
}

int term_erase(int fd)
{
    const int i = term_find(fd);
    if (i < 0) {
        return -1;
    }
    term.slot[i].fd = -1;
    return 0;
}

int term_set_raw(int fd)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    cfmakeraw(next);
    // A read returns as soon as one byte is there; no inter-byte timer.
    next->c_cc[VMIN] = 1;
    next->c_cc[VTIME] = 0;
    return 0;
}

int term_set_baudrate(int fd, int baud)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    const int code = Bcode(baud);
    if (code < 0) {
        term_errno = TERM_EBAUD;
        return -1;
    }
    struct termios tio = *next;
    if (cfsetospeed(&tio, static_cast<speed_t>(code)) < 0) {
        term_errno = TERM_ESETOSPEED;
        return -1;
    }
    // An input speed of 0 means "same as the output speed".
    cfsetispeed(&tio, B0);
    *next = tio;
    return 0;
}

int term_set_parity(int fd, int parity)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    tcflag_t& c = next->c_cflag;
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

int term_set_databits(int fd, int databits)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
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
    next->c_cflag = (next->c_cflag & ~CSIZE) | size;
    return 0;
}

int term_set_stopbits(int fd, int stopbits)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    switch (stopbits) {
    case 1:
        next->c_cflag &= ~CSTOPB;
        break;
    case 2:
        next->c_cflag |= CSTOPB;
        break;
    default:
        term_errno = TERM_ESTOPBITS;
        return -1;
    }
    return 0;
}

int term_set_flowcntrl(int fd, int fc)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    switch (fc) {
    case FC_NONE:
        next->c_cflag &= ~CRTSCTS;
        next->c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case FC_RTSCTS:
        next->c_cflag |= CRTSCTS;
        next->c_iflag &= ~(IXON | IXOFF | IXANY);
        break;
    case FC_XONXOFF:
        next->c_cflag &= ~CRTSCTS;
        next->c_iflag |= IXON | IXOFF;
        break;
    default:
        term_errno = TERM_EFLOW;
        return -1;
    }
    return 0;
}

int term_set_local(int fd, int local)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    if (local) {
        next->c_cflag |= CLOCAL;
    } else {
        next->c_cflag &= ~CLOCAL;
    }
    return 0;
}

int term_set_hupcl(int fd, int on)
{
    struct termios* next = term_next(fd);
    if (!next) {
        return -1;
    }
    if (on) {
        next->c_cflag |= HUPCL;
    } else {
        next->c_cflag &= ~HUPCL;
    }
    return 0;
}

int term_set(int fd, int raw, int baud, int parity, int databits, int stopbits, int fc, int local,
             int hup_close)
{
    int i = term_find(fd);
    const bool added_here = i < 0;
    if (added_here) {
        if (term_add(fd) < 0) {
            return -1;
        }
        i = term_find(fd);
    }
    const struct termios saved = term.slot[i].nexttermios;

    int r = 0;
    if (raw) {
        r = term_set_raw(fd);
    }
    if (r == 0) {
        r = term_set_baudrate(fd, baud);
    }
    if (r == 0) {
        r = term_set_parity(fd, parity);
    }
    if (r == 0) {
        r = term_set_databits(fd, databits);
    }
    if (r == 0) {
        r = term_set_stopbits(fd, stopbits);
    }
    if (r == 0) {
        r = term_set_flowcntrl(fd, fc);
    }
    if (r == 0) {
        r = term_set_local(fd, local);
    }
    if (r == 0) {
        r = term_set_hupcl(fd, hup_close);
    }
    if (r == 0) {
        return 0;
    }

    // Leave the table as the caller found it; term_errno keeps the cause.
    if (added_here) {
        term.slot[i].fd = -1;
    } else {
        term.slot[i].nexttermios = saved;
    }
    return -1;
}

int term_apply(int fd, int now)
{
    const int i = term_find(fd);
    if (i < 0) {
        return -1;
    }
    term_slot_t& s = term.slot[i];
    int r;
    do {
        // TCSAFLUSH waits for queued output and may be interrupted.
        r = tcsetattr(fd, now ? TCSANOW : TCSAFLUSH, &s.nexttermios);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        term_errno = TERM_ESETATTR;
        return -1;
    }
    // Read back: the driver may have refused or adjusted some flags
    // (a pseudo-terminal forces CS8 and clears PARENB, for instance).
    if (tcgetattr(fd, &s.nexttermios) < 0) {
        term_errno = TERM_EGETATTR;
        return -1;
    }
    s.currtermios = s.nexttermios;
    return 0;
}

int term_get_baudrate(int fd, int* ispeed)
{
    const int i = term_find(fd);
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
