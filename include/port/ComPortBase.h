#ifndef TARNEL_COMPORTBASE_H
#define TARNEL_COMPORTBASE_H

// The serial port handle every modem conversation goes through.
//
// Construction opens the device and configures it raw 8N1 without flow
// control at the given rate; destruction closes it without hanging up the
// modem. The object does not interpret answers: the caller writes a command
// and calls ReadAll on one growing answer until its modem object judges the
// answer complete or the caller's attempts run out.
//
// Results are 1 for yes/success and 0 for no/failure unless stated. The
// error record (IsComError, GetErrorMsg) is set at most once, by a failure to
// take or configure the device; failing to open the path records nothing,
// and neither does a port another program holds (IsBusy, GetBusyPid).
//
// One program per port: a port is held, by its UUCP lock file and an
// exclusive flock, from Open to Close; see ComPortBaseLinux.h.
// Threads: one object belongs to one thread at a time; objects of different
// ports may be used from different threads at once.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <sys/types.h>

class CComPortBaseLinux;

// What the line may still carry after an exchange gave up on its answer. The
// command exchanges note it on the port and settle the line before the next
// command; the port itself only keeps it.
enum class LineState_t
{
    SETTLED,
    LATE_ANSWER_POSSIBLE,  // nothing arrived in time: the answer may still come
    CONFUSED,              // something arrived that could not be judged
};

class CComPortBase
{
public:
    // Takes, opens and configures `devPath` at `baudRate`. A port another
    // program holds is waited for up to `busyWaitMs` milliseconds (0: busy is
    // an answer at once, as a scan wants; a send, read or clear passes
    // g_nBusyWaitSec * 1000). Reports nothing: call Open (returns at once
    // when already open), IsOpened or IsBusy for the outcome.
    CComPortBase(std::string devPath, int baudRate, int busyWaitMs = 0);
    // Closes the port (see Close).
    virtual ~CComPortBase();

    CComPortBase(const CComPortBase&) = delete;
    CComPortBase& operator=(const CComPortBase&) = delete;

    // 1 when the port is open and configured. 0 when another program holds
    // it (IsBusy; waited for as the constructor was told), when the path
    // cannot be opened (no error recorded), when its lock file cannot be made
    // (recorded), or when it cannot be configured (not a terminal, a rate
    // outside 0..115200 of the standard table, attributes refused, the
    // settings table full; recorded; the descriptor and the locks stay until
    // Close, and a later Open tries the settings again).
    int Open();

    // Clears HUPCL, lets written output leave (one pass at most), discards
    // unread input, closes and lets go of the port's locks; the line keeps its
    // raw settings. Idempotent; always 1.
    int Close();

    // 1 when the last Open found the port held by another program or by
    // another port object of this process; the device was not touched.
    int IsBusy() const;

    // The holder's PID after a busy Open; 0 when it cannot be told.
    pid_t GetBusyPid() const;

    // Why the last Open could not take the port's lock file, when another
    // holder is not the reason (see CComPortBaseLinux); empty otherwise.
    const std::string& GetLockError() const;

    // 1 while the descriptor is valid.
    int IsOpened();

    // Applies the line settings again; 1 on success, 0 on failure (recorded).
    int SetParam();

    // Changes the rate of the port and, when it is open, applies the settings
    // again without letting go of the port (a scan that tries a second rate
    // keeps the port). 1 on success; 0 on failure (recorded) or when closed.
    int SetBaudRate(int baudRate);

    // Largest byte count one write() of Write takes: this port's rate / 10,
    // at least 8.
    int32_t WriteChunkSize() const;

    // Sends `cmd`. 0 at once, without touching the device, when the port is
    // not open; otherwise 1 when every byte was written, 0 when the device
    // failed or took no byte for one nominal pass length. Returns as soon as
    // the last byte is written; input arriving meanwhile is kept and handed
    // out first by the next ReadAll.
    int Write(std::string cmd);

    // Appends one read pass to `out`, pending input first; never clears `out`.
    // Once input has arrived the pass ends when the line has been quiet for
    // the quiet gap (ReadQuietGapUsec of basic.h), 0.5 s after its start at
    // the latest; a pass that receives nothing lasts its nominal length
    // (ReadPassUsec: time1 x 0.5 ms, 0.3 s by default). Returns 1.
    int ReadAll(std::string& out);

    // The same pass, ended by `notAfterUsec` (MonotonicUsec) at the latest.
    // Returns 1, or 0 when the port is closed or the device failed (end of
    // file, read or poll failure, hang-up): no later pass will bring anything.
    int ReadAll(std::string& out, int64_t notAfterUsec);

    // Drops the pending input and whatever the device has queued, without
    // waiting: stale input never reaches the next answer. Returns the count
    // of bytes dropped.
    std::string::size_type DiscardInput();
    // Appends the pending input and whatever the device has queued (bounded,
    // as DiscardInput) to `out` without waiting: what a watched port said
    // unasked is handed on instead of dropped.
    void TakeQueuedInput(std::string& out);

    // Waits until one of `ports` has input (pending or queued on its
    // device) or a hang-up or error to report, a stop is requested, or
    // MonotonicUsec() reaches `notAfterUsec`, or `wakeFd` (not read; -1:
    // none) is readable; reads nothing. Returns at once when one has pending
    // input. A watch waits so on all of a modem's AT ports.
    static void WaitForInput(const std::vector<CComPortBase*>& ports, int64_t notAfterUsec, int wakeFd = -1);

    // From now on a stop request no longer ends this port's read passes, so
    // that the commands putting back what a run changed on the modem still
    // get their answers, each within its own bound.
    void ReadPastStop();

    // The device path given at construction.
    const std::string& GetDevPath() const;

    // A descriptor (not owned; -1 detaches it) that tells this port to give
    // up: once it is readable, read passes end at once as on a failed device
    // (ReadAll returns 0) and nothing is written (GivenUp). Detection hands
    // the same descriptor to the ttys of one modem, so that once one of them
    // is recognised those that never answered stop waiting, and detaches it
    // from a tty as soon as that one answers.
    void SetGiveUpDescriptor(int fd);
    // True while a give-up descriptor is set and readable.
    bool GivenUp() const;

    // The line state noted by the exchanges; SETTLED for a new port.
    LineState_t GetLineState() const;
    void SetLineState(LineState_t state);

    // One read pass appended to `out`; returns 0. Callers use ReadAll.
    int Read(std::string& out);

    // 1 when an error is recorded.
    int IsComError() const;

    // "Code: <errno>  <system text>" of the recorded error, or empty.
    std::string GetErrorMsg() const;

    // 1 once a read or write found the device gone while open: end of file,
    // a read or write failing for another reason than "try again" (EIO once
    // a USB modem is unplugged), or a hang-up. A port that merely stays
    // silent, or one that stalls, is not gone.
    int HasGoneAway() const;

    // Initialises the terminal settings layer; call once at start-up. A later
    // call restores and forgets every descriptor still registered.
    // Returns 0, or -1 when the exit-time restore cannot be installed.
    static int ResetAllComPort();

private:
    std::unique_ptr<CComPortBaseLinux> m_pImpl;  // never null
    LineState_t m_eLineState = LineState_t::SETTLED;
};

#endif
