// The markers of a line typed into the AT terminal: what is written, whether
// "\r" follows, and which answer limit applies.

#include <gtest/gtest.h>

#include <string>

#include "CCheckManager.h"

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

}  // namespace
