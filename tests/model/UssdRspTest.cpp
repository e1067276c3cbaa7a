// USSD in the model: the request's answer (the reply seconds after OK, or
// before it; an error line), the character-set query and the commands.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

using modeltest::FixtureTestName;
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

// What a handler kept of the whole answer: the reply, whether one began, the error.
void ExpectRowFields(CPhoneCardBase& model, const RequestRow& row)
{
    EXPECT_EQ(model.GetUssdReply().status, row.status);
    EXPECT_EQ(model.GetUssdReply().text, row.text);
    EXPECT_EQ(model.GetUssdReplyStarted(), row.started);
    EXPECT_EQ(model.GetErrorMessage(), row.errorMessage);
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
    ExpectRowFields(model, row);
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
                      // A modem passing texts through packed: the text as on the line, decoded later.
                      RequestRow{"packed_reply.at", RSP_OK, 0, "C2303BEC1E971B", true, ""},
                      RequestRow{"not_supported.at", RSP_OK, 4, "", true, ""},
                      // Result words inside a menu's text are text.
                      RequestRow{"menu_with_result_words.at", RSP_OK, 1, "1. ERROR\r\nOK\r\n2. x", true, ""},
                      // OK alone: the reply is still to come.
                      RequestRow{"ok_only.at", RSP_MORE, -1, "", false, ""},
                      RequestRow{"cut_short.at", RSP_MORE, -1, "", true, ""},
                      RequestRow{"cme_error.at", RSP_ERROR, -1, "", false, "+CME ERROR: 30"},
                      RequestRow{"error.at", RSP_ERROR, -1, "", false, "ERROR"}),
    [](const ::testing::TestParamInfo<RequestRow>& info) { return FixtureTestName(info.param.fixture); });

