// Lending a watched modem: the watch's socket and the run's lease, on real
// Unix sockets in a private run folder, and a one-shot run's port taking
// against a watcher in another process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "ModemLock.h"
#include "ModemPeer.h"
#include "WatchHandover.h"
#include "basic.h"

namespace {

const int kWaitMs = 3000;  // bound of every wait for an event: a fault fails, never hangs

bool Readable(int fd, int ms = kWaitMs)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

int64_t SoonUsec(int ms = kWaitMs)
{
    return MonotonicUsec() + int64_t{ms} * 1000;
}

// Sets busywait for a scope.
class BusyWait
{
public:
    explicit BusyWait(int32_t seconds) : m_old(g_nBusyWaitSec) { g_nBusyWaitSec = seconds; }
    ~BusyWait() { g_nBusyWaitSec = m_old; }

private:
    int32_t m_old;
};

// A fresh run folder, removed with whatever it holds; TARNEL_RUN_DIR names it
// for the code that looks in the default folders.
class RunFolder
{
public:
    RunFolder()
    {
        char dir[] = "/tmp/tarnel-run-XXXXXX";
        EXPECT_NE(mkdtemp(dir), nullptr);
        path = dir;
        setenv("TARNEL_RUN_DIR", dir, 1);
    }
    ~RunFolder()
    {
        unsetenv("TARNEL_RUN_DIR");
        (void)!system(("rm -rf '" + path + "'").c_str());
    }
    std::vector<std::string> Dirs() const { return {path}; }
    std::string path;
};

// A connection made by hand, to say what no CWatchLease would.
class RawClient
{
public:
    explicit RawClient(const std::string& socketPath)
    {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        connected = connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(fd); }
    void Say(const std::string& bytes) const
    {
        EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // Everything the watch sends until it closes; `closed` false when it
    // kept the connection open for the whole wait.
    std::string ReadToEnd(bool& closed) const
    {
        std::string got;
        closed = false;
        while (Readable(fd)) {
            char buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                closed = true;
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    int fd = -1;
    bool connected = false;
};

TEST(WatchHandoverSocket, LentBetweenMessagesAndTakenBackWhenTheRunLetsGo)
{
    const RunFolder run;
    auto owned = std::make_unique<CHandoverServer>(run.Dirs());
    CHandoverServer& server = *owned;
    ASSERT_TRUE(server.Listening()) << server.Error();
    EXPECT_EQ(server.SocketPath(), HandoverSocketPath(run.path, getpid()));
    struct stat socketFile;
    ASSERT_EQ(stat(server.SocketPath().c_str(), &socketFile), 0);
    EXPECT_EQ(socketFile.st_mode & 0777, 0600u);
    EXPECT_EQ(socketFile.st_uid, geteuid());

    const int other = server.Hold({"/dev/ttyUSB0"});
    const int modem = server.Hold({"/dev/ttyUSB2", "/dev/ttyUSB3"});
    EXPECT_FALSE(server.Wanted(modem));
    EXPECT_FALSE(Readable(server.WakeDescriptor(modem), 0));

    // Any of the modem's ttys names it.
    std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(getpid(), {"/dev/ttyUSB3"}, run.Dirs());
    ASSERT_NE(lease, nullptr);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    EXPECT_TRUE(server.Wanted(modem));
    EXPECT_FALSE(server.Wanted(other));
    EXPECT_FALSE(lease->WaitReleased(MonotonicUsec()));  // nothing said before the grant

    ASSERT_TRUE(server.Grant(modem));
    EXPECT_TRUE(lease->WaitReleased(SoonUsec()));
    EXPECT_FALSE(server.Wanted(modem));
    EXPECT_FALSE(server.TakeBack(modem));  // lent while the run holds its lease
    EXPECT_FALSE(Readable(server.WakeDescriptor(modem), 0));

    lease.reset();
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    EXPECT_TRUE(server.TakeBack(modem));
    EXPECT_FALSE(server.TakeBack(modem));  // once
    EXPECT_FALSE(Readable(server.WakeDescriptor(modem), 0));

    const std::string socketPath = server.SocketPath();
    owned.reset();
    EXPECT_NE(access(socketPath.c_str(), F_OK), 0) << "removed at exit";
}

// A watch's server in a fresh run folder, holding one modem.
class WatchHandover : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.Listening()) << server.Error(); }

