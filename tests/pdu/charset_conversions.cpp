#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "SmsCharset.h"
#include "SmsEncode.h"
#include "locale_env.h"

namespace {

const std::string ZHONG_WEN = "\xE4\xB8\xAD\xE6\x96\x87";  // U+4E2D U+6587
const std::string GRIN = "\xF0\x9F\x98\x80";               // U+1F600

std::string Hex(const unsigned char* p, int n)
{
    std::string s(2 * static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    gsmBytes2String(p, &s[0], n);
    s.resize(s.size() - 1);
    return s;
}

}  // namespace

// Each environment the program meets: a UTF-8 locale, none at all (cron,
// service managers), and a locale name that is not installed.
class CharsetEnv : public ::testing::TestWithParam<const char*>
{
};

TEST_P(CharsetEnv, ChineseBecomesOneWideCharacterEach)
{
    ScopedLocaleEnv env(GetParam());
    const std::wstring w = ANSIToUnicode(ZHONG_WEN);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(static_cast<uint32_t>(w[0]), 0x4E2Du);
    EXPECT_EQ(static_cast<uint32_t>(w[1]), 0x6587u);
    EXPECT_EQ(String2WString(ZHONG_WEN), w);

    unsigned char out[2 * 6];
    ASSERT_EQ(gsmEncodeUcs2(ZHONG_WEN.c_str(), out, static_cast<int>(ZHONG_WEN.size())), 4);
    EXPECT_EQ(Hex(out, 4), "4E2D6587");
}

TEST_P(CharsetEnv, OutputIsUtf8WhateverTheLocale)
{
    ScopedLocaleEnv env(GetParam());
    EXPECT_EQ(UnicodeToANSI(std::wstring(1, static_cast<wchar_t>(0x4E2D))), "\xE4\xB8\xAD");
    EXPECT_EQ(UnicodeToANSI(std::wstring(1, static_cast<wchar_t>(0x1F600))), GRIN);
    EXPECT_EQ(UnicodeToANSI(L"abc"), "abc");
}

TEST_P(CharsetEnv, InvalidTextFailsVisibly)
{
    ScopedLocaleEnv env(GetParam());
    // Valid in no encoding the program reads: a stray continuation byte, a
    // cut sequence, an overlong NUL, a UTF-8-encoded surrogate.
    for (const std::string& bad : {std::string("a\x80z"), std::string("\xE4\xB8"),
                                  std::string("\xC0\x80x"), std::string("\xED\xA0\x80")}) {
        std::wstring w = L"keep";
        EXPECT_FALSE(MultiByteToWide(bad.c_str(), bad.size(), w)) << Hex(
            reinterpret_cast<const unsigned char*>(bad.data()), static_cast<int>(bad.size()));
        EXPECT_TRUE(w.empty());
        EXPECT_TRUE(ANSIToUnicode(bad).empty());
        EXPECT_TRUE(String2WString(bad).empty());
        unsigned char out[16];
        EXPECT_EQ(gsmEncodeUcs2(bad.c_str(), out, static_cast<int>(bad.size())), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(Charset, CharsetEnv,
                         ::testing::Values("C.UTF-8", nullptr, "en_US.utf8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0   ? "Utf8Locale"
                                                : info.index == 1 ? "NoLocale"
                                                                  : "MissingLocale");
                         });

TEST(Charset, ConversionStopsAtZero)
{
    std::wstring w = L"ab";
    w += L'\0';
    w += L"cd";
    EXPECT_EQ(UnicodeToANSI(w), "ab");
    const std::string s("ab\0cd", 5);
    EXPECT_EQ(ANSIToUnicode(s), L"ab");
    unsigned char out[10];
    EXPECT_EQ(gsmEncodeUcs2(s.c_str(), out, 5), 4);
}

TEST(Charset, SurrogatesFromAUcs2DecoderBecomeOneCharacter)
{
    std::wstring pair;
    pair += static_cast<wchar_t>(0xD83D);
    pair += static_cast<wchar_t>(0xDE00);
    EXPECT_EQ(UnicodeToANSI(pair), GRIN);

    // A lone half or a value outside Unicode costs one replacement
    // character, not the whole text.
    std::wstring lone = L"a";
    lone += static_cast<wchar_t>(0xD83D);
    lone += L"b";
    lone += static_cast<wchar_t>(0xDE00);
    lone += static_cast<wchar_t>(0x110000);
    EXPECT_EQ(UnicodeToANSI(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Charset, Utf8DecodingTable)
{
    struct Row {
        std::string in;
        bool ok;
        std::vector<uint32_t> chars;
    } rows[] = {
        {"", true, {}},
        {"A\x7F", true, {0x41, 0x7F}},
        {"\xC2\x80\xDF\xBF", true, {0x80, 0x7FF}},
        {"\xE0\xA0\x80\xEF\xBF\xBF", true, {0x800, 0xFFFF}},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", true, {0x10000, 0x10FFFF}},
        {"\xC1\xBF", false, {}},              // overlong
        {"\xE0\x9F\xBF", false, {}},          // overlong
        {"\xF0\x8F\xBF\xBF", false, {}},      // overlong
        {"\xF4\x90\x80\x80", false, {}},      // above U+10FFFF
        {"\xF5\x80\x80\x80", false, {}},
        {"\xED\xBF\xBF", false, {}},          // surrogate
        {"\xE4\xB8\x41", false, {}},          // bad continuation
        {"\xF0\x9F\x98", false, {}},          // cut at the end
        {"\xFF", false, {}},
    };
    for (const Row& r : rows) {
        std::wstring w;
        EXPECT_EQ(Utf8ToWide(r.in.c_str(), r.in.size(), w), r.ok) << r.in;
        ASSERT_EQ(w.size(), r.chars.size()) << r.in;
        for (std::size_t i = 0; i < w.size(); ++i) {
            EXPECT_EQ(static_cast<uint32_t>(w[i]), r.chars[i]);
        }
    }
    // The length bound is honoured: a sequence cut by it is invalid.
    std::wstring w;
    EXPECT_FALSE(Utf8ToWide("\xE4\xB8\xAD", 2, w));
    EXPECT_TRUE(Utf8ToWide("ab\xE4\xB8\xAD", 2, w));
    EXPECT_EQ(w, L"ab");
}

TEST(Charset, String2WStringRestoresTheLocale)
{
    ScopedLocaleEnv env("C.UTF-8");
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(String2WString(ZHONG_WEN).size(), 2u);
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
}

TEST(Charset, EmojiCountsAsTwoUnits)
{
    const std::wstring w = ANSIToUnicode("a" + GRIN + ZHONG_WEN);
    EXPECT_EQ(w.size(), 4u);
    EXPECT_EQ(Ucs2UnitCount(w), 5u);

    unsigned char out[2 * 11];
    const std::string text = "a" + GRIN + ZHONG_WEN;
    ASSERT_EQ(gsmEncodeUcs2(text.c_str(), out, static_cast<int>(text.size())), 10);
    EXPECT_EQ(Hex(out, 10), "0061D83DDE004E2D6587");
}

TEST(Charset, EncodeUcs2StaysInsideTwiceTheInput)
{
    // Canaries after the 2 * n octets the contract promises.
    const std::string texts[] = {"abcdef", ZHONG_WEN, GRIN + GRIN, std::string(300, 'x')};
    for (const std::string& t : texts) {
        std::vector<unsigned char> buf(2 * t.size() + 8, 0xEE);
        const int n = gsmEncodeUcs2(t.c_str(), buf.data(), static_cast<int>(t.size()));
        ASSERT_GE(n, 0);
        EXPECT_LE(static_cast<std::size_t>(n), 2 * t.size());
        for (std::size_t i = 2 * t.size(); i < buf.size(); ++i) {
            EXPECT_EQ(buf[i], 0xEE) << t;
        }
    }
    unsigned char none[1] = {0xEE};
    EXPECT_EQ(gsmEncodeUcs2("abc", none, 0), 0);
    EXPECT_EQ(none[0], 0xEE);
}
