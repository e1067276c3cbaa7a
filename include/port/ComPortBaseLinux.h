#ifndef TARNEL_COMPORTBASELINUX_H
#define TARNEL_COMPORTBASELINUX_H

// The Linux implementation behind CComPortBase. Every CComPortBase operation
// forwards here unchanged; see ComPortBase.h for the user's view.
//
// The descriptor is non-blocking for its whole life. Writing and reading wait
// in the kernel (ppoll) until the device is ready or a deadline on the
// monotonic clock has come, so a call never hangs on a silent or vanished
// device and costs no CPU while it waits. A stop request (StopSignal.h) ends
// every wait at once: a read pass returns what it has, a write gives up
// unless the device takes output (so a last ESC still goes out), and an Open
// waiting for another program's port gives up as busy.
//
// One program per port: Open takes the port's UUCP lock file (PortLock.h),
// then opens the device O_NONBLOCK | O_CLOEXEC and takes an exclusive flock
// on it, and only then touches its settings, so a port another program holds
// is never reconfigured or flushed. Close gives both back.
//
// Threads: each object belongs to one thread at a time; different objects
// may be used from different threads at once. Everything a port needs for
// its settings (line settings template, write chunk size) is its own.

#include <cstdint>
#include <string>
#include <vector>
#include <sys/types.h>

#include "term.h"

class CComPortBaseLinux
{
public:
    // Stores the path, the rate and how long Open waits for a port another
    // program holds (`busyWaitMs`, 0: not at all); opens nothing
    // (CComPortBase calls Open).
    CComPortBaseLinux(const std::string& devPath, int baudRate, int busyWaitMs);
    // Closes the port.
    virtual ~CComPortBaseLinux();

    CComPortBaseLinux(const CComPortBaseLinux&) = delete;
    CComPortBaseLinux& operator=(const CComPortBaseLinux&) = delete;

    // Takes the port for this program, then applies the settings:
    //  1. the UUCP lock file (none where the lock folder does not exist);
    //  2. open O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    //  3. flock(LOCK_EX | LOCK_NB), then TIOCEXCL (turns away other openers
    //     that are not root; root passes it, hence 1 and 3);
    //  4. SetParam.
    // A port held by another program (a live lock file, a flock, or TIOCEXCL
    // refusing our open) is busy: the device's settings are not touched; Open tries again every 50 ms
    // until the wait given to the constructor has passed, then returns 0 with
    // IsBusy 1 and GetBusyPid telling the holder. Busy is not an error record.
    // Returns 1 when open and configured (at once if already so); 0 when busy,
    // when the path cannot be opened (nothing recorded), when the lock file
    // cannot be made (recorded: "Code: <errno>  Cannot create the lock file:
    // <system text>", or "Code: -<PORTLOCK_E code>  <its text>"), or when
    // SetParam failed (descriptor and locks kept; a later Open tries the
    // settings again).
    int Open();

    // Restores nothing: clears HUPCL so the modem is not hung up, waits up to
    // one nominal pass (at least the quiet gap) for written output to leave,
    // discards unread input (and output only when some is still queued then),
    // applies at once and forgets the descriptor in the settings table, then
    // closes it (which drops the flock) and removes the lock file.
    // Idempotent; returns 1.
    int Close();

    // 1 when the last Open found the port held by another program (or by
    // another port object of this process); 0 otherwise.
    int IsBusy() const;

    // The holder's PID after a busy Open: from its lock file, or from
    // /proc/locks for a flock; 0 when it cannot be told.
    pid_t GetBusyPid() const;

    // Why the last Open could not take the port's lock file when the reason
    // is not another holder (a read-only or full lock folder, a name too
    // long, too many locks): the lock error's text without its code; empty
    // otherwise.
    const std::string& GetLockError() const;

    // 1 while the descriptor is valid (even when the settings failed).
    int IsOpened();

    // Raw, the port's rate, 8N1, no flow control, CLOCAL, HUPCL; applied after
    // queued output drains, with unread input discarded. On success sets the
    // port's write chunk size and returns 1. On failure records the error
    // and returns 0: the system error when there is one (HandleError), else
    // the settings layer's, as "Code: -<TERM_E code>  <text>" (a full
    // settings table reads "Too many ports open at once (at most 256)").
    int SetParam();

    // Changes the port's rate; on an open port applies the settings again at
    // once (SetParam), keeping the port and its locks. Returns the SetParam
    // result, or 0 when the port is not open (the rate is used by the next
    // Open).
    int SetBaudRate(int baudRate);

    // Largest byte count Write hands to one write(): one second's worth of
    // characters at this port's rate as last applied (rate / 10, at least 8).
    int32_t WriteChunkSize() const;

    // Sends `cmd` in chunks of at most WriteChunkSize() bytes as fast as the
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
    // Appends the pending input and whatever the device has queued to `out`,
    // without waiting.
    void TakeQueuedInput(std::string& out);

    // See CComPortBase::WaitForInput.
    static void WaitForInput(const std::vector<CComPortBaseLinux*>& ports, int64_t notAfterUsec, int wakeFd = -1);

    // See CComPortBase::ReadPastStop.
    void ReadPastStop();

    // See CComPortBase::SetGiveUpDescriptor and GivenUp.
    void SetGiveUpDescriptor(int fd);
    bool GivenUp() const;

    // The device path given at construction.
    const std::string& GetDevPath() const;

    // 1 when an error is recorded.
    int IsComError() const;

    // The recorded error text, "Code: <errno>  <strerror>", or empty.
    std::string GetErrorMsg() const;

    // 1 once a read or write found the device gone (see CComPortBase).
    int HasGoneAway() const;

    // Records errno as "Code: %d  " + its system text unless an error is
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

    enum Take_t { TAKEN, TAKE_BUSY, TAKE_FAILED };
    // Steps 1 to 3 of Open, once.
    Take_t TakePort();
    // Records `code` and "Code: <code>  <text>" unless an error is recorded.
    void RecordError(int code, const char* text);
    // Removes our lock file, if we made one.
    void ReleaseLockFile();
    // Waits until the device has sent what was written, at most `waitUsec`
    // (polled; a stop request does not cut it short). True when nothing is
    // known to be queued any more.
    bool WaitOutputSent(int64_t waitUsec) const;

    int32_t m_nErrorCode = 0;
    std::string m_strErrorMsg;
    std::string m_strDevPath;
    int32_t m_nBaudRate;
    int32_t m_fd = -1;
    std::string m_strPending;  // input that arrived during Write
    bool m_bGone = false;      // end of file, a failed read or write, or a hang-up seen
    bool m_bConfigured = false;  // the last SetParam on this descriptor succeeded
    int32_t m_nTtyWriteSz = 8;   // see WriteChunkSize
    int m_nBusyWaitMs;
    std::string m_strLockPath;   // our lock file while open; empty without one
    bool m_bBusy = false;
    pid_t m_nBusyPid = 0;
    std::string m_strLockError;
    int m_nGiveUpFd = -1;  // see SetGiveUpDescriptor; not owned
    bool m_bReadsPastStop = false;  // see ReadPastStop
};

#endif
