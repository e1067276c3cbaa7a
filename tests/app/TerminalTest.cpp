// The AT terminal: the markers of a typed line (what is written, whether
// "\r" follows, which answer limit applies), and the rate question for a port
// whose rate detection left unknown, on a pseudo-terminal.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>

#include "../port/PtyPair.h"
#include "CCheckManager.h"
#include "ComPortBase.h"
#include "Lang.h"

namespace {

struct MarkerRow
{
    const char* typed;
    std::string written;
    bool lineEnd;
    bool longWait;
};

// Typed text as C literals: "\\Z" is the two characters the operator types.
const MarkerRow kRows[] = {
    {"AT", "AT", true, false},
    {"", "", true, false},
    {"AT\\N", "AT", false, false},
    {"AT\\n", "AT", false, false},
    {"AT\\N\\n\\N", "AT", false, false},
    {"hello\\Z", "hello\x1a", true, true},
    {"hello\\z", "hello\x1a", true, true},
    {"\\E", "\x1b", true, false},
    {"a\\eb", "a\x1b" "b", true, false},
    {"a\\N\\Zb", "a\x1a" "b", false, true},
    {"\\Z\\z\\E\\e", "\x1a\x1a\x1b\x1b", true, true},
    // Only the four letters are markers; other backslashes go out as typed.
    {"C:\\path\\x", "C:\\path\\x", true, false},
    // A doubled backslash is not an escape: the second one starts the marker.
    {"\\\\Z", "\\\x1a", true, true},
};

class TerminalMarkers : public ::testing::TestWithParam<MarkerRow>
{
};

TEST_P(TerminalMarkers, ReplacedAndFlagged)
{
    const MarkerRow& row = GetParam();
    const CCheckManager::TerminalLine_t line = CCheckManager::PrepareTerminalLine(row.typed);
    EXPECT_EQ(line.text, row.written) << row.typed;
    EXPECT_EQ(line.bLineEnd, row.lineEnd) << row.typed;
    EXPECT_EQ(line.bLongWait, row.longWait) << row.typed;
}

INSTANTIATE_TEST_SUITE_P(Lines, TerminalMarkers, ::testing::ValuesIn(kRows));

// Standard input taken from a string for one scope.
class TypedInput
{
public:
    explicit TypedInput(const std::string& text) : m_text(text), m_old(std::cin.rdbuf(m_text.rdbuf())) {}
    ~TypedInput()
    {
        std::cin.rdbuf(m_old);
        std::cin.clear();
    }

private:
    std::istringstream m_text;
    std::streambuf* m_old;
};

// One table entry "<dir>/ttyT0" (short name "T0") linked to a pseudo-terminal.
class TerminalOnPty
{
public:
    TerminalOnPty()
    {
        EXPECT_FALSE(pty.path.empty());
        EXPECT_EQ(CComPortBase::ResetAllComPort(), 0);
        EXPECT_NE(mkdtemp(m_dir), nullptr);
        link = std::string(m_dir) + "/ttyT0";
        EXPECT_EQ(symlink(pty.path.c_str(), link.c_str()), 0);
    }
    ~TerminalOnPty()
    {
        unlink(link.c_str());
        rmdir(m_dir);
    }

    // OnInterAtData with the entry's rate text and the typed input; returns what it printed.
    std::string Run(const std::string& rateText, const std::string& typed)
    {
        CCheckManager manager;
        Win32::CommInfo entry;
        entry.strPortName = link;
        entry.strBaudRate = rateText;
        manager.m_vecComInfo = {entry};
        TypedInput input(typed);
        ::testing::internal::CaptureStdout();
        manager.OnInterAtData();
        return ::testing::internal::GetCapturedStdout();
    }

    speed_t LineSpeed() const
    {
        const struct termios line = pty.Attrs();
        return cfgetospeed(&line);
    }

    PtyPair pty;
    std::string link;

private:
    char m_dir[32] = "/tmp/tarnel-terminal.XXXXXX";
};

struct RateRow
{
    const char* answers;  // typed after the port line
    int32_t rate;
    speed_t speed;
    size_t questions;
};

const RateRow kRateRows[] = {
    {"\nexit\n", 115200, B115200, 1},
    {"1\nexit\n", 115200, B115200, 1},
    {"2\nexit\n", 9600, B9600, 1},
    {"3\n9600\n\t\n2\nexit\n", 9600, B9600, 4},
    // The end of input takes the default once and leaves the terminal: no loop.
    {"", 115200, B115200, 1},
};

class TerminalRateQuestion : public ::testing::TestWithParam<RateRow>
{
};

TEST_P(TerminalRateQuestion, AskedOnlyForAnUnknownRate)
{
    const RateRow& row = GetParam();
    TerminalOnPty port;
    // "T9" is no port of the table: the port question comes again.
    const std::string out = port.Run("0", std::string("T9\nT0\n") + row.answers);

    std::string expected =
        std::string(Lang::TERM_INPUT_PORT) + Lang::TERM_INPUT_PORT + Lang::TERM_PORT + port.link + "\n";
    for (size_t i = 0; i < row.questions; ++i) {
        expected += Lang::TERM_INPUT_BAUD;
    }
    expected += std::string(Lang::TERM_BAUDRATE) + std::to_string(row.rate) + "\n" + Lang::TERM_OPEN_SUCCESS + "\n" +
                Lang::TERM_INPUT_MESSAGE;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(port.LineSpeed(), row.speed);
    // Neither "exit" nor the end of input reaches the modem.
    EXPECT_EQ(port.pty.Received(1, 100), "");
}

INSTANTIATE_TEST_SUITE_P(Answers, TerminalRateQuestion, ::testing::ValuesIn(kRateRows));

TEST(TerminalRate, DetectedRateIsUsedWithoutAsking)
{
    TerminalOnPty port;
    const std::string out = port.Run("9600", "T0\nEXIT\n");
    EXPECT_EQ(out, std::string(Lang::TERM_INPUT_PORT) + Lang::TERM_PORT + port.link + "\n" + Lang::TERM_BAUDRATE +
                       "9600\n" + Lang::TERM_OPEN_SUCCESS + "\n" + Lang::TERM_INPUT_MESSAGE);
    EXPECT_EQ(port.LineSpeed(), static_cast<speed_t>(B9600));
}

TEST(TerminalRate, EmptyPortLineCancelsWithoutOpening)
{
    TerminalOnPty port;
    EXPECT_EQ(port.Run("9600", "\nT0\n"), Lang::TERM_INPUT_PORT);
}

}  // namespace
