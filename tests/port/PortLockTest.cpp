#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ComPortBase.h"
#include "InChild.h"
#include "PortLock.h"
#include "PrivateLockDir.h"
#include "PtyPair.h"

namespace {

const auto* const lockDir = ::testing::AddGlobalTestEnvironment(new PrivateLockDir);

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string LockFileOf(const std::string& devPath)
{
    return portlock_dir() + "/LCK.." + devPath.substr(devPath.rfind('/') + 1);
}

std::string LockText(pid_t pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(pid));
    return text;
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// Whether another process can take the flock on `path` now.
bool OtherProcessCanFlock(const std::string& path)
{
    return InChild([&] {
               const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
               return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
           }) == 0;
}

// The PID of a process that has ended.
pid_t DeadPid()
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

// Another program holding a port: by a flock on the device (as picocom and
// tio do), by a lock file with its PID (as minicom does), or only alive
// (so its PID can be written into a lock file by the test). It lets go when
// told, or when the test process goes away.
class Holder
{
public:
    enum Kind_t { FLOCK, LOCK_FILE, ALIVE };

    Holder(Kind_t kind, const std::string& devPath)
    {
        int ready[2], go[2];
        if (pipe(ready) != 0 || pipe(go) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        const std::string lockFile = LockFileOf(devPath);
        pid = fork();
        if (pid == 0) {
            close(ready[0]);
            close(go[1]);
            int fd = -1;
            if (kind == FLOCK) {
                fd = open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
                    _exit(2);
                }
            } else if (kind == LOCK_FILE) {
                const std::string text = LockText(getpid());
                fd = open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
                    _exit(2);
                }
            }
            char c = 'R';
            if (write(ready[1], &c, 1) != 1) {
                _exit(2);
            }
            // Until told, or until the test process is gone (end of file).
            while (read(go[0], &c, 1) < 0 && errno == EINTR) {
            }
            if (kind == LOCK_FILE) {
                unlink(lockFile.c_str());
            }
            _exit(0);  // closing the device drops the flock
        }
        close(ready[1]);
        close(go[0]);
        m_go = go[1];
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1) << "the holder did not take the port";
        close(ready[0]);
    }
    ~Holder() { LetGo(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    void LetGo()
    {
        if (m_go < 0) {
            return;
        }
        close(m_go);
        m_go = -1;
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    pid_t pid = -1;

private:
    int m_go = -1;
};

class PortLock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
        ASSERT_FALSE(pty.path.empty());
        lockFile = LockFileOf(pty.path);
    }

    // A busy Open must leave the device as it was: settings, and the input
    // the holder has not read yet (a flush would have thrown it away).
    void ExpectDeviceUntouched(const struct termios& before)
    {
        const struct termios after = pty.Attrs();
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
        ASSERT_TRUE(pty.SlaveReadable(500));
        char buf[32];
        const ssize_t n = read(pty.slave, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), "PENDING\n");
        EXPECT_EQ(pty.Received(1, 100), "");  // and nothing was written to it
    }

    // One line of input waiting for the holder: canonical mode keeps it in
    // one piece, and without echo the modem side sees nothing of it.
    struct termios QueueInputForTheHolder()
    {
        struct termios tio = pty.Attrs();
        tio.c_lflag &= ~ECHO;
        EXPECT_EQ(tcsetattr(pty.slave, TCSANOW, &tio), 0);
        pty.Send("PENDING\n");
        EXPECT_TRUE(pty.SlaveReadable());
        return pty.Attrs();
    }

    PtyPair pty;
    std::string lockFile;
};

TEST_F(PortLock, OpenHoldsLockFileAndFlockUntilClose)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsBusy(), 0);
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
    struct stat st;
    ASSERT_EQ(stat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // others must read the PID
    EXPECT_FALSE(OtherProcessCanFlock(pty.path));

    port.Close();
    EXPECT_FALSE(Exists(lockFile));
    EXPECT_TRUE(OtherProcessCanFlock(pty.path));
    // Nothing else was left in the folder (no temporary file).
    std::string left;
    if (DIR* d = opendir(portlock_dir().c_str())) {
        while (const struct dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                left += e->d_name;
            }
        }
        closedir(d);
    }
    EXPECT_EQ(left, "");
}

// What a lock file found in the folder names.
enum Names_t { DEAD_PID, OWN_PID, LIVE_PID, NO_PID };

