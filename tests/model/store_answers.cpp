// Deleting one stored message by its index ("AT+CMGD=<i>") and reading the
// modem's clock ("AT+CCLK?"): verdicts on whole final lines only, and the
// clock as an instant.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

TEST(DeleteByIndex, Command)
{
    CPhoneCardBase phone;
    EXPECT_EQ(phone.GetDelSmsCmd(0), "AT+CMGD=0\r");
    EXPECT_EQ(phone.GetDelSmsCmd(17), "AT+CMGD=17\r");
    EXPECT_EQ(phone.GetDelSmsCmd(-1), "");  // an index the model could not learn
}

struct DeleteCase
{
    const char* name;
    std::string rsp;
    int verdict;
    std::string error;  // the error message after a RSP_ERROR
};

std::ostream& operator<<(std::ostream& os, const DeleteCase& c)
{
    return os << c.name;
}

const DeleteCase DELETE_CASES[] = {
    {"Ok", "\r\nOK\r\n", RSP_OK, ""},
    {"EchoThenOk", "AT+CMGD=3\r\r\nOK\r\n", RSP_OK, ""},
    {"UnsolicitedThenOk", "\r\n+CMTI: \"SM\",4\r\n\r\nOK\r\n", RSP_OK, ""},
    {"NothingAtThatIndex", "\r\n+CMS ERROR: 321\r\n", RSP_ERROR, "+CMS ERROR: 321"},
    {"CmeError", "\r\n+CME ERROR: 10\r\n", RSP_ERROR, "+CME ERROR: 10"},
    {"PlainError", "\r\nERROR\r\n", RSP_ERROR, "ERROR"},
    {"ErrorBeforeOk", "\r\n+CMS ERROR: 500\r\n\r\nOK\r\n", RSP_ERROR, "+CMS ERROR: 500"},
    {"UnterminatedOk", "\r\nOK", RSP_MORE, ""},
    {"UnterminatedError", "\r\n+CMS ERROR: 32", RSP_MORE, ""},
    {"OkInsideAnotherLine", "\r\n+CMTI: \"OK\",4\r\n", RSP_MORE, ""},
    {"Empty", "", RSP_MORE, ""},
};

class DeleteAnswer : public ::testing::TestWithParam<DeleteCase>
{
};

TEST_P(DeleteAnswer, Verdict)
{
    const DeleteCase& c = GetParam();
    CPhoneCardBase phone;
    EXPECT_STREQ(VerdictName(phone.OnDelSmsCmdRsp(c.rsp)), VerdictName(c.verdict));
    if (c.verdict == RSP_ERROR) {
        EXPECT_EQ(phone.GetErrorMessage(), c.error);
    }
}