    const RunFolder run;
    CHandoverServer server{run.Dirs()};
    const int modem = server.Hold({"/dev/ttyUSB0"});
};

TEST_F(WatchHandover, ARequestForAModemNotHeldIsAnsweredAtOnce)
{

    const int64_t start = MonotonicUsec();
    std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(getpid(), {"/dev/ttyUSB9"}, run.Dirs());
    ASSERT_NE(lease, nullptr);
    EXPECT_FALSE(lease->WaitReleased(SoonUsec()));
    EXPECT_LT(MonotonicUsec() - start, 1000000);
    EXPECT_FALSE(server.Wanted(modem));

    // A modem let go for good while a run waits for it.
    std::unique_ptr<CWatchLease> waiting = CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs());
    ASSERT_NE(waiting, nullptr);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    server.Forget(modem);
    EXPECT_FALSE(waiting->WaitReleased(SoonUsec()));
    EXPECT_EQ(server.WakeDescriptor(modem), -1);
}

TEST_F(WatchHandover, ASecondRunIsToldAtOnceAndTheModemComesBackAfterBoth)
{
    std::unique_ptr<CWatchLease> first = CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs());
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    ASSERT_TRUE(server.Grant(modem));
    ASSERT_TRUE(first->WaitReleased(SoonUsec()));

    std::unique_ptr<CWatchLease> second = CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs());
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->WaitReleased(SoonUsec()));
    first.reset();
    // The first run's end is seen by the server's thread; the modem stays lent to the second.
    EXPECT_FALSE(Readable(server.WakeDescriptor(modem), 200));
    EXPECT_FALSE(server.TakeBack(modem));
    second.reset();
    EXPECT_TRUE(server.WaitForReturn(modem));
}

TEST_F(WatchHandover, AGrantAfterTheRunWentLendsNothing)
{
    std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs());
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    lease.reset();
    // Gone before the watcher came round: the grant finds no one, whether
    // the server saw the end yet or the answer meets a closed connection.
    EXPECT_FALSE(server.Grant(modem));
    EXPECT_FALSE(server.TakeBack(modem));
}

TEST_F(WatchHandover, ARunThatDiesMidLeaseGivesTheModemBack)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t watchPid = getpid();
    const pid_t borrower = fork();
    if (borrower == 0) {
        std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(watchPid, {"/dev/ttyUSB0"}, HandoverRunDirs());
        const char lent = lease && lease->WaitReleased(SoonUsec()) ? 'y' : 'n';
        (void)!write(ready[1], &lent, 1);
        pause();  // killed mid-lease
        _exit(0);
    }
    close(ready[1]);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    ASSERT_TRUE(server.Grant(modem));
    char lent = 0;
    ASSERT_EQ(read(ready[0], &lent, 1), 1);
    EXPECT_EQ(lent, 'y');
    EXPECT_FALSE(server.TakeBack(modem));
    kill(borrower, SIGKILL);
    waitpid(borrower, nullptr, 0);
    close(ready[0]);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    EXPECT_TRUE(server.TakeBack(modem));
}

