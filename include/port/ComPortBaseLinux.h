#ifndef TARNEL_COMPORTBASELINUX_H
#define TARNEL_COMPORTBASELINUX_H

// The Linux implementation behind CComPortBase. Every CComPortBase operation
// forwards here unchanged; see ComPortBase.h for the user's view.
//
// The descriptor is non-blocking for its whole life. Writing and reading wait
// in the kernel (ppoll) until the device is ready or a deadline on the
// monotonic clock has come, so a call never hangs on a silent or vanished
// device and costs no CPU while it waits.

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

    // Sends `cmd` in chunks of at most tty_write_sz bytes as fast as the
    // device takes them, and keeps whatever input arrives meanwhile as pending
    // input for the next read pass. Returns as soon as the last byte is
    // written.
    // Returns 1 when every byte was written; 0 when the port is closed, the
    // device failed (read EOF, read/write/poll error, hang-up) or took no byte
    // for one nominal pass length (ReadPassUsec).
    int Write(std::string cmd);

    // One read pass: hands out the pending input first, then waits for input.
    // Ends when the line has been quiet for ReadQuietGapUsec(rate) after the
    // last byte, when nothing arrived during the nominal pass length
    // (ReadPassUsec, from time1 of set.ini), at READ_PASS_CAP_USEC after its
    // start once input has arrived, or early on EOF, a read or poll failure or
    // a hang-up, keeping what it has. Appends to `out` (never clears it);
    // returns 0 in every case.
    int Read(std::string& out);

    // One Read pass appended to `out`; returns 1.
    int ReadAll(std::string& out);

    // One Read pass that also ends when MonotonicUsec() reaches `notAfterUsec`.
    // Returns 1, or 0 when the port is closed or the device failed (EOF, read
    // or poll failure, hang-up): no later pass will bring anything.
    int ReadAll(std::string& out, int64_t notAfterUsec);

    // Drops the pending input and whatever the device has queued, without
    // waiting. Returns the number of bytes dropped.
    std::string::size_type DiscardInput();

    // The device path given at construction.
    const std::string& GetDevPath() const;

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
    // The read pass behind Read and ReadAll; see Read. False when the port is
    // closed or the device failed.
    bool Pass(std::string& out, int64_t notAfterUsec);

    int32_t m_nErrorCode = 0;
    std::string m_strErrorMsg;
    std::string m_strDevPath;
    int32_t m_nBaudRate;
    int32_t m_fd = -1;
    std::string m_strPending;  // input that arrived during Write
    bool m_bConfigured = false;  // the last SetParam on this descriptor succeeded
};

#endif
