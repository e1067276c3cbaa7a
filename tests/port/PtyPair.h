#ifndef TARNEL_TESTS_PTYPAIR_H
#define TARNEL_TESTS_PTYPAIR_H

// A pseudo-terminal for the port tests: the slave's path stands in for a
// serial device, the master side plays the modem.

#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "term.h"

class PtyPair
{
public:
    PtyPair()
    {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
        }
    }
    ~PtyPair()
    {
        CloseMaster();
        if (slave >= 0) {
            // A test may have registered it; a later restore must not meet a
            // closed (or reused) descriptor.
            term_erase(slave);
            close(slave);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void CloseMaster()
    {
        if (master >= 0) {
            close(master);
            master = -1;
        }
    }

    // The slave's settings as seen through the master.
    struct termios Attrs() const
    {
        struct termios tio = {};
        EXPECT_EQ(tcgetattr(master, &tio), 0);
        return tio;
    }

    void Send(const std::string& text) const
    {
        ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Waits until the slave side has input queued (the kernel moves master
    // writes to the slave asynchronously).
    bool SlaveReadable(int timeoutMs = 2000) const
    {
        struct pollfd p = {slave, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
    }

    // What the port wrote: reads until `want` bytes arrived or the line has
    // been quiet for `quietMs`.
    std::string Received(std::string::size_type want, int quietMs = 2000) const
    {
        std::string got;
        while (got.size() < want) {
            struct pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, quietMs) != 1) {
                break;
            }
            char buf[4096];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            got.append(buf, static_cast<std::string::size_type>(n));
        }
        return got;
    }

    int master = -1;
    int slave = -1;  // held so the pty lives while ports come and go
    std::string path;
};

#endif
