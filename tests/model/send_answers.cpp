// The two answers of each send step: the prompt after "AT+CMGS=<n>" and the
// final answer after the PDU (or the CDMA model's ^HCMGSS / ^HCMGSF).
#include <gtest/gtest.h>

#include "CPhone_MC323_ON.h"
#include "ModelTestSupport.h"

using modeltest::VerdictName;
using modeltest::Visible;

namespace {

struct AnswerRow
{
    const char* name;
    std::string answer;
    int verdict;
    bool retry;                // IsSendPduSmsRetry() afterwards
    std::string errorMessage;  // GetErrorMessage() afterwards ("" when none)
    // Length of the shortest prefix that already gives the final verdict:
    // 0 means only the whole answer may; a prompt is judged before its line ends.
    std::size_t decidedAt = 0;
};

void PrintTo(const AnswerRow& row, std::ostream* os)
{
    *os << row.name << " [" << Visible(row.answer) << "]";
}

std::string RowName(const ::testing::TestParamInfo<AnswerRow>& info)
{
    return info.param.name;
}

// Every prefix before the deciding point must ask for more: a polling loop
// must never judge half a line ("+CMS ERROR: 3" may still become 304 or 330).
template <typename Judge>
void ExpectPrefixesWait(const AnswerRow& row, Judge judge)
{
    const std::size_t decided = row.decidedAt != 0 ? row.decidedAt : row.answer.size();
    for (std::size_t n = 0; n < row.answer.size(); ++n) {
        const int v = judge(row.answer.substr(0, n));
        if (n < decided) {
            EXPECT_STREQ(VerdictName(v), "RSP_MORE") << "prefix " << n << " [" << Visible(row.answer.substr(0, n)) << "]";
        } else {
            EXPECT_STREQ(VerdictName(v), VerdictName(row.verdict)) << "prefix " << n;
        }
    }
}

// ---- AT+CMGS=<n> -> "\r\n> " or "\r\n+CMS ERROR: 304\r\n"

class SendLenAnswer : public ::testing::TestWithParam<AnswerRow>
{
};

TEST_P(SendLenAnswer, VerdictAndErrorText)
{
    const AnswerRow& row = GetParam();
    for (const ModelRow& m : RegisteredModels()) {
        SCOPED_TRACE(m.className);
        auto model = modeltest::MakeModel(m.type);
        EXPECT_STREQ(VerdictName(model->OnSendPduSmsLenCmdRsp(row.answer)), VerdictName(row.verdict));
        EXPECT_EQ(model->GetErrorMessage(), row.errorMessage);
    }
}

TEST_P(SendLenAnswer, PrefixesWaitForTheDecidingLine)
{
    CPhoneCardBase model;
    ExpectPrefixesWait(GetParam(), [&](const std::string& a) { return model.OnSendPduSmsLenCmdRsp(a); });
}

// The length answer says nothing about retrying: the flag of the last
// content answer stays.
TEST_P(SendLenAnswer, LeavesTheRetryFlag)
{
    CPhoneCardBase model;
    ASSERT_EQ(model.OnSendPduSmsContextCmdRsp("\r\n+CMS ERROR: 500\r\n"), RSP_ERROR);
    model.OnSendPduSmsLenCmdRsp(GetParam().answer);
    EXPECT_TRUE(model.IsSendPduSmsRetry());
    ASSERT_EQ(model.OnSendPduSmsContextCmdRsp("\r\n+CMS ERROR: 330\r\n"), RSP_ERROR);
    model.OnSendPduSmsLenCmdRsp(GetParam().answer);
    EXPECT_FALSE(model.IsSendPduSmsRetry());
}

INSTANTIATE_TEST_SUITE_P(
    SendSteps, SendLenAnswer,
    ::testing::Values(
        AnswerRow{"Prompt", "\r\n> ", RSP_OK, false, "", 3},
        AnswerRow{"PromptWithoutBlank", "\r\n>", RSP_OK, false, "", 3},
        AnswerRow{"PromptAfterEcho", "AT+CMGS=20\r\r\n> ", RSP_OK, false, "", 14},
        AnswerRow{"PromptAfterUnsolicited", "\r\n+CMTI: \"SM\",3\r\n\r\n> ", RSP_OK, false, "", 20},
        AnswerRow{"CmsError304", "\r\n+CMS ERROR: 304\r\n", RSP_ERROR, false, "+CMS ERROR: 304"},
        AnswerRow{"BareError", "\r\nERROR\r\n", RSP_ERROR, false, "ERROR"},
        AnswerRow{"CmeError", "\r\n+CME ERROR: 10\r\n", RSP_ERROR, false, "+CME ERROR: 10"},
        AnswerRow{"UnsolicitedOnly", "\r\n+CMTI: \"SM\",3\r\n", RSP_MORE, false, ""},
        // The prompt counts only at a line start.
        AnswerRow{"GreaterThanInsideALine", "\r\n+CUSD: 0,\"a>b\",15\r\n", RSP_MORE, false, ""},
        AnswerRow{"Empty", "", RSP_MORE, false, ""}),
    RowName);

// ---- <pdu> Ctrl-Z -> "\r\n+CMGS: 12\r\n\r\nOK\r\n" or "\r\n+CMS ERROR: <n>\r\n"

class SendContentAnswer : public ::testing::TestWithParam<AnswerRow>
{
};

TEST_P(SendContentAnswer, VerdictRetryAndErrorText)
{
    const AnswerRow& row = GetParam();
    for (const ModelRow& m : RegisteredModels()) {
        if (m.type == PHONE_TYPE_MC323_ON) {
            continue;  // judged by its own rules below
        }
        SCOPED_TRACE(m.className);
        auto model = modeltest::MakeModel(m.type);
        EXPECT_STREQ(VerdictName(model->OnSendPduSmsContextCmdRsp(row.answer)), VerdictName(row.verdict));
        EXPECT_EQ(model->IsSendPduSmsRetry(), row.retry);
        EXPECT_EQ(model->GetErrorMessage(), row.errorMessage);
    }
}

TEST_P(SendContentAnswer, PrefixesWaitForTheDecidingLine)
{
    CPhoneCardBase model;
    ExpectPrefixesWait(GetParam(), [&](const std::string& a) { return model.OnSendPduSmsContextCmdRsp(a); });
}

// Each content answer decides the flag anew.
TEST_P(SendContentAnswer, RetryFlagIsTheLastAnswers)
{
    const AnswerRow& row = GetParam();
    for (const char* before : {"\r\n+CMS ERROR: 512\r\n", "\r\n+CMGS: 1\r\n\r\nOK\r\n"}) {
        CPhoneCardBase model;
        model.OnSendPduSmsContextCmdRsp(before);
        model.OnSendPduSmsContextCmdRsp(row.answer);
        EXPECT_EQ(model.IsSendPduSmsRetry(), row.retry) << before;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SendSteps, SendContentAnswer,
    ::testing::Values(
        AnswerRow{"Sent", "\r\n+CMGS: 12\r\n\r\nOK\r\n", RSP_OK, false, ""},
        AnswerRow{"SentThenUnsolicited", "\r\n+CMGS: 12\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n", RSP_OK, false, "",
                  19},
        AnswerRow{"MessageReferenceOnly", "\r\n+CMGS: 12\r\n", RSP_MORE, false, ""},
        AnswerRow{"Cms500Retryable", "\r\n+CMS ERROR: 500\r\n", RSP_ERROR, true, "+CMS ERROR: 500"},
        AnswerRow{"Cms512Retryable", "\r\n+CMS ERROR: 512\r\n", RSP_ERROR, true, "+CMS ERROR: 512"},
        AnswerRow{"Cms600Retryable", "\r\n+CMS ERROR: 600\r\n", RSP_ERROR, true, "+CMS ERROR: 600"},
        AnswerRow{"Cms499NotRetryable", "\r\n+CMS ERROR: 499\r\n", RSP_ERROR, false, "+CMS ERROR: 499"},
        AnswerRow{"Cms601NotRetryable", "\r\n+CMS ERROR: 601\r\n", RSP_ERROR, false, "+CMS ERROR: 601"},
        AnswerRow{"Cms330NotRetryable", "\r\n+CMS ERROR: 330\r\n", RSP_ERROR, false, "+CMS ERROR: 330"},
        AnswerRow{"BareErrorNotRetryable", "\r\nERROR\r\n", RSP_ERROR, false, "ERROR"},
        AnswerRow{"HugeCodeNotRetryable", "\r\n+CMS ERROR: 99999999999999999999\r\n", RSP_ERROR, false,
                  "+CMS ERROR: 99999999999999999999"},
        AnswerRow{"ErrorBeforeOkWins", "\r\n+CMS ERROR: 500\r\n\r\nOK\r\n", RSP_ERROR, true, "+CMS ERROR: 500",
                  19},
        AnswerRow{"Empty", "", RSP_MORE, false, ""}),
    RowName);

// ---- CDMA: text after AT^HCMGS -> "\r\nOK\r\n\r\n^HCMGSS: 4\r\n" or "^HCMGSF: <err>"

class Mc323SendAnswer : public ::testing::TestWithParam<AnswerRow>
{
};

TEST_P(Mc323SendAnswer, VerdictAndErrorText)
{
    const AnswerRow& row = GetParam();
    CPhone_MC323_ON model;
    EXPECT_STREQ(VerdictName(model.OnSendPduSmsContextCmdRsp(row.answer)), VerdictName(row.verdict));
    EXPECT_FALSE(model.IsSendPduSmsRetry());  // no retry codes on CDMA
    EXPECT_EQ(model.GetErrorMessage(), row.errorMessage);
}

TEST_P(Mc323SendAnswer, PrefixesWaitForTheDecidingLine)
{
    CPhone_MC323_ON model;
    ExpectPrefixesWait(GetParam(), [&](const std::string& a) { return model.OnSendPduSmsContextCmdRsp(a); });
}

INSTANTIATE_TEST_SUITE_P(
    SendSteps, Mc323SendAnswer,
    ::testing::Values(
        AnswerRow{"OkThenSent", "\r\nOK\r\n\r\n^HCMGSS: 4\r\n", RSP_OK, false, ""},
        AnswerRow{"Sent", "\r\n^HCMGSS: 4\r\n", RSP_OK, false, ""},
        AnswerRow{"OkAloneIsNotYetSent", "\r\nOK\r\n", RSP_MORE, false, ""},
        AnswerRow{"Failed", "\r\nOK\r\n\r\n^HCMGSF: 133\r\n", RSP_ERROR, false, "^HCMGSF: 133"},
        AnswerRow{"Error", "\r\n+CMS ERROR: 500\r\n", RSP_ERROR, false, "+CMS ERROR: 500"},
        AnswerRow{"Unsolicited", "\r\n^RSSI: 20\r\n", RSP_MORE, false, ""}),
    RowName);

// The CDMA model's length answer is the base prompt judge.
TEST(SendSteps, Mc323PromptIsTheBaseJudge)
{
    CPhone_MC323_ON model;
    EXPECT_EQ(model.OnSendPduSmsLenCmdRsp("\r\n> "), RSP_OK);
    EXPECT_EQ(model.OnSendPduSmsLenCmdRsp("\r\n+CMS ERROR: 304\r\n"), RSP_ERROR);
}

}  // namespace
