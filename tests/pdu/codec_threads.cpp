#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SmsCharset.h"
#include "SmsEncode.h"
#include "locale_env.h"
#include "ThreadsAtOnce.h"

namespace {

const std::string ZHONG_WEN = "\xE4\xB8\xAD\xE6\x96\x87";  // U+4E2D U+6587
const std::string GRIN = "\xF0\x9F\x98\x80";               // U+1F600

struct ReferenceStart
{
    const char* name;
    bool seeded;
    int16_t last;  // the reference before the first message, when seeded
};

class LongMessagesAtOnce : public ::testing::TestWithParam<ReferenceStart>
{
};

// Ports sending long texts at the same time: every message gets a reference
// of its own, from the very first one of the process (the seeding) on, and
// across the wrap from 255 to 1.
TEST_P(LongMessagesAtOnce, GetDistinctReferences)
{
    bInitSplitIndex = GetParam().seeded;
    g_sSplitIndex = GetParam().last;
    const int kThreads = 8;
    const int kEach = 30;  // 240 messages: fewer than 255, so none may repeat
    std::vector<std::vector<int>> refs(kThreads);
    const std::string text(100, 'a');  // two parts
    OnThreadsAtOnce(kThreads, [&](int t) {
        for (int m = 0; m < kEach; ++m) {
            SM_PARAM p;
            std::memset(&p, 0, sizeof p);
            std::strcpy(p.tpa, "+8613800000000");
            p.tp_dcs = 8;
            p.text = text.c_str();
            std::vector<std::string> parts;
            if (!gsmLongSmsPdu(&p, parts, true) || parts.size() != 2) {
                refs[t].push_back(-1);
                continue;
            }
            // The user-data header of the first part: 8C 05 00 03 <ref>.
            const std::size_t at = parts[0].find("8C050003");
            refs[t].push_back(at == std::string::npos
                                  ? -1
                                  : std::stoi(parts[0].substr(at + 8, 2), nullptr, 16));
        }
    });
    std::set<int> distinct;
    for (const std::vector<int>& r : refs) {
        for (int ref : r) {
            EXPECT_GE(ref, 1);
            EXPECT_LE(ref, 255);
            distinct.insert(ref);
        }
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kEach));
}

INSTANTIATE_TEST_SUITE_P(CodecThreads, LongMessagesAtOnce,
                         ::testing::Values(ReferenceStart{"FirstOfTheProcess", false, 0},
                                           ReferenceStart{"AcrossTheWrap", true, 200}),
                         [](const ::testing::TestParamInfo<ReferenceStart>& info) {
                             return info.param.name;
                         });

class ConversionsAtOnce : public ::testing::TestWithParam<const char*>
{
};

// Conversions on several threads give every thread its own right answer and
// never touch the process locale, which the rest of the program (and other
// threads printing) relies on. The environment counts at the first
// conversion of a process: ctest runs each case in a process of its own.
TEST_P(ConversionsAtOnce, LeaveTheProcessLocaleAlone)
{
    ScopedLocaleEnv env(GetParam());
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    const std::string text = "a" + GRIN + ZHONG_WEN;
    std::wstring wide;
    wide += L'a';
    wide += static_cast<wchar_t>(0x1F600);
    wide += static_cast<wchar_t>(0x4E2D);
    wide += static_cast<wchar_t>(0x6587);
    std::atomic<int> wrong{0};
    OnThreadsAtOnce(8, [&](int) {
        for (int i = 0; i < 200; ++i) {
            unsigned char ucs2[2 * 16];
            const bool right =
                ANSIToUnicode(text) == wide && String2WString(text) == wide &&
                UnicodeToANSI(wide) == text &&
                gsmEncodeUcs2(text.c_str(), ucs2, static_cast<int>(text.size())) == 10 &&
                std::memcmp(ucs2, "\x00\x61\xD8\x3D\xDE\x00\x4E\x2D\x65\x87", 10) == 0;
            if (!right) {
                ++wrong;
            }
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
}

INSTANTIATE_TEST_SUITE_P(CodecThreads, ConversionsAtOnce, ::testing::Values("C.UTF-8", nullptr),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Utf8Locale" : "NoLocale");
                         });

}  // namespace
