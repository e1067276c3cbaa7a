#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "PtyPair.h"
#include "term.h"

namespace {

class Term : public ::testing::Test
{
protected:
    // A later term_lib_init forgets whatever an earlier test registered.
    void SetUp() override { ASSERT_EQ(term_lib_init(), 0); }
    void TearDown() override { term_lib_init(); }

    // The settings every port makes, at `baud`.
    static int SetPortLike(int fd, int baud)
    {
        return term_set(fd, 1, baud, P_NONE, 8, 1, FC_NONE, 1, 1);
    }
};

TEST(TermErrors, EveryCodeHasItsText)
{
    const struct {
        int code;
        const char* text;
    } table[] = {
        {0, "No error"},
        {1, "Framework is uninitialized"},
        {2, "Framework is full"},
        {3, "Filedes not in the framework"},
        {4, "Filedes already in the framework"},
        {5, "Cannot install atexit handler"},
        {6, "Filedes is not a tty"},
        {7, "Unknown error"},
        {8, "Cannot get the device attributes"},
        {9, "Cannot set the device attributes"},
        {10, "Invalid baud rate"},
        {11, "Cannot set the output speed"},
        {12, "Unknown error"},
        {13, "Cannot decode speed"},
        {14, "Invalid parity mode"},
        {15, "Invalid number of databits"},
        {16, "Invalid number of stopbits"},
        {17, "Invalid flowcontrol mode"},
        {18, "Unknown error"},
        {-1, "Unknown error"},
    };
    for (const auto& row : table) {
        EXPECT_STREQ(term_strerror(row.code), row.text) << "code " << row.code;
    }
}

TEST(TermBaudTable, EighteenRatesBothWays)
{
    const int rates[] = {0,    50,   75,   110,  134,   150,   200,   300,   600,
                         1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int rate : rates) {
        ASSERT_GE(Bcode(rate), 0) << rate;
        EXPECT_EQ(Bspeed(static_cast<speed_t>(Bcode(rate))), rate);
    }
    EXPECT_EQ(Bcode(230400), -1);
    EXPECT_EQ(Bcode(12345), -1);
    EXPECT_EQ(Bspeed(B230400), -1);
}

TEST_F(Term, DescriptorBeyondTheTableIsRefused)
{
    ASSERT_GE(TERM_MAX_TERMS, 128);  // a bank of modems, each with its ttys
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int i = 0; i < TERM_MAX_TERMS + 1; ++i) {
        ptys.push_back(std::make_unique<PtyPair>());
        ASSERT_FALSE(ptys.back()->path.empty());
    }
    for (int i = 0; i < TERM_MAX_TERMS; ++i) {
        ASSERT_EQ(term_add(ptys[i]->slave), 0) << i;
    }
    EXPECT_EQ(term_add(ptys[TERM_MAX_TERMS]->slave), -1);
    EXPECT_EQ(term_errno, TERM_EFULL);
    EXPECT_EQ(term_find(ptys[TERM_MAX_TERMS]->slave), -1);

    // Erasing one frees its slot; the erased one can come back later.
    ASSERT_EQ(term_erase(ptys[3]->slave), 0);
    EXPECT_EQ(term_add(ptys[TERM_MAX_TERMS]->slave), 0);
    EXPECT_EQ(term_add(ptys[3]->slave), -1);
    EXPECT_EQ(term_errno, TERM_EFULL);
}

TEST_F(Term, NotATerminalTakesNoSlot)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(term_add(fds[0]), -1);
    EXPECT_EQ(term_errno, TERM_EISATTY);
    EXPECT_EQ(SetPortLike(fds[1], 9600), -1);
    EXPECT_EQ(term_errno, TERM_EISATTY);
    close(fds[0]);
    close(fds[1]);

    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int i = 0; i < TERM_MAX_TERMS; ++i) {
        ptys.push_back(std::make_unique<PtyPair>());
        EXPECT_EQ(term_add(ptys.back()->slave), 0) << i;
    }
}

TEST_F(Term, RegisterTwiceIsRefusedUntilErased)
{
    PtyPair pty;
    ASSERT_EQ(term_add(pty.slave), 0);
    EXPECT_EQ(term_add(pty.slave), -1);
    EXPECT_EQ(term_errno, TERM_EEXISTS);
    ASSERT_EQ(term_erase(pty.slave), 0);
    EXPECT_EQ(term_find(pty.slave), -1);
    EXPECT_EQ(term_errno, TERM_ENOTFOUND);
    EXPECT_EQ(term_erase(pty.slave), -1);
    EXPECT_EQ(term_flush(pty.slave), -1);
    EXPECT_EQ(term_flush_input(pty.slave), -1);
    EXPECT_EQ(term_output_queued(pty.slave), -1);
    EXPECT_EQ(term_add(pty.slave), 0);
}

struct BadValues
{
    const char* name;
    int baud, parity, databits, stopbits, flow;
    int code;
};