// What a run may send that is no request: the connection is closed without
// an answer, nothing is wanted, and the server serves the next run.
TEST_F(WatchHandover, WhatIsNoRequestClosesTheConnection)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"OtherWord", "lend /dev/ttyUSB0\n"},
        {"NoPath", "release\n"},
        {"EmptyPath", "release \n"},
        {"TwoBlanks", "release /dev/ttyUSB0  /dev/ttyUSB1\n"},
        {"RelativePath", "release ttyUSB0\n"},
        {"ControlCharacter", "release /dev/tty\x01USB0\n"},
        {"NulInPath", std::string("release /dev/ttyUSB0\0x\n", 23)},
        {"CarriageReturn", "release /dev/ttyUSB0\r\n"},
        {"TwoLinesAtOnce", "release /dev/ttyUSB0\nrelease /dev/ttyUSB0\n"},
        {"TooManyPaths", "release" + [] {
             std::string paths;
             for (int i = 0; i < 17; ++i) {
                 paths += " /dev/ttyUSB0";
             }
             return paths;
         }() + "\n"},
        {"OverlongWithoutNewline", "release /" + std::string(HANDOVER_MAX_LINE, 'a')},
        {"OverlongLine", "release /" + std::string(HANDOVER_MAX_LINE, 'a') + "\n"},
    };
    for (const auto& row : rows) {
        RawClient client(server.SocketPath());
        ASSERT_TRUE(client.connected) << row.name;
        client.Say(row.bytes);
        bool closed = false;
        EXPECT_EQ(client.ReadToEnd(closed), "") << row.name;
        EXPECT_TRUE(closed) << row.name;
        EXPECT_FALSE(server.Wanted(modem)) << row.name;
    }
    // Anything after the request ends it too.
    RawClient late(server.SocketPath());
    late.Say("release /dev/ttyUSB0\n");
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    late.Say("done\n");
    bool closed = false;
    EXPECT_EQ(late.ReadToEnd(closed), "");
    EXPECT_TRUE(closed);
    EXPECT_FALSE(server.Wanted(modem));

    std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs());
    ASSERT_NE(lease, nullptr);
    ASSERT_TRUE(Readable(server.WakeDescriptor(modem)));
    EXPECT_TRUE(server.Grant(modem));
    EXPECT_TRUE(lease->WaitReleased(SoonUsec()));
}

TEST_F(WatchHandover, TheRunTalksOnlyToTheLockHolderItself)
{
    // The socket under another PID's name: its listener is not that process.
    const pid_t other = getppid();
    ASSERT_EQ(rename(server.SocketPath().c_str(), HandoverSocketPath(run.path, other).c_str()), 0);
    EXPECT_EQ(CWatchLease::Ask(other, {"/dev/ttyUSB0"}, run.Dirs()), nullptr);
    ASSERT_EQ(rename(HandoverSocketPath(run.path, other).c_str(), server.SocketPath().c_str()), 0);
    // No socket, no PID, no sendable path.
    EXPECT_EQ(CWatchLease::Ask(other, {"/dev/ttyUSB0"}, run.Dirs()), nullptr);
    EXPECT_EQ(CWatchLease::Ask(0, {"/dev/ttyUSB0"}, run.Dirs()), nullptr);
    EXPECT_EQ(CWatchLease::Ask(getpid(), {"", "dev/x", "/dev/a b"}, run.Dirs()), nullptr);
    EXPECT_NE(CWatchLease::Ask(getpid(), {"/dev/a b", "/dev/ttyUSB0"}, run.Dirs()), nullptr);
    // A process serving handovers (a watch) borrows nothing, whatever it finds.
    EXPECT_EQ(BorrowFromWatch(getpid(), {"/dev/ttyUSB0"}, SoonUsec(100)), nullptr);
}

