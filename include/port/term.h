#ifndef TARNEL_TERM_H
#define TARNEL_TERM_H

// Terminal settings for serial descriptors.
//
// For each descriptor it manages (at most TERM_MAX_TERMS at once) the layer
// keeps three termios records: the initial settings (as found when the
// descriptor was registered), the current ones (as last applied and read
// back) and the next ones (being prepared). The term_set_* setters change only
// the next settings; term_apply pushes them to the device. Descriptors still
// registered when the process exits get their initial settings back.
//
// Every function returns 0 (or a non-negative value) on success and -1 on
// failure; a failure sets term_errno to one of the TERM_E* codes below, except
// where a function says it sets none. term_strerror gives the text of a code.
//
// Threads: one table for the whole process, guarded by one mutex, so several
// threads may register, set, apply and erase their own descriptors at once.
// A descriptor belongs to one thread at a time (its port's worker); the layer
// does not order two threads working on the same descriptor. term_errno is
// per thread: it tells the calling thread about its own last failure.

#include <termios.h>

// Error codes stored in term_errno. Their texts live in one table in term.cpp.
enum term_errno_e {
    TERM_EOK = 0,
    TERM_ENOINIT = 1,       // "Framework is uninitialized"
    TERM_EFULL = 2,         // "Framework is full"
    TERM_ENOTFOUND = 3,     // "Filedes not in the framework"
    TERM_EEXISTS = 4,       // "Filedes already in the framework"
    TERM_EATEXIT = 5,       // "Cannot install atexit handler"
    TERM_EISATTY = 6,       // "Filedes is not a tty"
    TERM_EGETATTR = 8,      // "Cannot get the device attributes"
    TERM_ESETATTR = 9,      // "Cannot set the device attributes"
    TERM_EBAUD = 10,        // "Invalid baud rate"
    TERM_ESETOSPEED = 11,   // "Cannot set the output speed"
    TERM_EGETSPEED = 13,    // "Cannot decode speed"
    TERM_EPARITY = 14,      // "Invalid parity mode"
    TERM_EDATABITS = 15,    // "Invalid number of databits"
    TERM_ESTOPBITS = 16,    // "Invalid number of stopbits"
    TERM_EFLOW = 17,        // "Invalid flowcontrol mode"
};

enum parity_e { P_NONE = 0, P_EVEN = 1, P_ODD = 2, P_MARK = 3, P_SPACE = 4 };
enum flowcntrl_e { FC_NONE = 0, FC_RTSCTS = 1, FC_XONXOFF = 2 };

// Template of the line settings a port asks for; the rate in `baud` is the
// port's own (each port passes its rate to term_set).
struct opt_t
{
    int baud = 9600;
    int flow = FC_NONE;
    int parity = P_NONE;
    int databits = 8;
    int stopbits = 1;
    int noreset = 0;  // 0: hang up on close (HUPCL) when the settings are made
};

// How many descriptors the layer can manage at once: a bank of 256 modems
// with four ttys each.
const int TERM_MAX_TERMS = 1024;

// Code of the calling thread's last failure (TERM_E*). Never cleared by a
// successful call. __thread rather than thread_local: a plain int needs no
// per-thread constructor, and GCC's access to an extern thread_local goes
// through a wrapper that its undefined-behaviour checker flags as a null
// reference.
extern __thread int term_errno;

// Text of a TERM_E* code; "No error" for 0, "Unknown error" for any code
// not in the table. Never returns null.
const char* term_strerror(int code);

// Initialises the layer.
// First call: frees all slots and installs term_exitfunc with atexit.
// Later calls: restores the initial settings of every registered descriptor
// (flushing queued data first) and frees its slot; a restore that fails is
// reported on stderr ("term_lib_init: reset failed for dev ...") and the slot
// is freed all the same.
// Returns 0, or -1 with TERM_EATEXIT when atexit refuses the handler.
// Call the first time before any other thread uses the layer.
int term_lib_init();

