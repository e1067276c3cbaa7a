#ifndef TARNEL_TESTS_MODEMPEER_H
#define TARNEL_TESTS_MODEMPEER_H

// A scripted modem on the master side of a pseudo-terminal: the controller's
// exchanges run unmodified on the slave path while a thread answers from a
// rule table, in chunks with small pauses, and records every byte it got.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../port/PtyPair.h"
#include "CCheckManager.h"
#include "ComPortBase.h"
#include "basic.h"

// Sets the read cycles of one serial read pass (time1 of set.ini) for a scope.
class ReadCycles
{
public:
    explicit ReadCycles(int32_t cycles) : m_old(g_nWinUserValue[0]) { g_nWinUserValue[0] = cycles; }
    ~ReadCycles() { g_nWinUserValue[0] = m_old; }

private:
    int32_t m_old;
};

class ModemPeer
{
public:
    struct Rule
    {
        std::string trigger;              // seen in the input since the last answer
        std::vector<std::string> chunks;  // written one after the other
    };

    explicit ModemPeer(std::vector<Rule> rules, int chunkGapMs = 3)
        : m_rules(std::move(rules)), m_gap(chunkGapMs), m_thread([this] { Serve(); })
    {
        // Ports need the terminal settings layer, as main sets it up at start-up.
        EXPECT_EQ(CComPortBase::ResetAllComPort(), 0);
        // A new device: pty paths are reused, so a modem an earlier test
        // detected there must not count as this one (a pass over no port
        // starts a new run).
        CCheckManager().DetectDevices({});
    }
    ~ModemPeer()
    {
        m_stop = true;
        m_thread.join();
    }
    ModemPeer(const ModemPeer&) = delete;
    ModemPeer& operator=(const ModemPeer&) = delete;

    const std::string& Path() const { return m_pty.path; }

    // Writes `text` at once, as a modem's unsolicited line, and waits until
    // the port's side can read it. A port being read meanwhile may take it
    // first: then `whileRead`, and the wait is left out.
    void SendUnasked(const std::string& text, bool whileRead = false) const
    {
        m_pty.Send(text);
        if (!whileRead) {
            EXPECT_TRUE(m_pty.SlaveReadable());
        }
    }

    // Every byte the port wrote so far.
    std::string Received() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

    // Waits until the peer has been quiet for `quietMs` after the last byte.
    std::string ReceivedWhenQuiet(int quietMs = 50) const
    {
        std::string last = Received();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
            std::string now = Received();
            if (now == last) {
                return now;
            }
            last = now;
        }
    }

private:
    void Serve()
    {
        std::string pending;
        while (!m_stop) {
            struct pollfd p = {m_pty.master, POLLIN, 0};
            if (poll(&p, 1, 5) != 1 || !(p.revents & POLLIN)) {
                continue;
            }
            char buf[512];
            const ssize_t n = read(m_pty.master, buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.append(buf, static_cast<std::size_t>(n));
            }
            pending.append(buf, static_cast<std::size_t>(n));
            Answer(pending);
        }
    }

    void Answer(std::string& pending)
    {
        for (const Rule& rule : m_rules) {
            const std::string::size_type at = pending.find(rule.trigger);
            if (at == std::string::npos) {
                continue;
            }
            pending.erase(0, at + rule.trigger.size());
            for (std::size_t i = 0; i < rule.chunks.size(); ++i) {
                if (i > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_gap));
                }
                const std::string& chunk = rule.chunks[i];
                if (write(m_pty.master, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
                    ADD_FAILURE() << "peer could not write its answer";
                }
            }
            return;
        }
    }

    PtyPair m_pty;
    std::vector<Rule> m_rules;
    int m_gap;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;  // last: starts once everything above exists
};

#endif