void PrintTo(const BadValues& v, std::ostream* os)
{
    *os << v.name;
}

class TermSetRejects : public Term, public ::testing::WithParamInterface<BadValues>
{
};

// A refused term_set on a new descriptor leaves it unregistered.
TEST_P(TermSetRejects, NewDescriptorIsNotKept)
{
    const BadValues& v = GetParam();
    PtyPair pty;
    EXPECT_EQ(term_set(pty.slave, 1, v.baud, v.parity, v.databits, v.stopbits, v.flow, 1, 1), -1);
    EXPECT_EQ(term_errno, v.code);
    EXPECT_EQ(term_find(pty.slave), -1);
    EXPECT_EQ(term_errno, TERM_ENOTFOUND);
}

// A refused term_set on a registered descriptor leaves its next settings:
// applying afterwards gives what the earlier, good call prepared.
TEST_P(TermSetRejects, RegisteredDescriptorKeepsNextSettings)
{
    const BadValues& v = GetParam();
    PtyPair pty;
    ASSERT_EQ(term_set(pty.slave, 1, 115200, P_NONE, 8, 2, FC_RTSCTS, 1, 0), 0);
    EXPECT_EQ(term_set(pty.slave, 0, v.baud, v.parity, v.databits, v.stopbits, v.flow, 0, 1), -1);
    EXPECT_EQ(term_errno, v.code);
    ASSERT_EQ(term_apply(pty.slave, 1), 0);

    const struct termios tio = pty.Attrs();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_FALSE(tio.c_cflag & HUPCL);
    EXPECT_FALSE(tio.c_lflag & ICANON);
}

INSTANTIATE_TEST_SUITE_P(
    TermSet, TermSetRejects,
    ::testing::Values(BadValues{"RateNotInTable", 230400, P_NONE, 8, 1, FC_NONE, TERM_EBAUD},
                      BadValues{"OddRate", 12345, P_NONE, 8, 1, FC_NONE, TERM_EBAUD},
                      BadValues{"Parity5", 9600, 5, 8, 1, FC_NONE, TERM_EPARITY},
                      BadValues{"ParityNegative", 9600, -1, 8, 1, FC_NONE, TERM_EPARITY},
                      BadValues{"Databits4", 9600, P_NONE, 4, 1, FC_NONE, TERM_EDATABITS},
                      BadValues{"Databits9", 9600, P_NONE, 9, 1, FC_NONE, TERM_EDATABITS},
                      BadValues{"Stopbits3", 9600, P_NONE, 8, 3, FC_NONE, TERM_ESTOPBITS},
                      BadValues{"Stopbits0", 9600, P_NONE, 8, 0, FC_NONE, TERM_ESTOPBITS},
                      BadValues{"Flow3", 9600, P_NONE, 8, 1, 3, TERM_EFLOW}),
    [](const ::testing::TestParamInfo<BadValues>& info) { return info.param.name; });

struct GoodValues
{
    const char* name;
    int parity, stopbits, flow, local, hupcl;
    tcflag_t cflagSet, cflagClear, iflagSet, iflagClear;
};

void PrintTo(const GoodValues& v, std::ostream* os)
{
    *os << v.name;
}

class TermSetApplies : public Term, public ::testing::WithParamInterface<GoodValues>
{
};

// Read back through the master. A pseudo-terminal forces CS8 and clears
// PARENB itself, so parity shows only in PARODD and CMSPAR.
TEST_P(TermSetApplies, FlagsReachTheDevice)
{
    const GoodValues& v = GetParam();
    PtyPair pty;
    if (v.cflagSet & CMSPAR) {
        // qemu-user's termios translation drops CMSPAR; real kernels keep it.
        struct termios probe = pty.Attrs();
        probe.c_cflag |= CMSPAR;
        ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &probe), 0);
        if (!(pty.Attrs().c_cflag & CMSPAR)) {
            GTEST_SKIP() << "this platform does not carry CMSPAR through termios";
        }
    }
    ASSERT_EQ(term_set(pty.slave, 1, 9600, v.parity, 8, v.stopbits, v.flow, v.local, v.hupcl), 0);
    ASSERT_EQ(term_apply(pty.slave, 0), 0);
    const struct termios tio = pty.Attrs();
    EXPECT_EQ(tio.c_cflag & v.cflagSet, v.cflagSet);
    EXPECT_EQ(tio.c_cflag & v.cflagClear, 0u);
    EXPECT_EQ(tio.c_iflag & v.iflagSet, v.iflagSet);
    EXPECT_EQ(tio.c_iflag & v.iflagClear, 0u);
}

const tcflag_t kSoft = IXON | IXOFF | IXANY;

