#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "StringUtil.h"

using Pieces = std::vector<std::string>;

namespace {

struct SplitCase
{
    const char* name;
    std::string text;
    Pieces expected;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitStringToArrayCase : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitStringToArrayCase, Lines)
{
    EXPECT_EQ(SplitStringToArray(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    SplitStringToArray, SplitStringToArrayCase,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"UnterminatedLineIsDropped", "abc", {}},
        SplitCase{"TerminatedLine", "abc\n", {"abc"}},
        SplitCase{"CarriageReturnStaysWithItsPiece",
                  "\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
                  {"\r", "+CSQ: 20,99\r", "\r", "OK\r"}},
        SplitCase{"EmptyPiecesSkipped", "\n\n\nOK\n\n", {"OK"}},
        SplitCase{"LastLineStillArriving", "+CSQ: 20,99\nO", {"+CSQ: 20,99"}},
        SplitCase{"NulBytesKept", std::string("a\0b\n", 4), {std::string("a\0b", 3)}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

class SplitStringByCharCase : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitStringByCharCase, Fields)
{
    EXPECT_EQ(SplitStringByChar(GetParam().text, ','), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    SplitStringByChar, SplitStringByCharCase,
    ::testing::Values(SplitCase{"Empty", "", {}},
                      SplitCase{"NoSeparator", "abc", {"abc"}},
                      SplitCase{"EmptyFieldKept", "a,,b", {"a", "", "b"}},
                      SplitCase{"TrailingSeparator", "a,b,", {"a", "b"}},
                      SplitCase{"LeadingSeparator", ",a", {"", "a"}},
                      SplitCase{"OnlySeparators", ",,", {"", ""}},
                      SplitCase{"PortList", "USB3,USB4", {"USB3", "USB4"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(StringReplaceChar, ReplacesEveryOccurrence)
{
    EXPECT_EQ(StringReplaceChar("a,b,,c", ',', ';'), "a;b;;c");
    EXPECT_EQ(StringReplaceChar("abc", 'x', 'y'), "abc");
    EXPECT_EQ(StringReplaceChar("", 'x', 'y'), "");
}

struct ReplaceCase
{
    std::string text, find, put, expected;
};

TEST(StringReplace, InsertedTextIsNotSearchedAgain)
{
    const ReplaceCase cases[] = {
        {"aaa", "a", "aa", "aaaaaa"},
        {"aaaa", "aa", "b", "bb"},
        {"abcabc", "bc", "", "aa"},
        {"a-b-c", "-", "--", "a--b--c"},
        {"\"x\\\"y\"", "\\\"", "\"", "\"x\"y\""},
        {"xyz", "q", "r", "xyz"},
        {"xyz", "", "r", "xyz"},  // an empty pattern changes nothing
        {"", "a", "b", ""},
    };
    for (const ReplaceCase& c : cases) {
        std::string text = c.text;
        StringReplace(text, c.find, c.put);
        EXPECT_EQ(text, c.expected) << "replace '" << c.find << "' in '" << c.text << "'";
    }
}

struct TrimCase
{
    std::string text;
    char c;
    std::string expected;
};

TEST(TrimChar, OneFromEachEndAndShortStringsUntouched)
{
    const TrimCase cases[] = {
        {"\"x\"", '"', "x"},
        {"\"x", '"', "\"x"},  // shorter than 3: unchanged
        {"\"\"", '"', "\"\""},
        {"\"\"\"", '"', "\""},
        {"\"ab", '"', "ab"},
        {"ab\"", '"', "ab"},
        {"xxxx", 'x', "xx"},
        {"abc", 'z', "abc"},
        {"", 'z', ""},
    };
    for (const TrimCase& c : cases) {
        EXPECT_EQ(TrimChar(c.text, c.c), c.expected) << "'" << c.text << "'";
    }
}

TEST(ToPrintableText, TerminalControlsBecomeQuestionMarks)
{
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"plain text", "plain text"},
        {"two\nlines\tand tab", "two\nlines\tand tab"},
        {"\x1b]0;owned\x07red", "?]0;owned?red"},
        {"\x1b[2J", "?[2J"},
        {"over\rwrite", "over?write"},
        {std::string("nul\0byte", 8), "nul?byte"},
        {"del\x7f", "del?"},
        {"csi\xc2\x9b" "31m", "csi?31m"},
        {"\xc2\xa3 and \xe2\x82\xac stay", "\xc2\xa3 and \xe2\x82\xac stay"},
        {"\xe4\xb8\x8a\xe6\xb5\xb7", "\xe4\xb8\x8a\xe6\xb5\xb7"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToPrintableText(c.text), c.expected);
    }
}

TEST(TrimAllChar, RepeatsUntilStable)
{
    const TrimCase cases[] = {
        {"\n\nOK\n\n", '\n', "OK"},
        // The leading CR stops trimming at the front.
        {"\r\n\r\nOK\r\n", '\n', "\r\n\r\nOK\r"},
        {"xxxxx", 'x', "x"},
        {"xxxx", 'x', "xx"},  // 2 characters are left alone
        {"\"\"13800138000\"\"", '"', "13800138000"},
    };
    for (const TrimCase& c : cases) {
        EXPECT_EQ(TrimAllChar(c.text, c.c), c.expected);
    }
}

TEST(TrimAllChar, StopsAfter101Applications)
{
    const std::string pad(300, 'x');
    const std::string result = TrimAllChar(pad + "a" + pad, 'x');
    // Each application takes one character from each end.
    EXPECT_EQ(result, std::string(300 - 101, 'x') + "a" + std::string(300 - 101, 'x'));
}

// '9' stands for any digit; every other pattern character for itself.
bool FitsPattern(const std::string& text, const std::string& pattern)
{
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

TEST(GetCurTimeStr, LocalTimeInFixedFormat)
{
    auto format = [](std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
        return std::string(buf);
    };
    const std::time_t before = std::time(nullptr);
    const std::string stamp = GetCurTimeStr();
    const std::time_t after = std::time(nullptr);

    EXPECT_TRUE(FitsPattern(stamp, "9999-99-99 99:99:99")) << stamp;
    EXPECT_TRUE(stamp == format(before) || stamp == format(after)) << stamp;
}

}  // namespace
