#ifndef TARNEL_WATCHHANDOVER_H
#define TARNEL_WATCHHANDOVER_H

// Lending a watched modem to a one-shot run.
//
// A watch ("sms watch") holds its modems' AT ports for as long as it runs. A
// send, read, ussd or scan that finds one of them busy asks the watch to let
// go instead of waiting out busywait. Each watch process listens on a Unix
// stream socket "watch-<pid>.sock" in its run folder (HandoverRunDirs). The
// run found the holder's PID in the busy port's lock file: it uses it only to
// name the socket (the process is never signalled) and talks only to a
// listener that the kernel (SO_PEERCRED) says is that very process, run by
// the same user; the watch in turn answers only peers of its own user.
//
// One line each way, each at most HANDOVER_MAX_LINE bytes with its newline:
//   run -> watch   "release <path> [<path>...]\n"  the busy device paths (the
//                  modem's ttys; paths without blanks or control characters)
//   watch -> run   "released\n"  every AT port of the modem is closed and its
//                                lock let go: the run takes them now
//                  "not held\n"  no modem the watch holds has one of the paths
// The run keeps the connection open while it works with the modem (its
// lease); closing it, or the run's death, gives the modem back, and so does
// anything more the run sends. A run asking for a modem that is lent already
// is told "released" at once (it then waits for the first borrower as for
// any other program); the watch takes the modem back once every borrower has
// gone.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The longest line either side sends, newline included; longer input ends
// the connection.
const std::size_t HANDOVER_MAX_LINE = 4096;

// The folders where a watch's socket may be, in the order a watch tries to
// make its socket and a run looks for one: TARNEL_RUN_DIR alone when the
// environment sets it (tests); for root "/run/tarnel"; for another user the
// per-user runtime folder "/run/user/<uid>/tarnel", then "/run/tarnel" (made
// by the service manager, e.g. RuntimeDirectory=tarnel).
std::vector<std::string> HandoverRunDirs();

// The socket of the watch with PID `pid` in `dir`.
std::string HandoverSocketPath(const std::string& dir, pid_t pid);

// The watch's side: one per watch process, made before the watch takes its
// first modem and kept until it has let go of the last.
//
// Threads and shared state: a thread of the server's own accepts and reads
// the runs' connections; the watch's threads (a watcher per modem) call the
// methods below. The connections and the modems' states are guarded by one
// mutex (m_mutex) held only for bookkeeping and short non-blocking writes,
// never across a wait. Only the server's thread closes a connection, so a
// descriptor it polls is never reused under it; a watcher's request to close
// one (Forget) is passed on through a wake-up pipe.
//
// A watcher uses it so:
//   const int id = server.Hold(paths);           // when it takes the modem
//   between two messages (never between a message's line and its delete):
//   if (server.Wanted(id)) {
//       close every AT port, let go of the modem's lock;
//       if (server.Grant(id)) server.WaitForReturn(id);
//       take the ports back, catch up;
//   }
//   server.Forget(id);                           // when it lets go for good
// WakeDescriptor(id) may join the watcher's poll so that a request ends its
// wait at once.
class CHandoverServer
{
public:
    // Listens in the first of `dirs` where the socket can be made: the
    // folder is made (0755) when missing; it must be a folder (not a link)
    // of this user or root. A socket of this name left by a dead process is
    // replaced. When none can be made the server does not listen (Error says
    // why) and the watch runs on without lending: its methods still work.
    explicit CHandoverServer(const std::vector<std::string>& dirs = HandoverRunDirs());
    // Stops the thread, closes every connection (a borrower's lease simply
    // ends) and removes the socket.
    ~CHandoverServer();
    CHandoverServer(const CHandoverServer&) = delete;
    CHandoverServer& operator=(const CHandoverServer&) = delete;

    bool Listening() const { return m_listenFd >= 0; }
    // The socket's path while listening; empty otherwise.
    const std::string& SocketPath() const { return m_strSocketPath; }
    // Why the server does not listen; empty when it does.
    const std::string& Error() const { return m_strError; }

    // The watch holds a modem whose AT ports (or any of its ttys) are
    // `paths`: returns its number (1 or more) for the calls below. A request
    // naming one of the paths (or a link to one) is for this modem.
    int Hold(const std::vector<std::string>& paths);
    // The watch has let go of the modem for good (gone, stopped): runs still
    // waiting for it are told "not held", borrowers' connections are closed,
    // and its number and wake descriptor are no more. Call it from the
    // modem's watcher once it no longer waits on WakeDescriptor.
    void Forget(int modem);

