#include "WatchHandover.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "StopSignal.h"
#include "basic.h"

namespace {

// A run must say its request this soon after connecting: a connection that
// never does cannot keep a slot.
const int64_t REQUEST_WAIT_USEC = 5 * 1000000LL;
// Connections served at once; more are closed at once.
const std::size_t MAX_CONNECTIONS = 64;
// Paths one request may name.
const std::size_t MAX_PATHS = 16;

const char REQUEST_WORD[] = "release ";
const char RELEASED[] = "released\n";
const char NOT_HELD[] = "not held\n";

std::atomic<int> g_nServers{0};

// Whether `path` can go in a request: not empty, no blank or control
// character (which would split or end the line).
bool Sendable(const std::string& path)
{
    return !path.empty() && std::none_of(path.begin(), path.end(), [](char ch) {
        const unsigned char c = static_cast<unsigned char>(ch);
        return c <= ' ' || c == 0x7f;
    });
}

// `path` and, when it resolves to another name (a link), that name too.
void AddWithTarget(const std::string& path, std::vector<std::string>& to)
{
    to.push_back(path);
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr && path != resolved) {
        to.emplace_back(resolved);
    }
}

// One whole write to a socket, never raising SIGPIPE; false when it failed.
bool SendAll(int fd, const char* text)
{
    const std::size_t length = std::strlen(text);
    ssize_t n;
    do {
        n = send(fd, text, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(length);
}

bool PeerOf(int fd, struct ucred& peer)
{
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer;
}

bool FillAddress(const std::string& path, struct sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// A connected, non-blocking stream socket to `path`; -1 when none listens
// there (or a full backlog would make us wait).
int ConnectTo(const std::string& path)
{
    struct sockaddr_un address;
    if (!FillAddress(path, address)) {
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::vector<std::string> HandoverRunDirs()
{
    const char* const forTests = std::getenv("TARNEL_RUN_DIR");
    if (forTests != nullptr && *forTests != '\0') {
        return {forTests};
    }
    const uid_t uid = geteuid();
    if (uid == 0) {
        return {"/run/tarnel"};
    }
    return {"/run/user/" + std::to_string(uid) + "/tarnel", "/run/tarnel"};
}

std::string HandoverSocketPath(const std::string& dir, pid_t pid)
{
    return dir + "/watch-" + std::to_string(pid) + ".sock";
}

// ---- the watch's side

CHandoverServer::CHandoverServer(const std::vector<std::string>& dirs)
{
    ++g_nServers;
    for (const std::string& dir : dirs) {
        if (Listen(dir)) {
            break;
        }
    }
    if (m_listenFd < 0) {
        return;
    }
    if (pipe2(m_wakeThread, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_strError = std::string("cannot make a pipe: ") + std::strerror(errno);
        unlink(m_strSocketPath.c_str());
        m_strSocketPath.clear();
        close(m_listenFd);
        m_listenFd = -1;
        m_wakeThread[0] = m_wakeThread[1] = -1;
        return;
    }
    m_thread = std::thread([this] { Serve(); });
}

bool CHandoverServer::Listen(const std::string& dir)
{
    const auto fail = [&](const std::string& why) {
        m_strError = dir + ": " + why;
        return false;
    };
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        return fail(std::strerror(errno));
    }
    struct stat folder;
    if (lstat(dir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
        (folder.st_uid != geteuid() && folder.st_uid != 0)) {
        return fail("not a folder of this user");
    }
    const std::string path = HandoverSocketPath(dir, getpid());
    struct sockaddr_un address;
    if (!FillAddress(path, address)) {
        return fail("path too long");
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return fail(std::strerror(errno));
    }
    int rc = bind(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno == EADDRINUSE) {
        // Our own PID's name: left by a process that had this PID before,
        // unless something listens there (another PID namespace) or it is
        // no socket at all, which are left alone.
        struct stat old;
        const int alive = ConnectTo(path);
        if (alive >= 0) {
            close(alive);
        } else if (lstat(path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode) && unlink(path.c_str()) == 0) {
            rc = bind(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address);
        }
    }
    struct stat made;
    // The socket is this user's alone; the peer check below is what guards it.
    if (rc != 0 || chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0 || stat(path.c_str(), &made) != 0) {
        const int error = errno;
        if (rc == 0) {
            unlink(path.c_str());
        }
        close(fd);
        return fail(std::strerror(error));
    }
    m_listenFd = fd;
    m_strSocketPath = path;
    m_socketDev = made.st_dev;
    m_socketIno = made.st_ino;
    m_strError.clear();
    return true;
}

CHandoverServer::~CHandoverServer()
{
    if (m_thread.joinable()) {
        m_bStopping = true;
        const char stop = 0;
        (void)!write(m_wakeThread[1], &stop, 1);
        m_thread.join();
    }
    for (const Connection_t& c : m_connections) {
        close(c.fd);
    }
    for (const auto& modem : m_modems) {
        close(modem.second.wakeFd);
    }
    for (const int fd : m_wakeThread) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (m_listenFd >= 0) {
        struct stat now;
        // Only the socket this server made: not one a later process put there.
        if (stat(m_strSocketPath.c_str(), &now) == 0 && now.st_dev == m_socketDev && now.st_ino == m_socketIno) {
            unlink(m_strSocketPath.c_str());
        }
        close(m_listenFd);
    }
    --g_nServers;
}

bool CHandoverServer::ServingHere()
{
    return g_nServers.load() > 0;
}

void CHandoverServer::Serve()
{
    std::vector<struct pollfd> fds;
    while (!m_bStopping) {
        fds.clear();
        fds.push_back({m_wakeThread[0], POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        int64_t nextDeadline = INT64_MAX;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const Connection_t& c : m_connections) {
                fds.push_back({c.fd, POLLIN, 0});
                if (c.modem == 0) {
                    nextDeadline = std::min(nextDeadline, c.deadline);
                }
            }
        }
        const int64_t now = MonotonicUsec();
        const int timeoutMs =
            nextDeadline == INT64_MAX ? -1 : static_cast<int>(std::max<int64_t>(0, nextDeadline - now) / 1000 + 1);
        if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
            return;  // cannot happen with valid descriptors; the watch goes on without lending
        }
        char drained[64];
        while (read(m_wakeThread[0], drained, sizeof drained) > 0) {
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (fds[1].revents != 0) {
            Accept();
        }
        // The connections polled are the first fds.size() - 2 ones: only
        // this thread adds or removes them.
        const int64_t then = MonotonicUsec();
        for (std::size_t k = fds.size() - 2; k-- > 0;) {
            Connection_t& c = m_connections[k];
            bool keep = !c.closing;
            if (keep && fds[k + 2].revents != 0) {
                keep = ReadFrom(c);
            }
            if (keep && c.modem == 0 && then >= c.deadline) {
                keep = false;  // said nothing in time
            }
            if (!keep) {
                CloseConnection(k);
            }
        }
        // Connections that a watcher marked while this thread polled.
        for (std::size_t k = m_connections.size(); k-- > 0;) {
            if (m_connections[k].closing) {
                CloseConnection(k);
            }
        }
    }
}

void CHandoverServer::Accept()
{
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;  // none left (EAGAIN), or a failure that the next poll retries
        }
        struct ucred peer;
        if (!PeerOf(fd, peer) || peer.uid != geteuid() || m_connections.size() >= MAX_CONNECTIONS) {
            close(fd);
            continue;
        }
        Connection_t c;
        c.fd = fd;
        c.deadline = MonotonicUsec() + REQUEST_WAIT_USEC;
        m_connections.push_back(c);
    }
}

bool CHandoverServer::ReadFrom(Connection_t& c)
{
    char buffer[512];
    for (;;) {
        const ssize_t n = read(c.fd, buffer, sizeof buffer);
        if (n == 0) {
            return false;  // the run closed: its request or lease ends
        }
        if (n < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        if (c.modem != 0) {
            return false;  // nothing is said after the request: the lease ends
        }
        c.input.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = c.input.find('\n');
        if (end == std::string::npos) {
            if (c.input.size() >= HANDOVER_MAX_LINE) {
                return false;
            }
            continue;
        }
        if (end + 1 != c.input.size() || end + 1 > HANDOVER_MAX_LINE) {
            return false;  // more than one line, or too long
        }
        const std::string line = c.input.substr(0, end);
        c.input.clear();
        if (!OnRequest(c, line)) {
            return false;
        }
    }
}

bool CHandoverServer::OnRequest(Connection_t& c, const std::string& line)
{
    const std::size_t wordLength = sizeof REQUEST_WORD - 1;
    if (line.compare(0, wordLength, REQUEST_WORD) != 0) {
        return false;
    }
    std::vector<std::string> asked;
    std::size_t start = wordLength;
    for (std::size_t count = 1; start <= line.size(); ++count) {
        const std::size_t space = std::min(line.find(' ', start), line.size());
        const std::string path = line.substr(start, space - start);
        if (!Sendable(path) || path[0] != '/' || count > MAX_PATHS) {
            return false;
        }
        AddWithTarget(path, asked);
        start = space + 1;
    }
    for (auto& entry : m_modems) {
        Modem_t& modem = entry.second;
        const bool named = std::any_of(asked.begin(), asked.end(), [&](const std::string& path) {
            return std::find(modem.paths.begin(), modem.paths.end(), path) != modem.paths.end();
        });
        if (!named) {
            continue;
        }
        c.modem = entry.first;
        if (modem.lent) {
            // Lent already: this run waits for the borrower as for any program.
            c.lent = true;
            return SendAll(c.fd, RELEASED);
        }
        UpdateWake(entry.first);
        return true;
    }
    SendAll(c.fd, NOT_HELD);
    return false;
}

void CHandoverServer::CloseConnection(std::size_t index)
{
    const int modem = m_connections[index].modem;
    close(m_connections[index].fd);
    m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(index));
    if (modem != 0) {
        UpdateWake(modem);
    }
}

void CHandoverServer::UpdateWake(int modem)
{
    const auto found = m_modems.find(modem);
    if (found == m_modems.end()) {
        return;
    }
    Modem_t& m = found->second;
    const bool borrowed = std::any_of(m_connections.begin(), m_connections.end(), [&](const Connection_t& c) {
        return c.modem == modem && c.lent && !c.closing;
    });
    const bool waiting = std::any_of(m_connections.begin(), m_connections.end(), [&](const Connection_t& c) {
        return c.modem == modem && !c.lent && !c.closing;
    });
    const bool due = m.lent ? !borrowed : waiting;
    if (due == m.due) {
        return;
    }
    m.due = due;
    uint64_t count = 1;
    // An eventfd: write makes it readable, read (of the whole count) makes it quiet again.
    if (due) {
        (void)!write(m.wakeFd, &count, sizeof count);
    } else {
        (void)!read(m.wakeFd, &count, sizeof count);
    }
}

int CHandoverServer::Hold(const std::vector<std::string>& paths)
{
    Modem_t modem;
    for (const std::string& path : paths) {
        AddWithTarget(path, modem.paths);
    }
    modem.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = m_nNextModem++;
    m_modems.emplace(id, std::move(modem));
    return id;
}

void CHandoverServer::Forget(int modem)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modems.find(modem);
    if (found == m_modems.end()) {
        return;
    }
    for (Connection_t& c : m_connections) {
        if (c.modem == modem) {
            if (!c.lent) {
                SendAll(c.fd, NOT_HELD);
            }
            c.closing = true;
        }
    }
    if (found->second.wakeFd >= 0) {
        close(found->second.wakeFd);
    }
    m_modems.erase(found);
    const char wake = 0;
    (void)!write(m_wakeThread[1], &wake, 1);
}

int CHandoverServer::WakeDescriptor(int modem) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modems.find(modem);
    return found == m_modems.end() ? -1 : found->second.wakeFd;
}

bool CHandoverServer::Wanted(int modem) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modems.find(modem);
    return found != m_modems.end() && !found->second.lent && found->second.due;
}

bool CHandoverServer::Grant(int modem)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modems.find(modem);
    if (found == m_modems.end() || found->second.lent) {
        return false;
    }
    bool told = false;
    for (Connection_t& c : m_connections) {
        if (c.modem == modem && !c.lent && !c.closing) {
            if (SendAll(c.fd, RELEASED)) {
                c.lent = true;
                told = true;
            } else {
                c.closing = true;
            }
        }
    }
    found->second.lent = told;
    UpdateWake(modem);
    if (!told) {
        const char wake = 0;
        (void)!write(m_wakeThread[1], &wake, 1);
    }
    return told;
}

