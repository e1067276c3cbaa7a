#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "ComPortBase.h"
#include "ComPortBaseLinux.h"
#include "PtyPair.h"
#include "basic.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
        g_nWinUserValue[0] = 0;
        ASSERT_FALSE(pty.path.empty());
    }
    void TearDown() override
    {
        g_nWinUserValue[0] = 0;
        g_nReadQuietGapUsec = 0;
    }

    // One read pass; returns its duration in milliseconds.
    static int64_t TimedReadAll(CComPortBase& port, std::string& out)
    {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(port.ReadAll(out), 1);
        return MsSince(start);
    }

    PtyPair pty;
};

class ComPortRate : public ComPort, public ::testing::WithParamInterface<int>
{
};

TEST_P(ComPortRate, OpensRaw8N1WithoutFlowControl)
{
    const int rate = GetParam();
    CComPortBase port(pty.path, rate);
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsOpened(), 1);
    EXPECT_EQ(port.IsComError(), 0);
    EXPECT_EQ(port.GetErrorMsg(), "");
    EXPECT_EQ(port.WriteChunkSize(), rate / 10);

    const struct termios tio = pty.Attrs();
    EXPECT_EQ(Bspeed(cfgetospeed(&tio)), rate);
    EXPECT_EQ(Bspeed(cfgetispeed(&tio)), rate);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | HUPCL), static_cast<tcflag_t>(CLOCAL | HUPCL));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_P(ComPortRate, WriteArrivesIntact)
{
    CComPortBase port(pty.path, GetParam());
    ASSERT_EQ(port.Open(), 1);
    const std::string commands[] = {
        "AT+CSQ\r",
        // A PDU part with its Ctrl-Z, bytes above 0x7f included.
        std::string(340, 'A') + "\xff\x80\r\n" + "\x1a",
    };
    for (const std::string& cmd : commands) {
        EXPECT_EQ(port.Write(cmd), 1);
        EXPECT_EQ(pty.Received(cmd.size()), cmd);
    }
}

INSTANTIATE_TEST_SUITE_P(ComPortBase, ComPortRate, ::testing::Values(9600, 115200),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Baud" + std::to_string(info.param);
                         });

TEST_F(ComPort, InputDuringWriteComesFirstAtNextRead)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    pty.Send("\r\nEARLY");
    ASSERT_TRUE(pty.SlaveReadable());  // queued before Write starts
    ASSERT_EQ(port.Write("AT\r"), 1);
    EXPECT_EQ(pty.Received(3), "AT\r");
    pty.Send("LATE\r\n");

    std::string answer;
    port.ReadAll(answer);
    EXPECT_EQ(answer, "\r\nEARLYLATE\r\n");
}

// A command of many write chunks goes out whole, with no input to wait for.
TEST_F(ComPort, LongCommandIsWrittenWhole)
{
    CComPortBase port(pty.path, 9600);
    ASSERT_EQ(port.Open(), 1);
    ASSERT_EQ(port.WriteChunkSize(), 960);
    const std::string cmd(960 * 5 + 100, 'x');
    std::string got;
    std::thread modem([&] { got = pty.Received(cmd.size()); });
    EXPECT_EQ(port.Write(cmd), 1);
    modem.join();
    EXPECT_EQ(got, cmd);
}

// A device that takes nothing more (the peer never reads, the queue is full)
// fails the write once a whole nominal pass went by without progress.
TEST_F(ComPort, StalledDeviceFailsWriteAfterOnePass)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    g_nWinUserValue[0] = 200;  // 100 ms
    const std::string flood(1 << 20, 'x');
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(port.Write(flood), 0);
    EXPECT_GE(MsSince(start), 100);
}

TEST_F(ComPort, ReadAllAppendsAndNeverClears)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    std::string answer = "before";
    EXPECT_EQ(port.ReadAll(answer), 1);
    EXPECT_EQ(port.ReadAll(answer), 1);
    EXPECT_EQ(answer, "before");
    pty.Send("OK\r\n");
    port.ReadAll(answer);
    EXPECT_EQ(answer, "beforeOK\r\n");
}