TEST(UssdRequestRsp, EveryFixtureIsListed)
{
    const std::set<std::string> listed = {
        "cusd_request/ok_then_reply.at", "cusd_request/reply_then_ok.at", "cusd_request/not_supported.at",
        "cusd_request/packed_reply.at",
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

// The models of Huawei firmware (and TD Tech's, built on it) read AT^USSDMODE.
bool HasUssdMode(int type)
{
    return type == PHONE_TYPE_K2210_ME || type == PHONE_TYPE_MG301_ON || type == PHONE_TYPE_MH5000 ||
           type == PHONE_TYPE_TD_ME909 || type == PHONE_TYPE_TD_ME901 || type == PHONE_TYPE_TD_MH5000;
}

// Only the CDMA model has no USSD; a model takes packed codes only where its
// modem's AT^USSDMODE says so, and the others never ask.
TEST(UssdCommands, EachModelsSupportAndForm)
{
    const std::string packedAnswer = ReadFixture("ussdmode/packed.at");
    for (int type = PHONE_TYPE_BASE; type <= PHONE_TYPE_INCORPORATED_A7600C1_SE; ++type) {
        const auto model = MakeModel(static_cast<PHONE_TYPE_t>(type));
        ASSERT_TRUE(model) << type;
        EXPECT_EQ(model->SupportsUssd(), type != PHONE_TYPE_MC323_ON) << type;
        EXPECT_EQ(model->GetUssdSevenBitForm(), USSD_7BIT_CHARSET) << type;
        EXPECT_EQ(model->GetUssdModeCmd(), HasUssdMode(type) ? "AT^USSDMODE?\r" : "") << type;
        if (HasUssdMode(type)) {
            EXPECT_STREQ(VerdictName(model->OnGetUssdModeCmdRsp(packedAnswer)), "RSP_OK") << type;
            EXPECT_EQ(model->GetUssdSevenBitForm(), USSD_7BIT_PACKED) << type;
            EXPECT_EQ(model->GetUssdRequestCmd("*100#"), "AT+CUSD=1,\"AA180C3602\",15\r") << type;
            // Back to text when the setting says so again.
            EXPECT_STREQ(VerdictName(model->OnGetUssdModeCmdRsp(ReadFixture("ussdmode/plain.at"))), "RSP_OK");
        }
        EXPECT_EQ(model->GetUssdSevenBitForm(), USSD_7BIT_CHARSET) << type;
        EXPECT_EQ(model->GetUssdRequestCmd("*100#"), "AT+CUSD=1,\"*100#\",15\r") << type;
    }
}

struct ModeRow
{
    const char* fixture;  // tests/fixtures/ussdmode/<name>.at, as the Huawei-firmware modems answer
    int verdict;
    UssdSevenBitForm_t form;
};

void PrintTo(const ModeRow& row, std::ostream* os)
{
    *os << row.fixture;
}

class UssdModeRsp : public ::testing::TestWithParam<ModeRow>
{
};

// Every model that asks reads the answer alike; no prefix before the final
// line decides, and the form stays the modem's plain one until then.
TEST_P(UssdModeRsp, WholeAnswerAndEveryPrefix)
{
    const ModeRow& row = GetParam();
    const std::string answer = ReadFixture(std::string("ussdmode/") + row.fixture);
    ASSERT_FALSE(answer.empty()) << row.fixture;
    for (int type = PHONE_TYPE_BASE; type <= PHONE_TYPE_INCORPORATED_A7600C1_SE; ++type) {
        if (!HasUssdMode(type)) {
            continue;
        }
        const auto model = MakeModel(static_cast<PHONE_TYPE_t>(type));
        EXPECT_STREQ(VerdictName(model->OnGetUssdModeCmdRsp(answer)), VerdictName(row.verdict)) << type;
        EXPECT_EQ(model->GetUssdSevenBitForm(), row.form) << type;
        const std::size_t finalLine = answer.rfind("\r\n", answer.size() - 3);
        for (std::size_t n = 0; n < answer.size(); ++n) {
            const auto fresh = MakeModel(static_cast<PHONE_TYPE_t>(type));
            const std::string prefix = answer.substr(0, n);
            const int verdict = fresh->OnGetUssdModeCmdRsp(prefix);
            if (n < finalLine + 4) {
                EXPECT_STREQ(VerdictName(verdict), "RSP_MORE") << type << Visible(prefix);
                EXPECT_EQ(fresh->GetUssdSevenBitForm(), USSD_7BIT_CHARSET) << type << Visible(prefix);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, UssdModeRsp,
                         ::testing::Values(ModeRow{"packed.at", RSP_OK, USSD_7BIT_PACKED},
                                           ModeRow{"plain.at", RSP_OK, USSD_7BIT_CHARSET},
                                           ModeRow{"report_before.at", RSP_OK, USSD_7BIT_PACKED},
                                           // A value it does not know changes nothing.
                                           ModeRow{"unknown_value.at", RSP_OK, USSD_7BIT_CHARSET},
                                           // Firmware without the command: the text form.
                                           ModeRow{"no_such_command.at", RSP_ERROR, USSD_7BIT_CHARSET},
                                           ModeRow{"command_not_support.at", RSP_ERROR, USSD_7BIT_CHARSET}),
                         [](const ::testing::TestParamInfo<ModeRow>& info) { return FixtureTestName(info.param.fixture); });

// Rows of tests/fixtures/cusd_elsewhere/<name>.at: what another AT port of
// the modem brought; never an error message.
class UssdReplyElsewhereRsp : public ::testing::TestWithParam<RequestRow>
{
};

// Only a whole "+CUSD:" reply answers from another port: its unsolicited
// lines and result words (no command of ours went there) are nothing, and a
// reply is taken only once its line has ended.
TEST_P(UssdReplyElsewhereRsp, WholeInputAndEveryPrefix)
{
    const RequestRow& row = GetParam();
    const std::string input = ReadFixture(std::string("cusd_elsewhere/") + row.fixture);
    ASSERT_FALSE(input.empty()) << row.fixture;
    CPhoneCardBase model;
    ASSERT_STREQ(VerdictName(model.OnUssdReplyElsewhereRsp(input)), VerdictName(row.verdict));
    ExpectRowFields(model, row);
    for (std::size_t n = 0; n + 1 < input.size(); ++n) {
        CPhoneCardBase fresh;
        const std::string prefix = input.substr(0, n);
        EXPECT_STREQ(VerdictName(fresh.OnUssdReplyElsewhereRsp(prefix)), "RSP_MORE") << Visible(prefix);
        EXPECT_EQ(fresh.GetUssdReply().status, -1) << Visible(prefix);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, UssdReplyElsewhereRsp,
                         ::testing::Values(RequestRow{"after_report.at", RSP_OK, 0, "Balance 12.30", true, ""},
                                           RequestRow{"packed.at", RSP_OK, 0, "C2303BEC1E971B", true, ""},
                                           RequestRow{"menu.at", RSP_OK, 1, "1. Balance\r\n2. Data", true, ""},
                                           RequestRow{"unrelated_lines.at", RSP_MORE, -1, "", false, ""},
                                           RequestRow{"cut_short.at", RSP_MORE, -1, "", true, ""}),
                         [](const ::testing::TestParamInfo<RequestRow>& info) { return FixtureTestName(info.param.fixture); });

TEST(UssdModeAndElsewhere, EveryFixtureIsListed)
{
    const std::set<std::string> listed = {
        "ussdmode/packed.at",           "ussdmode/plain.at",          "ussdmode/report_before.at",
        "ussdmode/unknown_value.at",    "ussdmode/no_such_command.at", "ussdmode/command_not_support.at", "cusd_elsewhere/after_report.at",
        "cusd_elsewhere/packed.at",     "cusd_elsewhere/menu.at",     "cusd_elsewhere/unrelated_lines.at",
        "cusd_elsewhere/cut_short.at"};
    EXPECT_EQ(modeltest::UnlistedFixtures(listed, {"ussdmode", "cusd_elsewhere"}), std::vector<std::string>());
}

}  // namespace