    // Readable (never read it) while the watcher has something to do for the
    // modem: a run waits for it (Wanted) or, lent, every borrower has gone
    // (TakeBack). -1 for an unknown number.
    int WakeDescriptor(int modem) const;
    // Whether a run waits for the modem (and it is not lent).
    bool Wanted(int modem) const;
    // After the watcher closed the modem's ports and let go of its lock: the
    // runs waiting for it are told "released" and the modem is lent. False
    // when none waits any more (they went meanwhile): the modem stays the
    // watch's, which takes the ports back at once.
    bool Grant(int modem);
    // True once, when the modem was lent and every borrower has gone: it is
    // the watch's again.
    bool TakeBack(int modem);
    // Waits until TakeBack is true (returns true) or a stop is requested
    // (false; the modem stays lent).
    bool WaitForReturn(int modem);

    // Whether a server exists in this process: a watch borrows no modem (two
    // watches would take modems from each other for ever).
    static bool ServingHere();

private:
    struct Connection_t
    {
        int fd = -1;
        std::string input;     // bytes of the request line so far
        int64_t deadline = 0;  // MonotonicUsec by which the request must have come
        int modem = 0;         // the modem asked for; 0 while the request is still coming
        bool lent = false;     // told "released"
        bool closing = false;  // to be closed by the server's thread
    };
    struct Modem_t
    {
        std::vector<std::string> paths;  // as given and as resolved
        int wakeFd = -1;                 // eventfd, readable while `due`
        bool due = false;
        bool lent = false;
    };

    void Serve();
    // Each of the following is called with m_mutex held.
    void Accept();
    // Reads what `c` sent; false when the connection is to be closed.
    bool ReadFrom(Connection_t& c);
    bool OnRequest(Connection_t& c, const std::string& line);
    void UpdateWake(int modem);
    void CloseConnection(std::size_t index);
    bool Listen(const std::string& dir);

    std::string m_strSocketPath;
    std::string m_strError;
    int m_listenFd = -1;
    dev_t m_socketDev = 0;  // the socket file as made, so only ours is removed
    ino_t m_socketIno = 0;
    int m_wakeThread[2] = {-1, -1};  // pipe: stop, or a connection to close
    std::atomic<bool> m_bStopping{false};

    // Guards every field below it.
    mutable std::mutex m_mutex;
    std::vector<Connection_t> m_connections;
    std::map<int, Modem_t> m_modems;
    int m_nNextModem = 1;

    std::thread m_thread;  // last: started once the rest is ready
};

class CWatchLease;

// What a one-shot run does with a modem or port held by process `holder`:
// asks that process, when it is a watch of this user's, to lend the modem of
// `paths` (CWatchLease::Ask) and waits for it until `notAfterUsec`
// (MonotonicUsec; a stop request ends the wait). The lease once lent, to be
// kept while the run uses the modem; null otherwise (no watch there, "not
// held", no answer in time), and always null in a process that serves
// handovers itself: a watch borrows nothing.
std::unique_ptr<CWatchLease> BorrowFromWatch(pid_t holder, const std::vector<std::string>& paths,
                                             int64_t notAfterUsec);

// The run's side: a request to the watch holding a busy modem, and then the
// lease on the modem, ended by the destructor.
class CWatchLease
{
public:
    // Asks the watch with PID `holder` (read from a lock file) for the modem
    // of `paths`, through its socket in the first of `dirs` where one exists.
    // Null at once when no watch of this user listens there as that process
    // (no socket, another process or user behind it, not answering the
    // connection), or when no path can be sent.
    static std::unique_ptr<CWatchLease> Ask(pid_t holder, const std::vector<std::string>& paths,
                                            const std::vector<std::string>& dirs = HandoverRunDirs());
    // Closes the connection: the watch takes its modem back.
    ~CWatchLease();
    CWatchLease(const CWatchLease&) = delete;
    CWatchLease& operator=(const CWatchLease&) = delete;

    // Waits until the watch says "released" (true), or says "not held",
    // closes the connection or sends anything else, a stop is requested or
    // MonotonicUsec reaches `notAfterUsec` (false). True at once once
    // released.
    bool WaitReleased(int64_t notAfterUsec);
    bool Released() const { return m_bReleased; }
    pid_t Holder() const { return m_holder; }

private:
    CWatchLease(int fd, pid_t holder) : m_fd(fd), m_holder(holder) {}

    int m_fd;
    pid_t m_holder;
    bool m_bReleased = false;
    bool m_bRefused = false;  // the watch answered otherwise, or went
    std::string m_input;
};

#endif