struct LockFileCase
{
    const char* name;
    Names_t names;
    const char* text;  // printf format of the PID, or the whole text for NO_PID
    bool takenOver;
};

void PrintTo(const LockFileCase& c, std::ostream* os)
{
    *os << c.name;
}

class LockFileFound : public PortLock, public ::testing::WithParamInterface<LockFileCase>
{
};

// Stale lock files are taken over; one naming a live process, or not
// readable as a PID (perhaps being written), makes the port busy.
TEST_P(LockFileFound, TakenOverOnlyWhenStale)
{
    const LockFileCase& c = GetParam();
    Holder alive(Holder::ALIVE, pty.path);
    const pid_t named = c.names == DEAD_PID ? DeadPid()
                        : c.names == OWN_PID ? getpid()
                        : c.names == LIVE_PID ? alive.pid
                                              : 0;
    std::string text = c.text;
    if (c.names != NO_PID) {
        char buf[32];
        std::snprintf(buf, sizeof buf, c.text, static_cast<long>(named));
        text = buf;
    }
    WriteFile(lockFile, text);
    const struct termios before = QueueInputForTheHolder();

    CComPortBase port(pty.path, 115200);
    if (c.takenOver) {
        EXPECT_EQ(port.Open(), 1);
        EXPECT_EQ(port.IsBusy(), 0);
        EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
        port.Close();
        EXPECT_FALSE(Exists(lockFile));
        return;
    }
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsBusy(), 1);
    EXPECT_EQ(port.IsOpened(), 0);
    EXPECT_EQ(port.IsComError(), 0);
    EXPECT_EQ(port.GetLockError(), "");
    EXPECT_EQ(port.GetBusyPid(), named);
    EXPECT_EQ(ReadFile(lockFile), text);
    ExpectDeviceUntouched(before);
    unlink(lockFile.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    PortLock, LockFileFound,
    ::testing::Values(LockFileCase{"DeadPid", DEAD_PID, "%10ld\n", true},
                      LockFileCase{"OwnPidLeftByAnEarlierProcess", OWN_PID, "%10ld\n", true},
                      LockFileCase{"LivePid", LIVE_PID, "%10ld\n", false},
                      LockFileCase{"LivePidWithoutPadding", LIVE_PID, "%ld\n", false},
                      LockFileCase{"NotAPid", NO_PID, "modem\n", false},
                      LockFileCase{"Empty", NO_PID, "", false}),
    [](const ::testing::TestParamInfo<LockFileCase>& info) { return info.param.name; });

// Programs that find the same stale lock file at the same moment: exactly
// one of them ends up holding the port's lock file, and the file names it
// (a lock file made by replacing, not by an exclusive link, lets all win).
TEST_F(PortLock, OfManyProgramsTakingOverOneStaleFileOnlyOneWins)
{
    struct Outcome
    {
        int taken;
        pid_t pid;
    };
    const int kTakers = 6;
    for (int round = 0; round < 5; ++round) {
        WriteFile(lockFile, LockText(DeadPid()));
        int go[2], results[2], done[2];
        ASSERT_EQ(pipe(go), 0);
        ASSERT_EQ(pipe(results), 0);
        ASSERT_EQ(pipe(done), 0);
        std::vector<pid_t> takers;
        for (int k = 0; k < kTakers; ++k) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                close(go[1]);
                close(done[1]);
                char c;
                while (read(go[0], &c, 1) < 0 && errno == EINTR) {
                }
                std::string path;
                const Outcome o = {portlock_take(pty.path, path, nullptr), getpid()};
                if (write(results[1], &o, sizeof o) != static_cast<ssize_t>(sizeof o)) {
                    _exit(2);
                }
                while (read(done[0], &c, 1) < 0 && errno == EINTR) {
                }
                _exit(0);  // keeps a won lock file for the test to read
            }
            takers.push_back(child);
        }
        close(go[0]);
        close(go[1]);  // all start at once
        int winners = 0;
        pid_t winner = 0;
        for (int k = 0; k < kTakers; ++k) {
            Outcome o = {};
            ASSERT_EQ(read(results[0], &o, sizeof o), static_cast<ssize_t>(sizeof o));
            if (o.taken == 1) {
                ++winners;
                winner = o.pid;
            }
        }
        EXPECT_EQ(winners, 1) << "round " << round;
        EXPECT_EQ(ReadFile(lockFile), LockText(winner)) << "round " << round;
        close(done[1]);
        for (pid_t t : takers) {
            waitpid(t, nullptr, 0);
        }
        close(done[0]);
        close(results[0]);
        close(results[1]);
        unlink(lockFile.c_str());
    }
}