// Root can be another user in a child: each side refuses a peer of another uid.
TEST(WatchHandoverSocket, APeerOfAnotherUserIsRefusedBothWays)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a child as another user";
    }
    const uid_t nobody = 65534;
    const RunFolder run;
    ASSERT_EQ(chmod(run.path.c_str(), 0755), 0);
    {
        // Another user's run at the watch's socket, opened up so that only the peer check stands.
        CHandoverServer server(run.Dirs());
        ASSERT_TRUE(server.Listening()) << server.Error();
        const int modem = server.Hold({"/dev/ttyUSB0"});
        ASSERT_EQ(chmod(server.SocketPath().c_str(), 0666), 0);
        const std::string socketPath = server.SocketPath();
        const pid_t child = fork();
        if (child == 0) {
            if (setgid(nobody) != 0 || setuid(nobody) != 0) {
                _exit(2);
            }
            RawClient client(socketPath);
            if (!client.connected) {
                _exit(3);
            }
            // The watch may have closed already: only its answer counts.
            const std::string request = "release /dev/ttyUSB0\n";
            (void)!send(client.fd, request.data(), request.size(), MSG_NOSIGNAL);
            bool closed = false;
            const std::string answer = client.ReadToEnd(closed);
            _exit(answer.empty() && closed ? 0 : 1);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_FALSE(server.Wanted(modem));
    }
    {
        // Another user's watch: this run does not ask it.
        const std::string theirs = run.path + "/nobody";
        ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
        ASSERT_EQ(chown(theirs.c_str(), nobody, nobody), 0);
        int ready[2];
        int quit[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(quit), 0);
        const pid_t watch = fork();
        if (watch == 0) {
            close(quit[1]);
            if (setgid(nobody) != 0 || setuid(nobody) != 0) {
                _exit(2);
            }
            CHandoverServer server({theirs});
            server.Hold({"/dev/ttyUSB0"});
            const char up = server.Listening() ? 'y' : 'n';
            (void)!write(ready[1], &up, 1);
            char any;
            (void)!read(quit[0], &any, 1);
            _exit(0);
        }
        close(quit[0]);
        char up = 0;
        ASSERT_EQ(read(ready[0], &up, 1), 1);
        EXPECT_EQ(up, 'y');
        EXPECT_EQ(access(HandoverSocketPath(theirs, watch).c_str(), F_OK), 0);
        EXPECT_EQ(CWatchLease::Ask(watch, {"/dev/ttyUSB0"}, {theirs}), nullptr);
        close(quit[1]);
        waitpid(watch, nullptr, 0);
        for (const int fd : {ready[0], ready[1]}) {
            close(fd);
        }
    }
}