// The exit-time restore installed by term_lib_init; same loop as a later
// term_lib_init, reporting as "term_exitfunc". Safe while other threads still
// use their ports: it holds the table's lock, so it restores only descriptors
// still registered, and a port's Close forgets its descriptor before closing
// it, so no descriptor number is restored after its close.
void term_exitfunc();

// Slot index of `fd`. Errors: TERM_ENOINIT, TERM_ENOTFOUND.
int term_find(int fd);

// Registers `fd`: reads its settings into the initial, current and next
// records. Preconditions: layer initialised, `fd` open.
// Errors: TERM_ENOINIT, TERM_EEXISTS, TERM_EISATTY (no slot is taken),
// TERM_EFULL, TERM_EGETATTR.
int term_add(int fd);

// Frees the slot of `fd` without touching the device, so the same descriptor
// number can be registered again. Errors: TERM_ENOINIT, TERM_ENOTFOUND.
int term_erase(int fd);

// Registers `fd` if needed, then prepares on its next settings, in order:
// raw mode (when `raw` is non-zero), baud rate, parity (parity_e), data bits
// (5..8), stop bits (1, 2), flow control (flowcntrl_e), CLOCAL (`local`) and
// HUPCL (`hup_close`). Nothing is sent to the device.
// On failure the table is as before the call: a descriptor this call
// registered is forgotten again; otherwise its next settings are put back.
// Errors: those of term_add and of the individual setters.
int term_set(int fd, int raw, int baud, int parity, int databits, int stopbits, int fc, int local,
             int hup_close);

// Sends the next settings to the device: at once when `now` is non-zero
// (TCSANOW), otherwise after queued output has drained and with unread input
// discarded (TCSAFLUSH). Then reads them back into the next and current
// records. The device calls run outside the table's lock, so one port
// draining its output does not hold up the others.
// Errors: TERM_ENOINIT, TERM_ENOTFOUND (also when the descriptor was forgotten
// by term_lib_init or the exit-time restore meanwhile), TERM_ESETATTR,
// TERM_EGETATTR.
int term_apply(int fd, int now);

// Output rate of the current settings in bits per second; when `ispeed` is
// not null the input rate is stored there too (-1 when not in the table).
// Errors: TERM_ENOINIT, TERM_ENOTFOUND, TERM_EGETSPEED (rate not in the table).
int term_get_baudrate(int fd, int* ispeed);

// Sets (`on` non-zero) or clears HUPCL in the next settings.
// Errors: TERM_ENOINIT, TERM_ENOTFOUND.
int term_set_hupcl(int fd, int on);

// Discards data queued in both directions (tcflush TCIOFLUSH). Returns -1 when
// `fd` is not registered (TERM_ENOINIT, TERM_ENOTFOUND) or tcflush fails (no
// code of its own: see errno).
int term_flush(int fd);

// Discards data received and not yet read (tcflush TCIFLUSH); output stays
// queued. Errors as term_flush.
int term_flush_input(int fd);

// The number of bytes written to `fd` that the device has not yet sent
// (TIOCOUTQ; a pseudo-terminal always reports 0). Returns -1 when `fd` is not
// registered (TERM_ENOINIT, TERM_ENOTFOUND) or the ioctl fails (see errno).
int term_output_queued(int fd);

// The individual steps of term_set, one at a time; each changes the next
// settings of a registered descriptor. Errors besides TERM_ENOINIT /
// TERM_ENOTFOUND:
int term_set_raw(int fd);                 // cfmakeraw, VMIN 1, VTIME 0
int term_set_baudrate(int fd, int baud);  // TERM_EBAUD, TERM_ESETOSPEED
int term_set_parity(int fd, int parity);  // TERM_EPARITY
int term_set_databits(int fd, int databits);  // TERM_EDATABITS
int term_set_stopbits(int fd, int stopbits);  // TERM_ESTOPBITS
int term_set_flowcntrl(int fd, int fc);   // TERM_EFLOW
int term_set_local(int fd, int local);    // none

// Rate <-> speed code look-ups over the 18 supported rates (0 .. 115200);
// -1 when absent. Neither sets term_errno.
int Bcode(int speed);
int Bspeed(speed_t code);

#endif
