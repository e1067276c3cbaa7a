#include "PortLock.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "term.h"

__thread int portlock_errno = PORTLOCK_EOK;

namespace {

struct portlock_err_t
{
    int code;
    const char* text;
};

// Every code with its text, side by side.
const portlock_err_t portlock_err_str[] = {
    {PORTLOCK_EOK, "No error"},
    {PORTLOCK_EBUSY, "Port held by another process"},
    {PORTLOCK_ENAME, "Lock file name too long"},
    {PORTLOCK_EFULL, "Too many lock files held"},
    {PORTLOCK_ECREATE, "Cannot create the lock file"},
};

// A lock per tty, and one per USB modem at most as many.
const int LOCK_MAX = 2 * TERM_MAX_TERMS;
const std::size_t LOCK_PATH_MAX = 256;
// Takeovers of one stale file by several programs at once: each round either
// links our file or meets a newer owner, so a few rounds settle it.
const int TAKE_ROUNDS = 5;

struct held_lock_t
{
    pid_t owner;  // 0: free; the PID that made it, so a forked child keeps its hands off
    char path[LOCK_PATH_MAX];
};

// Guards the lock folder's name and the table of lock files this process
// holds. Held across a whole take or release, so two threads of this process
// never judge or remove the same file at once. Plain data only: the
// exit-time release may run while the process is being torn down.
std::mutex lock_table_mutex;
char lock_dir[LOCK_PATH_MAX] = "/run/lock";
held_lock_t lock_table[LOCK_MAX] = {};
std::once_flag exit_release_installed;

int Fail(int code)
{
    portlock_errno = code;
    return -1;
}

held_lock_t* FindHeld(const std::string& path)
{
    const pid_t self = getpid();
    for (held_lock_t& h : lock_table) {
        if (h.owner == self && path == h.path) {
            return &h;
        }
    }
    return nullptr;
}

// The PID a lock file names: > 0, or 0 when it does not read as one.
long ReadLockPid(int fd)
{
    char buf[32];
    ssize_t n;
    do {
        n = pread(fd, buf, sizeof buf - 1, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return 0;
    }
    buf[n] = '\0';
    const char* p = buf;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    // Ten digits at most: 64 bits hold them wherever long has 32.
    int64_t pid = 0;
    for (int digits = 0; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == 10) {
            return 0;
        }
        pid = pid * 10 + (*p - '0');
    }
    return pid > 0 && pid <= 0x7FFFFFFF ? static_cast<long>(pid) : 0;
}

// The same by path; -1 when the file is gone.
long ReadLockPid(const std::string& path)
{
    // O_NOFOLLOW: the folder is writable by all; never read through a link.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ENOENT ? -1 : 0;
    }
    const long pid = ReadLockPid(fd);
    close(fd);
    return pid;
}

bool Alive(pid_t pid)
{
    // EPERM: it exists but belongs to someone we may not signal.
    return kill(pid, 0) == 0 || errno == EPERM;
}

// Removes the stale lock file at `path` if it still is the file that named
// `pid`. A flock on the file itself keeps two takers from removing it twice
// (the second would remove the first one's new file).
void RemoveStale(const std::string& path, long pid)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return;
    }
    struct stat held, now;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 &&
        stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino && held.st_dev == now.st_dev &&
        ReadLockPid(fd) == pid) {
        unlink(path.c_str());
    }
    close(fd);  // also drops the flock
}

// Writes our PID in the lock file format to a new temporary file in the lock
// folder. Returns its path, or "" with errno set.
std::string WriteTemporary()
{
    std::string tmp = std::string(lock_dir) + "/LTMP.XXXXXX";
    const int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    ssize_t n;
    do {
        n = write(fd, text, static_cast<std::size_t>(len));
    } while (n < 0 && errno == EINTR);
    // Readable by all, as other programs must read the PID.
    if (n != len || fchmod(fd, 0644) != 0) {
        const int err = n < 0 ? errno : EIO;
        close(fd);
        unlink(tmp.c_str());
        errno = err;
        return std::string();
    }
    close(fd);
    return tmp;
}

void ReleaseLocked(held_lock_t& h)
{
    // Only while it still names us: a program that took it over (it could not
    // see our PID, from another PID namespace) keeps its own.
    if (ReadLockPid(h.path) == static_cast<long>(getpid())) {
        unlink(h.path);
    }
    h.owner = 0;
    h.path[0] = '\0';
}

}  // namespace

const char* portlock_strerror(int code)
{
    for (const portlock_err_t& e : portlock_err_str) {
        if (e.code == code) {
            return e.text;
        }
    }
    return "Unknown error";
}