TEST(WatchHandoverSocket, AStaleSocketIsReplacedAndALiveOneOrAFileLeftAlone)
{
    const RunFolder run;
    const std::string path = HandoverSocketPath(run.path, getpid());
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    {
        // Bound and closed: what a watch that died leaves.
        const int dead = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(dead, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);
        close(dead);
        CHandoverServer server(run.Dirs());
        EXPECT_TRUE(server.Listening()) << server.Error();
        server.Hold({"/dev/ttyUSB0"});
        EXPECT_NE(CWatchLease::Ask(getpid(), {"/dev/ttyUSB0"}, run.Dirs()), nullptr);
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    {
        // Someone listens there: not ours to take.
        const int live = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(live, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(live, 1), 0);
        {
            CHandoverServer server(run.Dirs());
            EXPECT_FALSE(server.Listening());
            EXPECT_NE(server.Error(), "");
            // The watch goes on without lending.
            const int modem = server.Hold({"/dev/ttyUSB0"});
            EXPECT_FALSE(server.Wanted(modem));
        }
        EXPECT_EQ(access(path.c_str(), F_OK), 0);
        close(live);
        unlink(path.c_str());
    }
    {
        std::ofstream(path) << "not a socket\n";
        {
            CHandoverServer server(run.Dirs());
            EXPECT_FALSE(server.Listening());
        }
        EXPECT_EQ(access(path.c_str(), F_OK), 0);
        unlink(path.c_str());
    }
    // A folder missing is made; a file where the folder should be is no folder.
    {
        const std::string made = run.path + "/made";
        std::ofstream(run.path + "/file") << "x";
        CHandoverServer server({run.path + "/file", made});
        EXPECT_TRUE(server.Listening()) << server.Error();
        struct stat folder;
        ASSERT_EQ(stat(made.c_str(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0755u);
    }
    {
        CHandoverServer server({run.path + "/file"});
        EXPECT_FALSE(server.Listening());
        EXPECT_NE(server.Error(), "");
    }
}

// The watch's part, played by a child process that holds the port: between
// two "messages" it looks for a request, lets go, grants, waits for the
// modem back and takes the port again, then tells the parent. The child is
// forked while this process has no other thread (before the modem peer's),
// so that it may start its server's (ThreadSanitizer allows no thread after
// a multi-threaded fork); Start gives it the port.
class PortWatcher
{
public:
    PortWatcher()
    {
        int path[2];
        EXPECT_EQ(pipe(path), 0);
        EXPECT_EQ(pipe(m_ready), 0);
        EXPECT_EQ(pipe(m_back), 0);
        m_pid = fork();
        if (m_pid == 0) {
            close(path[1]);
            close(m_ready[0]);
            close(m_back[0]);
            _exit(Watch(path[0], m_ready[1], m_back[1]));
        }
        close(path[0]);
        m_path = path[1];
        close(m_ready[1]);
        close(m_back[1]);
    }
    ~PortWatcher()
    {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        for (const int fd : {m_path, m_ready[0], m_back[0]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    // The watcher takes `path` and lends it from now on; true once it holds it.
    bool Start(const std::string& path)
    {
        EXPECT_EQ(write(m_path, path.data(), path.size()), static_cast<ssize_t>(path.size()));
        close(m_path);
        m_path = -1;
        char up = 0;
        return read(m_ready[0], &up, 1) == 1 && up == 'y';
    }
    pid_t Pid() const { return m_pid; }
    // Whether the watcher has said it took the port back, without waiting.
    bool SaidBack() const { return Readable(m_back[0], 0); }
    // True once the watcher has the port back.
    bool TookItBack() const
    {
        char back = 0;
        return Readable(m_back[0]) && read(m_back[0], &back, 1) == 1 && back == 'y';
    }

private:
    static int Watch(int pathFd, int ready, int back)
    {
        std::string path;
        char buffer[256];
        for (ssize_t n; (n = read(pathFd, buffer, sizeof buffer)) > 0;) {
            path.append(buffer, static_cast<std::size_t>(n));
        }
        CComPortBase::ResetAllComPort();
        CHandoverServer server;
        auto port = std::make_unique<CComPortBase>(path, 9600);
        const int modem = server.Hold({path});
        const char up = server.Listening() && port->IsOpened() == 1 ? 'y' : 'n';
        (void)!write(ready, &up, 1);
        for (;;) {
            Readable(server.WakeDescriptor(modem), -1);
            if (!server.Wanted(modem)) {
                continue;
            }
            port.reset();
            if (server.Grant(modem)) {
                server.WaitForReturn(modem);
            }
            port = std::make_unique<CComPortBase>(path, 9600, kWaitMs);
            const char again = port->IsOpened() == 1 ? 'y' : 'n';
            (void)!write(back, &again, 1);
        }
    }

    pid_t m_pid = -1;
    int m_path = -1;
    int m_ready[2] = {-1, -1};
    int m_back[2] = {-1, -1};
};

std::vector<ModemPeer::Rule> AnsweringModem()
{
    return {
        {"ATE0\r\n", {"\r\nOK\r\n"}},
        {"AT\r\n", {"\r\nOK\r\n"}},
        {"ATI\r\n", {"\r\nManufacturer: QUECTEL\r\nModel: EC20F\r\nRevision: EC20CEFAR02A01M4G\r\n\r\nOK\r\n"}},
        {"AT+CGSN\r", {"\r\n867223021234565\r\n\r\nOK\r\n"}},
        {"AT+CCID\r", {"\r\n+CCID: \"89860012345678901234\"\r\n\r\nOK\r\n"}},
        {"at+csq\r", {"\r\n+CSQ: 23,99\r\n\r\nOK\r\n"}},
    };
}

// What a workflow takes for a modem answering on `path` (CCheckManager::TakeWorkPort).
struct WorkPortTake
{
    explicit WorkPortTake(const std::string& path)
    {
        record.strPortName = path;
        record.nBaudRate = 9600;
        record.bAtOk = true;
    }
    bool Run()
    {
        const int64_t start = MonotonicUsec();
        const bool taken = CCheckManager::TakeWorkPort(record, port, others, lock, lease, false);
        tookUsec = MonotonicUsec() - start;
        return taken;
    }
    ComPortBaseInfo_t record;
    std::shared_ptr<CWatchLease> lease;
    std::shared_ptr<CModemLock> lock;
    std::unique_ptr<CComPortBase> port;
    std::vector<std::unique_ptr<CComPortBase>> others;
    int64_t tookUsec = 0;
};

// A modem answering on a port that a watcher in another process holds.
class WatchedPort : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(watcher.Start(peer.Path())); }

    const RunFolder run;
    const ReadCycles cycles{200};
    const BusyWait busyWait{10};
    PortWatcher watcher;
    ModemPeer peer{AnsweringModem()};
};

// A send or read: the port a watch holds is lent well within busywait and
// goes back once the run lets go.
TEST_F(WatchedPort, AWorkflowBorrowsTheWatchedPortAndGivesItBack)
{

    WorkPortTake take(peer.Path());
    ASSERT_TRUE(take.Run());
    ASSERT_NE(take.port, nullptr);
    EXPECT_EQ(take.port->IsOpened(), 1);
    EXPECT_FALSE(take.record.bBusy);
    ASSERT_NE(take.lease, nullptr);
    EXPECT_EQ(take.lease->Holder(), watcher.Pid());
    EXPECT_LT(take.tookUsec, 1000000) << "took " << take.tookUsec << " us of a 10 s busywait";
    std::printf("port lent by the watcher in %lld us\n", static_cast<long long>(take.tookUsec));

    take.port.reset();
    take.lease.reset();
    EXPECT_TRUE(watcher.TookItBack());
}

TEST_F(WatchedPort, AScanBorrowsTheWatchedPortAndTheWorkflowGivesItBack)
{
    CCheckManager manager;
    const std::vector<DeviceBaseComInfo> records = manager.DetectDevices({peer.Path()});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].bBusy);
    EXPECT_TRUE(records[0].bAtOk);
    EXPECT_EQ(std::string(records[0].szSerialNumber), "867223021234565");
    // Held for the workflow, with its lease: the watcher waits meanwhile.
    EXPECT_FALSE(watcher.SaidBack());
    manager.ReleasePorts();
    EXPECT_TRUE(watcher.TookItBack());
}

// Without a watch behind the busy port the run waits as it always did.
TEST(WatchHandoverRun, AnotherHolderIsWaitedForAsBefore)
{
    const RunFolder run;
    PtyPair pty;
    const BusyWait busyWait(1);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        CComPortBase held(pty.path, 9600);
        const char up = held.IsOpened() == 1 ? 'y' : 'n';
        (void)!write(ready[1], &up, 1);
        pause();
        _exit(0);
    }
    char up = 0;
    ASSERT_EQ(read(ready[0], &up, 1), 1);
    ASSERT_EQ(up, 'y');
    close(ready[0]);
    close(ready[1]);
    WorkPortTake take(pty.path);
    EXPECT_FALSE(take.Run());
    EXPECT_GE(take.tookUsec, 900000);
    EXPECT_TRUE(take.record.bBusy);
    EXPECT_EQ(take.record.nBusyPid, holder);
    EXPECT_EQ(take.lease, nullptr);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
}

}  // namespace