TEST_F(ComPort, MissingPathRecordsNoError)
{
    CComPortBase port("/dev/tarnel-no-such-device", 115200);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpened(), 0);
    EXPECT_EQ(port.IsComError(), 0);
    EXPECT_EQ(port.GetErrorMsg(), "");
    EXPECT_EQ(port.Write("AT\r"), 0);
    std::string answer = "x";
    EXPECT_EQ(port.ReadAll(answer), 1);
    EXPECT_EQ(answer, "x");
    EXPECT_EQ(port.Close(), 1);
}

TEST_F(ComPort, NotATerminalRecordsTheSystemError)
{
    errno = EAGAIN;  // a stale value must not be what gets recorded
    CComPortBase port("/dev/null", 115200);
    EXPECT_EQ(port.IsOpened(), 1);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsComError(), 1);
    EXPECT_EQ(port.GetErrorMsg(), "Code: " + std::to_string(ENOTTY) + "  " + std::strerror(ENOTTY));
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.IsOpened(), 0);
    EXPECT_EQ(port.IsComError(), 1);  // the record outlives the descriptor
}

TEST_F(ComPort, RateOutsideTheTableKeepsDescriptorUntilClose)
{
    CComPortBase port(pty.path, 12345);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpened(), 1);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.IsOpened(), 0);
}

TEST_F(ComPort, CloseKeepsTheLineUpAndRaw)
{
    {
        CComPortBase port(pty.path, 115200);
        ASSERT_EQ(port.Open(), 1);
        EXPECT_EQ(port.Close(), 1);
        EXPECT_EQ(port.IsOpened(), 0);
        EXPECT_EQ(port.Close(), 1);
        EXPECT_EQ(port.Write("AT\r"), 0);
    }
    const struct termios tio = pty.Attrs();
    EXPECT_FALSE(tio.c_cflag & HUPCL);
    EXPECT_FALSE(tio.c_lflag & ICANON);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

// The ESC that drops a send cut short by a stop is written just before the
// close: it must reach the modem, which would otherwise sit at its prompt
// with half a message. A close that flushed output lost it about every
// other time on a pseudo-terminal.
TEST_F(ComPort, CloseKeepsWhatWasJustWritten)
{
    for (int i = 0; i < 100; ++i) {
        CComPortBase port(pty.path, 115200);
        ASSERT_EQ(port.Open(), 1);
        ASSERT_EQ(port.Write("\x1b"), 1);
        port.Close();
        ASSERT_EQ(pty.Received(1, 500), "\x1b") << "close " << i;
    }
}

// Each closed port's descriptor number is taken by a placeholder, so every
// port gets a new number: a close that did not forget its descriptor would
// fill the slots of the settings table.
TEST_F(ComPort, ReopenSamePathOnNewObjects)
{
    std::vector<int> placeholders;
    for (int i = 0; i < TERM_MAX_TERMS + 4; ++i) {
        CComPortBase port(pty.path, i % 2 ? 9600 : 115200);
        ASSERT_EQ(port.Open(), 1) << "port " << i;
        ASSERT_EQ(port.Write("AT\r"), 1);
        ASSERT_EQ(pty.Received(3), "AT\r");
        port.Close();
        placeholders.push_back(open("/dev/null", O_RDONLY));
    }
    for (int fd : placeholders) {
        close(fd);
    }
}

TEST_F(ComPort, VanishedDeviceFailsWriteAndEndsReadEarly)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    pty.CloseMaster();
    EXPECT_EQ(port.Write("AT\r"), 0);
    std::string answer;
    // A full idle pass takes at least 600 x 0.5 ms.
    EXPECT_LT(TimedReadAll(port, answer), 250);
    EXPECT_EQ(answer, "");
}