void portlock_set_dir(const std::string& dir)
{
    const std::lock_guard<std::mutex> hold(lock_table_mutex);
    std::snprintf(lock_dir, sizeof lock_dir, "%s", dir.c_str());
}

std::string portlock_dir()
{
    const std::lock_guard<std::mutex> hold(lock_table_mutex);
    return lock_dir;
}

int portlock_take(const std::string& devPath, std::string& lockPath, pid_t* holder)
{
    lockPath.clear();
    if (holder) {
        *holder = 0;
    }
    const std::string::size_type slash = devPath.rfind('/');
    const std::string name = slash == std::string::npos ? devPath : devPath.substr(slash + 1);

    const std::lock_guard<std::mutex> hold(lock_table_mutex);
    const std::string path = std::string(lock_dir) + "/LCK.." + name;
    if (path.size() >= LOCK_PATH_MAX) {
        return Fail(PORTLOCK_ENAME);
    }
    if (FindHeld(path)) {
        // Another port object of this process has it.
        if (holder) {
            *holder = getpid();
        }
        return Fail(PORTLOCK_EBUSY);
    }
    held_lock_t* slot = nullptr;
    for (held_lock_t& h : lock_table) {
        if (h.owner == 0) {
            slot = &h;
            break;
        }
    }
    if (!slot) {
        return Fail(PORTLOCK_EFULL);
    }

    const std::string tmp = WriteTemporary();
    if (tmp.empty()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return 0;  // no lock folder on this system: the flock guards alone
        }
        return Fail(PORTLOCK_ECREATE);
    }
    long pid = 0;
    for (int round = 0; round < TAKE_ROUNDS; ++round) {
        // link() fails if the name exists: of two programs only one gets it.
        if (link(tmp.c_str(), path.c_str()) == 0) {
            unlink(tmp.c_str());
            std::call_once(exit_release_installed, [] {
                // Without the handler a lock file outlives an exit; the next
                // run still takes it over as stale, so nothing to report.
                std::atexit(portlock_release_all);
            });
            slot->owner = getpid();
            std::snprintf(slot->path, sizeof slot->path, "%s", path.c_str());
            lockPath = path;
            return 1;
        }
        if (errno != EEXIST) {
            const int err = errno;
            unlink(tmp.c_str());
            errno = err;
            return Fail(PORTLOCK_ECREATE);
        }
        pid = ReadLockPid(path);
        if (pid < 0) {
            continue;  // removed meanwhile: try again
        }
        // Our own PID in a file we do not hold was left by an earlier process
        // that had the same PID: stale like any dead one.
        if (pid == 0 || (pid != static_cast<long>(getpid()) && Alive(static_cast<pid_t>(pid)))) {
            break;
        }
        RemoveStale(path, pid);
        pid = 0;  // if the rounds run out, another taker is at it
    }
    unlink(tmp.c_str());
    if (holder) {
        *holder = static_cast<pid_t>(pid);
    }
    return Fail(PORTLOCK_EBUSY);
}

int portlock_release(const std::string& lockPath)
{
    if (lockPath.empty()) {
        return 0;
    }
    const std::lock_guard<std::mutex> hold(lock_table_mutex);
    held_lock_t* h = FindHeld(lockPath);
    if (h) {
        ReleaseLocked(*h);
    }
    return 0;
}

void portlock_release_all()
{
    const std::lock_guard<std::mutex> hold(lock_table_mutex);
    const pid_t self = getpid();
    for (held_lock_t& h : lock_table) {
        if (h.owner == self) {
            ReleaseLocked(h);
        }
    }
}

pid_t portlock_flock_holder(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return 0;
    }
    FILE* const locks = std::fopen("/proc/locks", "re");
    if (!locks) {
        return 0;
    }
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF": the device of the file
    // system (major:minor in hex) and the inode name the file. Waiters'
    // lines ("1: -> FLOCK ...") do not hold the lock and fail the match.
    const unsigned int wantMajor = major(st.st_dev);
    const unsigned int wantMinor = minor(st.st_dev);
    pid_t found = 0;
    char line[256];
    while (found == 0 && std::fgets(line, sizeof line, locks)) {
        char kind[16];
        int pid = 0;
        unsigned int maj = 0, min = 0;
        unsigned long ino = 0;
        if (std::sscanf(line, "%*d: %15s %*s %*s %d %x:%x:%lu", kind, &pid, &maj, &min, &ino) == 5 &&
            std::strcmp(kind, "FLOCK") == 0 && maj == wantMajor && min == wantMinor &&
            ino == static_cast<unsigned long>(st.st_ino) && pid > 0) {
            found = pid;
        }
    }
    std::fclose(locks);
    return found;
}
