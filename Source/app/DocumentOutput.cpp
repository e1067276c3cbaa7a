#include "DocumentOutput.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

std::atomic<bool> g_bDocumentLost{false};

}  // namespace

bool WriteDocument(const std::string& text, std::string& error)
{
    std::cout.flush();
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // Standard output left non-blocking by the caller: wait until it takes more.
            pollfd out{STDOUT_FILENO, POLLOUT, 0};
            if (poll(&out, 1, -1) >= 0 || errno == EINTR) {
                continue;
            }
        }
        error = std::strerror(errno);
        return false;
    }
    // A file system may take the bytes and fail only when they go to disk.
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && fsync(STDOUT_FILENO) != 0 && errno != EINVAL &&
        errno != EROFS) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

void MarkDocumentLost()
{
    g_bDocumentLost = true;
}

bool DocumentLost()
{
    return g_bDocumentLost;
}
