#ifndef TARNEL_COMPORTBASELINUX_H
#define TARNEL_COMPORTBASELINUX_H

// The Linux implementation behind CComPortBase. Every CComPortBase operation
// forwards here unchanged; see ComPortBase.h for the user's view.
//
// The descriptor is non-blocking for its whole life. Writing and reading are
// polling loops of short cycles (select, then one read or write, then a
// 500 us pause), bounded by a cycle count, so a call never hangs on a silent
// or vanished device.

#include <cstdint>
#include <string>

#include "term.h"

// Line settings template shared by every port: 8N1, no flow control, hang-up
// on close requested when the settings are made. `baud` is overwritten with
// the port's own rate before each use.
extern opt_t opts;

// Largest byte count handed to one write(): one second's worth of characters
// at the rate of the port configured last (rate / 10, at least 8).
extern int32_t tty_write_sz;

class CComPortBaseLinux
{
public:
    // Stores the path and rate; opens nothing (CComPortBase calls Open).
    CComPortBaseLinux(const std::string& devPath, int baudRate);
    // Closes the port.
    virtual ~CComPortBaseLinux();

    CComPortBaseLinux(const CComPortBaseLinux&) = delete;
    CComPortBaseLinux& operator=(const CComPortBaseLinux&) = delete;

    // Opens the path O_RDWR | O_NOCTTY | O_NONBLOCK and applies the settings.
    // Returns 1 when open and configured (at once if already so), 0 when the
    // open failed (nothing recorded) or SetParam failed (descriptor kept; a
    // later Open tries the settings again).
    int Open();

    // Restores nothing: clears HUPCL so the modem is not hung up, flushes both
    // directions, applies at once and forgets the descriptor in the settings
    // table, then closes it. Idempotent; returns 1.
    int Close();

    // 1 while the descriptor is valid (even when the settings failed).
    int IsOpened();

    // Raw, the port's rate, 8N1, no flow control, CLOCAL, HUPCL; applied after
    // queued output drains, with unread input discarded. On success sets
    // tty_write_sz and returns 1; on failure records the error (HandleError)
    // and returns 0.
    int SetParam();

    // Sends `cmd` in chunks of at most tty_write_sz bytes during a bounded run
    // of cycles (5, plus 10 per chunk of input received, at most 1000), and
    // keeps whatever input arrives meanwhile as pending input for the next
    // Read. Always runs out its cycles, so the start of the answer is usually
    // pending on return.
    // Returns 1 when every byte was written; 0 when the port is closed, the
    // device failed (read EOF, read/write/select error, exceptional condition)
    // or the cycles ran out before the whole command was written.
    int Write(std::string cmd);

    // One read pass: hands out the pending input first, then polls for the
    // cycles set by time1 of set.ini (600 when not above 0), 10 more per chunk
    // received but at most 1000 once data has arrived. Ends early on EOF, a
    // read or select failure or an exceptional condition, keeping what it has.
    // Appends to `out` (never clears it); returns 0 in every case.
    int Read(std::string& out);

    // One Read pass appended to `out`; returns 1.
    int ReadAll(std::string& out);

    // 1 when an error is recorded.
    int IsComError() const;

    // The recorded error text, "Code: <errno>  <strerror>", or empty.
    std::string GetErrorMsg() const;

    // Records errno as "Code: %d  " + strerror(errno) unless an error is
    // already recorded or errno is 0. A recorded error is never replaced.
    void HandleError();

    // Initialises the settings layer (term_lib_init): the first call installs
    // the exit-time restore, a later one restores and forgets every registered
    // descriptor. Returns the term_lib_init result.
    static int ResetAllComPort();

private:
    int32_t m_nErrorCode = 0;
    std::string m_strErrorMsg;
    std::string m_strDevPath;
    int32_t m_nBaudRate;
    int32_t m_fd = -1;
    std::string m_strPending;  // input that arrived during Write
    bool m_bConfigured = false;  // the last SetParam on this descriptor succeeded
};

#endif
