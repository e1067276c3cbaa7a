// USSD in the model: the request's answer (the reply seconds after OK, or
// before it; an error line), the character-set query and the commands.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

struct RequestRow
{
    const char* fixture;  // tests/fixtures/cusd_request/<name>.at: replies of no model in particular
    int verdict;
    int status;        // of the reply, -1 for none
    std::string text;  // of the reply, as on the line
    bool started;      // a "+CUSD:" came, whole or not
    std::string errorMessage;
};

void PrintTo(const RequestRow& row, std::ostream* os)
{
    *os << row.fixture;
}

class UssdRequestRsp : public ::testing::TestWithParam<RequestRow>
{
};

// The whole answer gives the row's verdict; no prefix gives another verdict
// than "read on" or that one, and once given it stays.
TEST_P(UssdRequestRsp, WholeAnswerAndEveryPrefix)
{
    const RequestRow& row = GetParam();
    const std::string answer = ReadFixture(std::string("cusd_request/") + row.fixture);
    ASSERT_FALSE(answer.empty()) << row.fixture;
    CPhoneCardBase model;
    ASSERT_STREQ(VerdictName(model.OnUssdRequestRsp(answer)), VerdictName(row.verdict));
    EXPECT_EQ(model.GetUssdReply().status, row.status);
    EXPECT_EQ(model.GetUssdReply().text, row.text);
    EXPECT_EQ(model.GetUssdReplyStarted(), row.started);
    EXPECT_EQ(model.GetErrorMessage(), row.errorMessage);
    bool decided = false;
    for (std::size_t n = 0; n < answer.size(); ++n) {
        CPhoneCardBase fresh;
        const std::string prefix = answer.substr(0, n);
        const int verdict = fresh.OnUssdRequestRsp(prefix);
        if (decided) {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(row.verdict)) << Visible(prefix);
        } else if (verdict != RSP_MORE) {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(row.verdict)) << Visible(prefix);
            decided = true;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, UssdRequestRsp,
    ::testing::Values(RequestRow{"ok_then_reply.at", RSP_OK, 0, "Balance", true, ""},
                      RequestRow{"reply_then_ok.at", RSP_OK, 0, "first", true, ""},
                      RequestRow{"not_supported.at", RSP_OK, 4, "", true, ""},
                      // Result words inside a menu's text are text.
                      RequestRow{"menu_with_result_words.at", RSP_OK, 1, "1. ERROR\r\nOK\r\n2. x", true, ""},
                      // OK alone: the reply is still to come.
                      RequestRow{"ok_only.at", RSP_MORE, -1, "", false, ""},
                      RequestRow{"cut_short.at", RSP_MORE, -1, "", true, ""},
                      RequestRow{"cme_error.at", RSP_ERROR, -1, "", false, "+CME ERROR: 30"},
                      RequestRow{"error.at", RSP_ERROR, -1, "", false, "ERROR"}),
    [](const ::testing::TestParamInfo<RequestRow>& info) {
        std::string name = info.param.fixture;
        name = name.substr(0, name.find('.'));
        for (char& c : name) {
            c = c == '_' ? 'X' : c;
        }
        return name;
    });

TEST(UssdRequestRsp, EveryFixtureIsListed)
{
    const std::set<std::string> listed = {
        "cusd_request/ok_then_reply.at", "cusd_request/reply_then_ok.at", "cusd_request/not_supported.at",
        "cusd_request/menu_with_result_words.at", "cusd_request/ok_only.at", "cusd_request/cut_short.at",
        "cusd_request/cme_error.at", "cusd_request/error.at"};
    EXPECT_EQ(modeltest::UnlistedFixtures(listed, {"cusd_request"}), std::vector<std::string>());
}

TEST(UssdCharsetRsp, TheNameInForceOrNoneOnError)
{
    const struct
    {
        std::string answer;
        int verdict;
        std::string charset;
    } rows[] = {{"\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n", RSP_OK, "UCS2"},
                {"\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n", RSP_OK, "GSM"},
                {"\r\n+CSCS: \"GSM\"\r\n", RSP_MORE, ""},
                {"\r\nERROR\r\n", RSP_ERROR, ""},
                {"\r\nOK\r\n", RSP_OK, ""}};
    for (const auto& row : rows) {
        CPhoneCardBase model;
        EXPECT_STREQ(VerdictName(model.OnGetUssdCharsetCmdRsp(row.answer)), VerdictName(row.verdict))
            << Visible(row.answer);
        EXPECT_EQ(model.GetUssdCharset(), row.charset) << Visible(row.answer);
    }
}

TEST(UssdCommands, RequestCancelAndCharsetTexts)
{
    CPhoneCardBase model;
    EXPECT_EQ(model.GetUssdRequestCmd("*100#"), "AT+CUSD=1,\"*100#\",15\r");
    EXPECT_EQ(model.GetUssdCancelCmd(), "AT+CUSD=2\r");
    EXPECT_EQ(model.GetUssdCharsetCmd(), "AT+CSCS?\r");
    EXPECT_EQ(model.GetSetCharsetCmd("GSM"), "AT+CSCS=\"GSM\"\r");
    EXPECT_EQ(model.GetSetCharsetCmd("8859-1"), "AT+CSCS=\"8859-1\"\r");
    // A name read back from the modem never ends the quotes or the line.
    EXPECT_EQ(model.GetSetCharsetCmd(""), "");
    EXPECT_EQ(model.GetSetCharsetCmd("GSM\"\r\nAT+CFUN=0"), "");
}

// Only the CDMA model has no USSD; no model takes packed codes unless its maker documents it.
TEST(UssdCommands, EachModelsSupportAndForm)
{
    for (int type = PHONE_TYPE_BASE; type <= PHONE_TYPE_INCORPORATED_A7600C1_SE; ++type) {
        const auto model = MakeModel(static_cast<PHONE_TYPE_t>(type));
        ASSERT_TRUE(model) << type;
        EXPECT_EQ(model->SupportsUssd(), type != PHONE_TYPE_MC323_ON) << type;
        EXPECT_EQ(model->GetUssdSevenBitForm(), USSD_7BIT_CHARSET) << type;
    }
}

}  // namespace