TEST_F(PortLock, FlockOfAnotherProgramMakesThePortBusy)
{
    Holder picocom(Holder::FLOCK, pty.path);
    const struct termios before = QueueInputForTheHolder();
    CComPortBase port(pty.path, 115200);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsBusy(), 1);
    EXPECT_EQ(port.GetBusyPid(), picocom.pid);
    EXPECT_EQ(port.IsComError(), 0);
    EXPECT_FALSE(Exists(lockFile));  // ours was given back
    ExpectDeviceUntouched(before);

    picocom.LetGo();
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsBusy(), 0);
}

TEST_F(PortLock, AnotherPortObjectOfThisProcessIsBusyToo)
{
    CComPortBase first(pty.path, 115200);
    ASSERT_EQ(first.Open(), 1);
    CComPortBase second(pty.path, 9600);
    EXPECT_EQ(second.Open(), 0);
    EXPECT_EQ(second.IsBusy(), 1);
    EXPECT_EQ(second.GetBusyPid(), getpid());
    // The refused one left the holder's lock file and settings alone.
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
    const struct termios tio = pty.Attrs();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    first.Close();
    EXPECT_EQ(second.Open(), 1);
}

// A scan tries a second rate without letting go of the port.
TEST_F(PortLock, SecondRateKeepsThePort)
{
    CComPortBase port(pty.path, 9600);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.SetBaudRate(115200), 1);
    const struct termios tio = pty.Attrs();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(port.WriteChunkSize(), 11520);
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
    EXPECT_FALSE(OtherProcessCanFlock(pty.path));
    EXPECT_EQ(port.Write("AT\r"), 1);
    EXPECT_EQ(pty.Received(3), "AT\r");

    port.Close();
    EXPECT_EQ(port.SetBaudRate(9600), 0);  // closed: kept for the next Open
    EXPECT_EQ(port.Open(), 1);
    const struct termios again = pty.Attrs();
    EXPECT_EQ(cfgetospeed(&again), static_cast<speed_t>(B9600));
}

class WaitingOpen : public PortLock, public ::testing::WithParamInterface<Holder::Kind_t>
{
};

TEST_P(WaitingOpen, GetsThePortWhenTheHolderLetsGo)
{
    Holder holder(GetParam(), pty.path);
    std::thread letGo([&] {
        usleep(300000);  // the holder's own work
        holder.LetGo();
    });
    const Clock::time_point start = Clock::now();
    CComPortBase port(pty.path, 115200, 5000);
    const int64_t took = MsSince(start);
    letGo.join();
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsBusy(), 0);
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 5000);
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
}

TEST_P(WaitingOpen, FailsAfterTheLimitNamingTheHolder)
{
    Holder holder(GetParam(), pty.path);
    const Clock::time_point start = Clock::now();
    CComPortBase port(pty.path, 115200, 400);
    const int64_t took = MsSince(start);
    EXPECT_EQ(port.Open(), 0);  // the same wait again
    EXPECT_EQ(port.IsBusy(), 1);
    EXPECT_EQ(port.GetBusyPid(), holder.pid);
    EXPECT_GE(took, 400);
    EXPECT_LT(took, 3000);
}

INSTANTIATE_TEST_SUITE_P(PortLock, WaitingOpen, ::testing::Values(Holder::FLOCK, Holder::LOCK_FILE),
                         [](const ::testing::TestParamInfo<Holder::Kind_t>& info) {
                             return std::string(info.param == Holder::FLOCK ? "Flock" : "LockFile");
                         });

TEST_F(PortLock, WithoutALockFolderTheFlockStillGuards)
{
    const std::string saved = portlock_dir();
    portlock_set_dir(saved + "/missing");
    {
        CComPortBase port(pty.path, 115200);
        EXPECT_EQ(port.Open(), 1);
        EXPECT_EQ(port.IsComError(), 0);
        EXPECT_FALSE(OtherProcessCanFlock(pty.path));
    }
    EXPECT_TRUE(OtherProcessCanFlock(pty.path));
    portlock_set_dir(saved);
}

