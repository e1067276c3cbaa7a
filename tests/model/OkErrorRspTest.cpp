// The generic answer judge and the handlers built on it.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

using modeltest::Visible;
using modeltest::VerdictName;

namespace {

struct JudgeRow
{
    const char* name;
    std::string answer;
    int verdict;
    std::string errorMessage;  // GetErrorMessage() afterwards
};

void PrintTo(const JudgeRow& row, std::ostream* os)
{
    *os << row.name << " [" << Visible(row.answer) << "]";
}

class OkErrorRsp : public ::testing::TestWithParam<JudgeRow>
{
};

TEST_P(OkErrorRsp, VerdictAndErrorText)
{
    const JudgeRow& row = GetParam();
    CPhoneCardBase model;
    EXPECT_STREQ(VerdictName(model.OnOkErrorRsp(row.answer)), VerdictName(row.verdict));
    EXPECT_EQ(model.GetErrorMessage(), row.errorMessage);
}

// Every handler that is "the verdict of OnOkErrorRsp" judges alike.
TEST_P(OkErrorRsp, SameVerdictFromEveryOkErrorHandler)
{
    const JudgeRow& row = GetParam();
    CPhoneCardBase model;
    EXPECT_EQ(model.OnGetAtCmdRsp(row.answer), row.verdict);
    EXPECT_EQ(model.OnSetSmsPduModeCmdRsp(row.answer), row.verdict);
    EXPECT_EQ(model.OnDelAllSmsCmdRsp(row.answer), row.verdict);
    EXPECT_EQ(model.OnGetReadSmsOnMeCmd(row.answer), row.verdict);
    EXPECT_EQ(model.OnGetReadSmsOnSmCmd(row.answer), row.verdict);
    EXPECT_EQ(model.OnInitAtCmdRsp(row.answer), row.verdict);
    EXPECT_EQ(model.OnSetCharsetCmdRsp(row.answer), row.verdict);
    EXPECT_EQ(model.OnUssdCancelRsp(row.answer), row.verdict);
    // The boolean handlers say true exactly for RSP_OK.
    const bool ok = row.verdict == RSP_OK;
    EXPECT_EQ(model.OnCCIDCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnCallCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnHungUpCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnSetSmsModeTextCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnSendSMS_PhoneCmd(row.answer), ok);
    EXPECT_EQ(model.OnSendSMS_ContextCmd(row.answer), ok);
    EXPECT_EQ(model.OnReceiveSmsCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnSetReceiveSmsStoreCmdRsp(row.answer), ok);
    EXPECT_EQ(model.OnQueryReceiveSmsStoreCmdRsp(row.answer), ok);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OkErrorRsp,
    ::testing::Values(
        JudgeRow{"OkLine", "\r\nOK\r\n", RSP_OK, ""},
        JudgeRow{"EchoThenOk", "AT+CMGF=0\r\r\nOK\r\n", RSP_OK, ""},
        JudgeRow{"CmeError", "\r\n+CME ERROR: 10\r\n", RSP_ERROR, "+CME ERROR: 10"},
        JudgeRow{"CmsError", "\r\n+CMS ERROR: 500\r\n", RSP_ERROR, "+CMS ERROR: 500"},
        JudgeRow{"ErrorBeforeOkWins", "\r\nERROR\r\n\r\nOK\r\n", RSP_ERROR, "ERROR"},
        JudgeRow{"OkBeforeErrorWins", "\r\nOK\r\n\r\nERROR\r\n", RSP_OK, ""},
        JudgeRow{"EchoOnly", "AT\r", RSP_MORE, ""},
        JudgeRow{"Empty", "", RSP_MORE, ""},
        JudgeRow{"UnterminatedOkWaits", "\r\nOK", RSP_MORE, ""},
        JudgeRow{"OkWithoutLineFeed", "OK", RSP_MORE, ""},
        JudgeRow{"OkInsideALine", "\r\n+CPMS: \"OK\"\r\n", RSP_MORE, ""},
        JudgeRow{"ErrorInsideALine", "\r\n+COPS: 0,0,\"ERROR NET\"\r\n", RSP_MORE, ""},
        JudgeRow{"UnterminatedErrorWaits", "\r\nERROR", RSP_MORE, ""},
        JudgeRow{"HalfErrorWord", "\r\n+CME ERR", RSP_MORE, ""},
        JudgeRow{"UnsolicitedOnly", "\r\n+CREG: 1\r\n", RSP_MORE, ""},
        JudgeRow{"UnsolicitedThenOk", "\r\n^RSSI: 20\r\n\r\nOK\r\n", RSP_OK, ""},
        JudgeRow{"OkThenUnsolicited", "\r\nOK\r\n\r\n+CREG: 1\r\n", RSP_OK, ""},
        JudgeRow{"UnsolicitedThenError", "\r\n+CREG: 1\r\n\r\n+CME ERROR: 3\r\n", RSP_ERROR, "+CME ERROR: 3"},
        JudgeRow{"LowerCaseIsNotOk", "\r\nok\r\n", RSP_MORE, ""}),
    [](const ::testing::TestParamInfo<JudgeRow>& info) { return std::string(info.param.name); });

// Every prefix before the final line is undecided; the final line decides
// once its line feed is there.
TEST(OkErrorRsp, PrefixesWaitForTheFinalLine)
{
    struct Case
    {
        std::string answer;
        std::string decidedFrom;  // shortest prefix with the final verdict
        int verdict;
    };
    const Case cases[] = {
        {"AT+CPMS=\"SM\"\r\r\n+CPMS: 3,50,3,50,3,50\r\n\r\nOK\r\n",
         "AT+CPMS=\"SM\"\r\r\n+CPMS: 3,50,3,50,3,50\r\n\r\nOK\r\n", RSP_OK},
        {"\r\n^RSSI: 20\r\n\r\n+CME ERROR: 10\r\n", "\r\n^RSSI: 20\r\n\r\n+CME ERROR: 10\r\n", RSP_ERROR},
        {"\r\nERROR\r\n\r\nOK\r\n", "\r\nERROR\r\n", RSP_ERROR},
    };
    for (const Case& c : cases) {
        for (std::size_t len = 0; len <= c.answer.size(); ++len) {
            const std::string prefix = c.answer.substr(0, len);
            CPhoneCardBase model;
            const int expected = len < c.decidedFrom.size() ? RSP_MORE : c.verdict;
            EXPECT_STREQ(VerdictName(model.OnOkErrorRsp(prefix)), VerdictName(expected)) << Visible(prefix);
        }
    }
}

TEST(OkErrorRsp, LaterVerdictKeepsEarlierErrorText)
{
    CPhoneCardBase model;
    ASSERT_EQ(model.OnOkErrorRsp("\r\n+CME ERROR: 10\r\n"), RSP_ERROR);
    ASSERT_EQ(model.OnOkErrorRsp("\r\nOK\r\n"), RSP_OK);
    EXPECT_EQ(model.GetErrorMessage(), "+CME ERROR: 10");
}

// The compatible-mode answer keeps the whole answer as its error text; the
// error text is handed out without its CR LF ends.
TEST(RecvSmsCompatibleModeRsp, Verdicts)
{
    struct Row
    {
        std::string answer;
        int verdict;
        std::string errorMessage;
    };
    const Row rows[] = {
        {"\r\nOK\r\n", RSP_OK, ""},
        {"AT+ATVER=1\r\r\nOK\r\n", RSP_OK, ""},
        {"OK", RSP_MORE, ""},
        {"\r\n+CMS ERROR: 500\r\n", RSP_ERROR, "+CMS ERROR: 500"},
        {"\r\nERROR\r\n\r\n+CREG: 1\r\n", RSP_ERROR, "ERROR\r\n\r\n+CREG: 1"},
        {"\r\nERROR", RSP_MORE, ""},
        {"\r\nER", RSP_MORE, ""},
        {"", RSP_MORE, ""},
        {"\r\n^RSSI: 20\r\n", RSP_MORE, ""},
    };
    for (const Row& row : rows) {
        CPhoneCardBase model;
        EXPECT_STREQ(VerdictName(model.OnGetRecvSmsCompatibleModeCmdRsp(row.answer)), VerdictName(row.verdict))
            << Visible(row.answer);
        EXPECT_EQ(model.GetErrorMessage(), row.errorMessage) << Visible(row.answer);
    }
}

// The Yuga and MeiG modems may answer the PDU-mode command with "+CMGW: <n>".
TEST(PduModeRsp, CmgwAnswerAcceptedOnlyByYugaAndMeigModels)
{
    struct Row
    {
        std::string answer;
        int yugaVerdict;
        int otherVerdict;
    };
    const Row rows[] = {
        {"\r\n+CMGW: 3\r\n", RSP_OK, RSP_MORE},
        {"\r\n+CMGW: 3", RSP_MORE, RSP_MORE},  // the number may still be arriving
        {"\r\nOK\r\n", RSP_OK, RSP_OK},
        {"\r\n+CME ERROR: 3\r\n", RSP_ERROR, RSP_ERROR},
        {"", RSP_MORE, RSP_MORE},
    };
    const PHONE_TYPE_t yuga[] = {PHONE_TYPE_K2210_NC5, PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3, PHONE_TYPE_MEIGDEV};
    const PHONE_TYPE_t others[] = {PHONE_TYPE_BASE, PHONE_TYPE_EC20F, PHONE_TYPE_K2210_ME, PHONE_TYPE_TD_ME909,
                                   PHONE_TYPE_INCORPORATED_A7600C1_SE};
    for (const Row& row : rows) {
        for (const PHONE_TYPE_t type : yuga) {
            EXPECT_STREQ(VerdictName(modeltest::MakeModel(type)->OnSetSmsPduModeCmdRsp(row.answer)),
                         VerdictName(row.yugaVerdict))
                << PhoneTypeToString(type) << " " << Visible(row.answer);
        }
        for (const PHONE_TYPE_t type : others) {
            EXPECT_STREQ(VerdictName(modeltest::MakeModel(type)->OnSetSmsPduModeCmdRsp(row.answer)),
                         VerdictName(row.otherVerdict))
                << PhoneTypeToString(type) << " " << Visible(row.answer);
        }
    }
}

}  // namespace