TEST_F(ComPort, IdlePassRunsTheCyclesOfTime1)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    std::string answer;
    // Every cycle pauses 0.5 ms, so these are firm lower bounds.
    g_nWinUserValue[0] = 0;
    const int64_t standard = TimedReadAll(port, answer);
    EXPECT_GE(standard, 300);
    g_nWinUserValue[0] = -5;
    EXPECT_GE(TimedReadAll(port, answer), 300);
    g_nWinUserValue[0] = 200;
    const int64_t shorter = TimedReadAll(port, answer);
    EXPECT_GE(shorter, 100);
    EXPECT_LT(shorter, standard);
    EXPECT_EQ(answer, "");
}

TEST_F(ComPort, InputCapsALongPassAtOneThousandCycles)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    g_nWinUserValue[0] = 2000;
    std::string answer;
    const int64_t idle = TimedReadAll(port, answer);
    EXPECT_GE(idle, 1000);

    pty.Send("+CSQ: 20,99\r\n");
    ASSERT_TRUE(pty.SlaveReadable());
    const int64_t capped = TimedReadAll(port, answer);
    EXPECT_EQ(answer, "+CSQ: 20,99\r\n");
    EXPECT_LT(capped, idle);
}

// A device that never stops talking cannot hold a pass for ever, and what it
// said arrives in order.
TEST_F(ComPort, EndlessInputStillEndsThePass)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        const Clock::time_point start = Clock::now();
        for (unsigned char c = 0; !stop && MsSince(start) < 20000; ++c) {
            if (write(pty.master, &c, 1) != 1) {
                break;
            }
            usleep(200);
        }
    });
    // Only the cap can end this pass: the talker never pauses this long.
    g_nReadQuietGapUsec = 5000000;
    std::string answer;
    const int64_t took = TimedReadAll(port, answer);
    stop = true;
    talker.join();

    EXPECT_GE(took, READ_PASS_CAP_USEC / 1000);
    EXPECT_LT(took, 10000);
    ASSERT_FALSE(answer.empty());
    for (std::string::size_type i = 0; i < answer.size(); ++i) {
        ASSERT_EQ(static_cast<unsigned char>(answer[i]), static_cast<unsigned char>(i)) << i;
    }
}

// An answer ends its pass once the line has been quiet for the gap, well
// before the nominal length of a pass that receives nothing.
TEST_F(ComPort, AnsweredPassEndsBeforeItsNominalLength)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    g_nWinUserValue[0] = 2000;  // 1 s
    std::string answer;
    const int64_t idle = TimedReadAll(port, answer);
    EXPECT_GE(idle, 1000);
    pty.Send("\r\nOK\r\n");
    const int64_t answered = TimedReadAll(port, answer);
    EXPECT_EQ(answer, "\r\nOK\r\n");
    EXPECT_LT(answered, idle);
}

// Pieces of an answer come back in one pass when the pauses between them are
// shorter than the quiet gap, and in separate passes when they are longer.
struct PiecesCase
{
    const char* name;
    int64_t gapMs;
    int pauseMs;
    bool together;
};

class ComPortPieces : public ComPort, public ::testing::WithParamInterface<PiecesCase>
{
};

