#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ComPortBase.h"
#include "PortLock.h"
#include "PtyPair.h"
#include "basic.h"
#include "term.h"
#include "ThreadsAtOnce.h"

namespace {

std::vector<std::unique_ptr<PtyPair>> MakePtys(int count)
{
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int i = 0; i < count; ++i) {
        ptys.push_back(std::make_unique<PtyPair>());
        EXPECT_FALSE(ptys.back()->path.empty());
    }
    return ptys;
}

class PortThreads : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
        g_nWinUserValue[0] = 20;  // short read passes; set before any thread runs
    }
    void TearDown() override { g_nWinUserValue[0] = 0; }
};

// A bank of modems worked at once, one thread per port, each port at its own
// rate: every port is configured at its own rate (never at a neighbour's),
// and what is written and read stays on its port.
TEST_F(PortThreads, ManyPortsAtTheirOwnRatesAtOnce)
{
    const int kPorts = 48;
    const int rates[] = {9600, 19200, 57600, 115200};
    const auto ptys = MakePtys(kPorts);
    OnThreadsAtOnce(kPorts, [&](int i) {
        const PtyPair& pty = *ptys[i];
        for (int round = 0; round < 3; ++round) {
            const int rate = rates[(i + round) % 4];
            CComPortBase port(pty.path, rate);
            ASSERT_EQ(port.Open(), 1) << i;
            EXPECT_EQ(port.WriteChunkSize(), rate / 10) << i;
            const struct termios tio = pty.Attrs();
            EXPECT_EQ(Bspeed(cfgetospeed(&tio)), rate) << i;

            const std::string cmd = "AT+PORT=" + std::to_string(i) + "\r";
            EXPECT_EQ(port.Write(cmd), 1) << i;
            EXPECT_EQ(pty.Received(cmd.size()), cmd) << i;
            const std::string answer = "\r\nOK " + std::to_string(i) + "\r\n";
            pty.Send(answer);
            std::string got;
            for (int pass = 0; pass < 200 && got.size() < answer.size(); ++pass) {
                port.ReadAll(got);
            }
            EXPECT_EQ(got, answer) << i;
        }
    });
}

// The settings layer's error code belongs to the thread whose call failed:
// another port's later failure must not change what this one reads.
TEST_F(PortThreads, SettingsErrorCodeIsPerThread)
{
    PtyPair first, second;
    std::promise<void> firstFailed, secondFailed;
    std::thread a([&] {
        EXPECT_EQ(term_set(first.slave, 1, 12345, P_NONE, 8, 1, FC_NONE, 1, 1), -1);
        firstFailed.set_value();
        secondFailed.get_future().wait();
        EXPECT_EQ(term_errno, TERM_EBAUD);
    });
    std::thread b([&] {
        firstFailed.get_future().wait();
        EXPECT_EQ(term_set(second.slave, 1, 9600, 7, 8, 1, FC_NONE, 1, 1), -1);
        EXPECT_EQ(term_errno, TERM_EPARITY);
        secondFailed.set_value();
    });
    a.join();
    b.join();
}

// A port beyond the settings table fails with a recorded, readable error
// rather than as a port that merely does not answer.
TEST_F(PortThreads, PortBeyondTheSettingsTableIsRecorded)
{
    const auto held = MakePtys(TERM_MAX_TERMS);
    OnThreadsAtOnce(8, [&](int t) {
        for (int i = t; i < TERM_MAX_TERMS; i += 8) {
            EXPECT_EQ(term_add(held[i]->slave), 0) << i;
        }
    });
    PtyPair pty;
    CComPortBase port(pty.path, 115200);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsBusy(), 0);
    EXPECT_EQ(port.IsComError(), 1);
    EXPECT_EQ(port.GetErrorMsg(), "Code: -2  Too many ports open at once (at most " +
                                      std::to_string(TERM_MAX_TERMS) + ")");
}

// The exit-time cleanup runs while other threads still work their ports:
// it neither hangs nor crashes, restores every line and removes every lock
// file.
TEST_F(PortThreads, ExitWhileOtherThreadsUsePorts)
{
    const int kPorts = 8;
    const auto ptys = MakePtys(kPorts);
    std::vector<struct termios> initial;
    for (const auto& pty : ptys) {
        initial.push_back(pty->Attrs());
        ASSERT_TRUE(initial.back().c_lflag & ICANON);
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::atomic<int> opened{0};
        for (int i = 0; i < kPorts; ++i) {
            std::thread([&opened, &ptys, i] {
                CComPortBase port(ptys[i]->path, 115200);
                if (port.Open() == 1) {
                    ++opened;
                }
                for (;;) {
                    port.Write("AT\r");
                    std::string answer;
                    port.ReadAll(answer);
                }
            }).detach();
        }
        while (opened.load() < kPorts) {
            std::this_thread::yield();
        }
        const char c = 'R';
        if (write(ready[1], &c, 1) != 1) {
            _exit(2);
        }
        std::exit(0);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    int status = -1;
    bool ended = false;
    for (int waited = 0; waited < 200 && !ended; ++waited) {
        ended = waitpid(child, &status, WNOHANG) == child;
        if (!ended) {
            usleep(50000);
        }
    }
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the exit hung";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int i = 0; i < kPorts; ++i) {
        const struct termios after = ptys[i]->Attrs();
        EXPECT_EQ(after.c_lflag, initial[i].c_lflag) << i;
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&initial[i])) << i;
        const std::string& path = ptys[i]->path;
        const std::string lockFile = portlock_dir() + "/LCK.." + path.substr(path.rfind('/') + 1);
        EXPECT_NE(access(lockFile.c_str(), F_OK), 0) << lockFile;
    }
}

}  // namespace