bool CHandoverServer::TakeBack(int modem)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_modems.find(modem);
    if (found == m_modems.end() || !found->second.lent || !found->second.due) {
        return false;
    }
    found->second.lent = false;
    UpdateWake(modem);
    return true;
}

bool CHandoverServer::WaitForReturn(int modem)
{
    // Without its eventfd (none could be made) the modem is looked at every 0.1 s.
    const int wake = WakeDescriptor(modem);
    while (!TakeBack(modem)) {
        if (StopRequested()) {
            return false;
        }
        struct pollfd fds[2] = {{wake, POLLIN, 0}, {StopWakeDescriptor(), POLLIN, 0}};
        poll(fds, 2, wake >= 0 ? -1 : 100);
    }
    return true;
}

// ---- the run's side

std::unique_ptr<CWatchLease> CWatchLease::Ask(pid_t holder, const std::vector<std::string>& paths,
                                              const std::vector<std::string>& dirs)
{
    if (holder <= 0) {
        return nullptr;
    }
    std::string request = REQUEST_WORD;
    std::size_t named = 0;
    for (const std::string& path : paths) {
        if (Sendable(path) && path[0] == '/' && named < MAX_PATHS &&
            request.size() + path.size() + 2 <= HANDOVER_MAX_LINE) {
            request += (named == 0 ? "" : " ") + path;
            ++named;
        }
    }
    if (named == 0) {
        return nullptr;
    }
    request += '\n';
    for (const std::string& dir : dirs) {
        const int fd = ConnectTo(HandoverSocketPath(dir, holder));
        if (fd < 0) {
            continue;
        }
        struct ucred peer;
        // The holder of the lock itself, run by this user: no other program
        // is told anything.
        if (!PeerOf(fd, peer) || peer.pid != holder || peer.uid != geteuid() || !SendAll(fd, request.c_str())) {
            close(fd);
            return nullptr;
        }
        return std::unique_ptr<CWatchLease>(new CWatchLease(fd, holder));
    }
    return nullptr;
}