INSTANTIATE_TEST_SUITE_P(
    TermSet, TermSetApplies,
    ::testing::Values(
        GoodValues{"PortDefaults", P_NONE, 1, FC_NONE, 1, 1, CLOCAL | HUPCL,
                   PARODD | CMSPAR | CSTOPB | CRTSCTS, 0, kSoft},
        GoodValues{"Even", P_EVEN, 1, FC_NONE, 1, 1, 0, PARODD | CMSPAR, 0, 0},
        GoodValues{"Odd", P_ODD, 1, FC_NONE, 1, 1, PARODD, CMSPAR, 0, 0},
        GoodValues{"Mark", P_MARK, 1, FC_NONE, 1, 1, PARODD | CMSPAR, 0, 0, 0},
        GoodValues{"Space", P_SPACE, 1, FC_NONE, 1, 1, CMSPAR, PARODD, 0, 0},
        GoodValues{"TwoStopBits", P_NONE, 2, FC_NONE, 1, 1, CSTOPB, 0, 0, 0},
        GoodValues{"Hardware", P_NONE, 1, FC_RTSCTS, 1, 1, CRTSCTS, 0, 0, kSoft},
        GoodValues{"Software", P_NONE, 1, FC_XONXOFF, 1, 1, 0, CRTSCTS, IXON | IXOFF, 0},
        GoodValues{"ModemLinesAndHangUp", P_NONE, 1, FC_NONE, 0, 0, 0, CLOCAL | HUPCL, 0, 0}),
    [](const ::testing::TestParamInfo<GoodValues>& info) { return info.param.name; });

TEST_F(Term, BaudRateReadsBackThroughTheLayer)
{
    PtyPair pty;
    for (int rate : {9600, 115200, 1200}) {
        ASSERT_EQ(SetPortLike(pty.slave, rate), 0);
        ASSERT_EQ(term_apply(pty.slave, 0), 0);
        int in = -2;
        EXPECT_EQ(term_get_baudrate(pty.slave, &in), rate);
        EXPECT_EQ(in, rate);  // input speed follows the output speed
        EXPECT_EQ(term_get_baudrate(pty.slave, nullptr), rate);
        const struct termios tio = pty.Attrs();
        EXPECT_EQ(Bspeed(cfgetospeed(&tio)), rate);
    }
}

TEST_F(Term, SpeedOutsideTheTableCannotBeDecoded)
{
    PtyPair pty;
    struct termios tio = pty.Attrs();
    cfsetospeed(&tio, B230400);
    cfsetispeed(&tio, B230400);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &tio), 0);
    ASSERT_EQ(term_add(pty.slave), 0);
    int in = 0;
    EXPECT_EQ(term_get_baudrate(pty.slave, &in), -1);
    EXPECT_EQ(term_errno, TERM_EGETSPEED);
    EXPECT_EQ(in, -1);
}

TEST_F(Term, SettersTouchOnlyTheNextSettings)
{
    PtyPair pty;
    const struct termios before = pty.Attrs();
    ASSERT_EQ(SetPortLike(pty.slave, 115200), 0);
    ASSERT_EQ(term_set_hupcl(pty.slave, 0), 0);
    const struct termios after = pty.Attrs();
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    // Until applied, the current rate is still the one found at registration.
    EXPECT_EQ(term_get_baudrate(pty.slave, nullptr), Bspeed(cfgetospeed(&before)));
}

TEST_F(Term, LaterInitRestoresAndForgets)
{
    PtyPair pty;
    const struct termios initial = pty.Attrs();
    ASSERT_EQ(SetPortLike(pty.slave, 115200), 0);
    ASSERT_EQ(term_apply(pty.slave, 0), 0);
    ASSERT_FALSE(pty.Attrs().c_lflag & ICANON);

    ASSERT_EQ(term_lib_init(), 0);
    const struct termios restored = pty.Attrs();
    EXPECT_EQ(restored.c_lflag, initial.c_lflag);
    EXPECT_EQ(restored.c_cflag, initial.c_cflag);
    EXPECT_EQ(cfgetospeed(&restored), cfgetospeed(&initial));
    EXPECT_EQ(term_find(pty.slave), -1);
    EXPECT_EQ(term_errno, TERM_ENOTFOUND);
}

// A process that exits with a descriptor still registered puts the line
// back as it found it.
TEST_F(Term, ExitRestoresRegisteredDescriptors)
{
    PtyPair pty;
    const struct termios initial = pty.Attrs();
    ASSERT_TRUE(initial.c_lflag & ICANON);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || SetPortLike(fd, 115200) != 0 || term_apply(fd, 0) != 0) {
            _exit(2);
        }
        struct termios raw;
        if (tcgetattr(fd, &raw) != 0 || (raw.c_lflag & ICANON) || cfgetospeed(&raw) != B115200) {
            _exit(3);  // the settings were never made: nothing to restore
        }
        std::exit(0);  // runs the exit-time restore
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const struct termios after = pty.Attrs();
    EXPECT_EQ(after.c_lflag, initial.c_lflag);
    EXPECT_EQ(after.c_iflag, initial.c_iflag);
    EXPECT_EQ(after.c_oflag, initial.c_oflag);
    EXPECT_EQ(after.c_cflag, initial.c_cflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&initial));
}

}  // namespace