struct UnusableFolder
{
    const char* name;
    std::string (*make)(const std::string& base);  // the lock folder to use
    std::string message;
};

void PrintTo(const UnusableFolder& c, std::ostream* os)
{
    *os << c.name;
}

class LockFolderUnusable : public PortLock, public ::testing::WithParamInterface<UnusableFolder>
{
};

// A lock folder that exists but takes no lock file is a recorded failure,
// before the device is touched.
TEST_P(LockFolderUnusable, RecordedAndDeviceUntouched)
{
    const std::string saved = portlock_dir();
    portlock_set_dir(GetParam().make(saved));
    const struct termios before = QueueInputForTheHolder();
    CComPortBase port(pty.path, 115200);
    EXPECT_EQ(port.Open(), 0);
    portlock_set_dir(saved);
    EXPECT_EQ(port.IsBusy(), 0);
    EXPECT_EQ(port.IsOpened(), 0);
    EXPECT_EQ(port.IsComError(), 1);
    EXPECT_EQ(port.GetErrorMsg(), GetParam().message);
    // The reason alone, for the documents and the table; a busy port has none.
    EXPECT_EQ(port.GetLockError(), GetParam().message.substr(GetParam().message.find("  ") + 2));
    ExpectDeviceUntouched(before);
    unlink((saved + "/loop").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    PortLock, LockFolderUnusable,
    ::testing::Values(
        UnusableFolder{"LinkLoop",
                       [](const std::string& base) {
                           const std::string loop = base + "/loop";
                           EXPECT_EQ(symlink("loop", loop.c_str()), 0);
                           return loop;
                       },
                       "Code: " + std::to_string(ELOOP) + "  Cannot create the lock file: " +
                           std::strerror(ELOOP)},
        UnusableFolder{"NameTooLong",
                       [](const std::string& base) { return base + "/" + std::string(300, 'x'); },
                       "Code: -2  Lock file name too long"}),
    [](const ::testing::TestParamInfo<UnusableFolder>& info) { return info.param.name; });

// The children of port discovery (popen) must not inherit a port: the flock
// would outlive our close for as long as the child runs.
TEST_F(PortLock, ChildProcessesDoNotInheritThePort)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    // Its first line comes after its exec, when inherited descriptors are
    // all that is left (under qemu-user popen does not wait for the exec).
    FILE* const child = popen("echo $$; exec sleep 30", "r");
    ASSERT_NE(child, nullptr);
    long pid = 0;
    ASSERT_EQ(std::fscanf(child, "%ld", &pid), 1);
    port.Close();
    EXPECT_TRUE(OtherProcessCanFlock(pty.path));
    kill(static_cast<pid_t>(pid), SIGTERM);
    pclose(child);
}

// TIOCEXCL turns away openers that are not root while the port is ours, and
// is cleared again on close: the pty stays open on its other side.
TEST_F(PortLock, OthersThatAreNotRootCannotOpenUntilClose)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to open as another user";
    }
    ASSERT_EQ(fchmod(pty.slave, 0666), 0);
    auto openAsNobody = [&]() {
        return InChild([&] {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                return 200;
            }
            const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd >= 0 ? 0 : errno;
        });
    };
    {
        CComPortBase port(pty.path, 115200);
        ASSERT_EQ(port.Open(), 1);
        const int refused = openAsNobody();
        if (refused == 200) {
            GTEST_SKIP() << "no user 65534 in this user namespace";
        }
        EXPECT_EQ(refused, EBUSY);
    }
    EXPECT_EQ(openAsNobody(), 0);
}

// An exit on any path removes the process's lock files; a forked child that
// exits leaves its parent's alone.
TEST_F(PortLock, ExitRemovesOnlyTheExitingProcessesLockFiles)
{
    CComPortBase mine(pty.path, 115200);
    ASSERT_EQ(mine.Open(), 1);
    PtyPair other;
    const std::string otherLock = LockFileOf(other.path);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Never closed (and reachable, for the leak checker): only the
        // exit-time cleanup can remove its file.
        static CComPortBase* port = nullptr;
        port = new CComPortBase(other.path, 115200);
        const char c = port->Open() == 1 && Exists(otherLock) ? 'R' : 'F';
        if (write(ready[1], &c, 1) != 1) {
            _exit(2);
        }
        std::exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'R');
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(Exists(otherLock));
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid()));
}

}  // namespace