// Only the line end after the final result line decides.
TEST_P(DeleteAnswer, EveryPrefixReadsMoreUntilTheFinalLineEnds)
{
    const DeleteCase& c = GetParam();
    if (c.verdict == RSP_MORE) {
        return;
    }
    const std::string::size_type decided =
        c.verdict == RSP_ERROR ? c.rsp.find('\n', c.rsp.find(c.error)) + 1 : c.rsp.rfind('\n') + 1;
    for (std::size_t len = 0; len <= c.rsp.size(); ++len) {
        CPhoneCardBase phone;
        EXPECT_STREQ(VerdictName(phone.OnDelSmsCmdRsp(c.rsp.substr(0, len))),
                     VerdictName(len < decided ? RSP_MORE : c.verdict))
            << Visible(c.rsp.substr(0, len));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, DeleteAnswer, ::testing::ValuesIn(DELETE_CASES),
                         [](const ::testing::TestParamInfo<DeleteCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- the modem's clock

struct ClockCase
{
    const char* name;
    std::string rsp;  // or "fixture:<path>"
    int verdict;
    bool hasClock;
    int64_t utc;  // computed apart from this code
};

std::ostream& operator<<(std::ostream& os, const ClockCase& c)
{
    return os << c.name;
}

std::string Answer(const ClockCase& c)
{
    return c.rsp.compare(0, 8, "fixture:") == 0 ? ReadFixture(c.rsp.substr(8)) : c.rsp;
}

const ClockCase CLOCK_CASES[] = {
    // 2024-05-17 08:30:00 at UTC+8 and at UTC-5.
    {"Ec20fEast", "fixture:cclk/CPhone_EC20F.txt", RSP_OK, true, 1715905800},
    {"Me909West", "fixture:cclk/CPhone_TD_ME909.txt", RSP_OK, true, 1715952600},
    {"FourDigitYear", "\r\n+CCLK: \"2024/05/17,08:30:00+32\"\r\n\r\nOK\r\n", RSP_OK, true, 1715905800},
    {"EchoFirst", "AT+CCLK?\r\r\n+CCLK: \"24/05/17,08:30:00+00\"\r\n\r\nOK\r\n", RSP_OK, true, 1715934600},
    // A modem without network time keeps its firmware's date: 1980, not 2080.
    {"FirmwareDate", "\r\n+CCLK: \"80/01/06,00:00:00+00\"\r\n\r\nOK\r\n", RSP_OK, true, 315964800},
    {"NoZone", "\r\n+CCLK: \"24/05/17,08:30:00\"\r\n\r\nOK\r\n", RSP_ERROR, false, 0},
    {"NoSuchDay", "\r\n+CCLK: \"23/02/29,08:30:00+32\"\r\n\r\nOK\r\n", RSP_ERROR, false, 0},
    {"ThreeDigitYear", "\r\n+CCLK: \"024/05/17,08:30:00+32\"\r\n\r\nOK\r\n", RSP_ERROR, false, 0},
    {"NoClockLine", "\r\nOK\r\n", RSP_ERROR, false, 0},
    {"Refused", "\r\n+CME ERROR: 3\r\n", RSP_ERROR, false, 0},
    {"UnterminatedOk", "\r\n+CCLK: \"24/05/17,08:30:00+32\"\r\n\r\nOK", RSP_MORE, false, 0},
};

class ClockAnswer : public ::testing::TestWithParam<ClockCase>
{
};

TEST_P(ClockAnswer, Instant)
{
    const ClockCase& c = GetParam();
    const std::string rsp = Answer(c);
    ASSERT_FALSE(rsp.empty()) << c.rsp;
    CPhoneCardBase phone;
    EXPECT_EQ(phone.GetClockCmd(), "AT+CCLK?\r");
    EXPECT_STREQ(VerdictName(phone.OnGetClockCmdRsp(rsp)), VerdictName(c.verdict));
    int64_t utc = -1;
    EXPECT_EQ(phone.GetModemClock(utc), c.hasClock);
    if (c.hasClock) {
        EXPECT_EQ(utc, c.utc);
    }
}

TEST_P(ClockAnswer, EveryPrefixReadsMoreUntilTheFinalLineEnds)
{
    const ClockCase& c = GetParam();
    const std::string rsp = Answer(c);
    if (c.verdict == RSP_MORE) {
        return;
    }
    for (std::size_t len = 0; len <= rsp.size(); ++len) {
        CPhoneCardBase phone;
        EXPECT_STREQ(VerdictName(phone.OnGetClockCmdRsp(rsp.substr(0, len))),
                     VerdictName(len <= rsp.rfind('\n') ? RSP_MORE : c.verdict))
            << Visible(rsp.substr(0, len));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ClockAnswer, ::testing::ValuesIn(CLOCK_CASES),
                         [](const ::testing::TestParamInfo<ClockCase>& info) {
                             return std::string(info.param.name);
                         });

// A clock is not kept past an answer that gives none.
TEST(ClockAnswer, FailedAnswerForgetsTheClock)
{
    const auto phone = MakeModel(PHONE_TYPE_EC20F);
    ASSERT_EQ(phone->OnGetClockCmdRsp(ReadFixture("cclk/CPhone_EC20F.txt")), RSP_OK);
    ASSERT_EQ(phone->OnGetClockCmdRsp("\r\n+CME ERROR: 3\r\n"), RSP_ERROR);
    int64_t utc = 0;
    EXPECT_FALSE(phone->GetModemClock(utc));
}

}  // namespace