TEST_P(ComPortPieces, QuietGapDecidesWhereAPassEnds)
{
    const PiecesCase& c = GetParam();
    CComPortBase port(pty.path, 9600);
    ASSERT_EQ(port.Open(), 1);
    g_nReadQuietGapUsec = c.gapMs * 1000;
    g_nWinUserValue[0] = 4000;  // 2 s: the first piece always arrives within the pass
    const std::vector<std::string> pieces = {"\r\n+CSQ: ", "20,99\r\n", "\r\nOK\r\n"};
    std::thread modem([&] {
        for (const std::string& piece : pieces) {
            pty.Send(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        }
    });
    std::string first;
    port.ReadAll(first);
    modem.join();
    g_nWinUserValue[0] = 200;  // the rest is queued by now
    std::string rest;
    port.ReadAll(rest);
    g_nReadQuietGapUsec = 0;

    if (c.together) {
        EXPECT_EQ(first, "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    } else {
        EXPECT_EQ(first, pieces[0]);
    }
    EXPECT_EQ(first + rest, "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
}

INSTANTIATE_TEST_SUITE_P(ComPortBase, ComPortPieces,
                         ::testing::Values(PiecesCase{"PausesShorterThanTheGap", 400, 20, true},
                                           PiecesCase{"PausesLongerThanTheGap", 20, 400, false}),
                         [](const ::testing::TestParamInfo<PiecesCase>& info) { return std::string(info.param.name); });

// A deadline before the nominal end cuts a silent pass, but not before it.
TEST_F(ComPort, DeadlineCutsAPass)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    g_nWinUserValue[0] = 4000;  // 2 s
    std::string answer;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(port.ReadAll(answer, MonotonicUsec() + 100000), 1);
    const int64_t took = MsSince(start);
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2000);
    pty.CloseMaster();
    EXPECT_EQ(port.ReadAll(answer, MonotonicUsec() + 100000), 0);  // the device went away
    EXPECT_EQ(answer, "");
}

// Input queued before a command is dropped; what arrives after is kept.
TEST_F(ComPort, DiscardInputDropsOnlyWhatIsQueued)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    const std::string unsolicited = "\r\nRING\r\n\r\n+CMTI: \"SM\",3\r\n";
    pty.Send(unsolicited);
    ASSERT_TRUE(pty.SlaveReadable());
    EXPECT_EQ(port.DiscardInput(), unsolicited.size());
    pty.Send("\r\nOK\r\n");
    std::string answer;
    port.ReadAll(answer);
    EXPECT_EQ(answer, "\r\nOK\r\n");
}

TEST_F(ComPort, AnswerArrivingDuringThePassIsCollected)
{
    CComPortBase port(pty.path, 115200);
    ASSERT_EQ(port.Open(), 1);
    std::thread modem([&] {
        usleep(50000);
        pty.Send("\r\nOK\r\n");
    });
    std::string answer;
    port.ReadAll(answer);
    modem.join();
    EXPECT_EQ(answer, "\r\nOK\r\n");
}

// The ttys of one modem probed at once: once a sibling is recognised, a port
// still told to give up does so at once, whatever it has received; one whose
// descriptor was taken away (it answered) goes on.
TEST_F(ComPort, GivesUpUnlessItsDescriptorWasTakenAway)
{
    g_nWinUserValue[0] = 2000;  // a pass of 1 s: giving up must not wait for it
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    for (const bool answered : {false, true}) {
        CComPortBase port(pty.path, 9600);
        ASSERT_EQ(port.Open(), 1);
        port.SetGiveUpDescriptor(pipeFds[0]);
        // Bytes alone (binary diagnostics, GPS sentences) do not make it a modem's port.
        ASSERT_EQ(write(pty.master, "\x7e\x01$GP", 5), 5);
        std::string noise;
        EXPECT_EQ(port.ReadAll(noise), 1);
        EXPECT_EQ(noise, "\x7e\x01$GP");
        if (answered) {
            port.SetGiveUpDescriptor(-1);
        }
        EXPECT_FALSE(port.GivenUp());
        std::thread sibling([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_EQ(write(pipeFds[1], "x", 1), 1);
        });
        std::string out;
        const Clock::time_point start = Clock::now();
        const int alive = port.ReadAll(out, MonotonicUsec() + 3000000);
        const int64_t took = MsSince(start);
        sibling.join();
        if (answered) {
            EXPECT_EQ(alive, 1);  // waited its whole pass as if nothing had happened
            EXPECT_GE(took, 900);
            EXPECT_FALSE(port.GivenUp());
            EXPECT_EQ(port.Write("AT\r"), 1);
        } else {
            EXPECT_EQ(alive, 0);  // ended like a failed device, soon after the sibling's word
            EXPECT_LT(took, 800);
            EXPECT_TRUE(port.GivenUp());
            EXPECT_EQ(port.Write("AT\r"), 0);  // and writes nothing more
        }
        char drained[64];
        while (read(pipeFds[0], drained, sizeof drained) == sizeof drained) {
        }
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
}

}  // namespace