CWatchLease::~CWatchLease()
{
    close(m_fd);
}

bool CWatchLease::WaitReleased(int64_t notAfterUsec)
{
    while (!m_bReleased && !m_bRefused && !StopRequested()) {
        const int64_t now = MonotonicUsec();
        if (now >= notAfterUsec) {
            break;
        }
        struct pollfd fds[2] = {{m_fd, POLLIN, 0}, {StopWakeDescriptor(), POLLIN, 0}};
        const int ms = static_cast<int>(std::min<int64_t>((notAfterUsec - now) / 1000 + 1, INT_MAX));
        if (poll(fds, fds[1].fd >= 0 ? 2 : 1, ms) <= 0 || fds[0].revents == 0) {
            continue;
        }
        char buffer[32];
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            m_bRefused = true;
            break;
        }
        m_input.append(buffer, static_cast<std::size_t>(n));
        if (m_input.size() > sizeof RELEASED) {
            m_bRefused = true;  // no answer is that long
        } else if (m_input == RELEASED) {
            m_bReleased = true;
        } else if (m_input.find('\n') != std::string::npos) {
            m_bRefused = true;  // "not held", or anything else
        }
    }
    return m_bReleased;
}

std::unique_ptr<CWatchLease> BorrowFromWatch(pid_t holder, const std::vector<std::string>& paths,
                                             int64_t notAfterUsec)
{
    if (CHandoverServer::ServingHere()) {
        return nullptr;
    }
    std::unique_ptr<CWatchLease> lease = CWatchLease::Ask(holder, paths);
    if (lease && !lease->WaitReleased(notAfterUsec)) {
        lease.reset();  // withdrawn: the watch keeps its modem
    }
    return lease;
}
