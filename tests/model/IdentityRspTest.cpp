// Serial number, SIM card number, signal and service-centre answers, per
// model family, from captured transcripts and hand-made edge answers.
#include <gtest/gtest.h>

#include <set>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

enum class Field { SerialNumber, CardNumber, Signal, SmsCenter };

int Feed(CPhoneCardBase& model, Field field, const std::string& answer)
{
    switch (field) {
    case Field::SerialNumber: return model.OnGetIMEI_Cmd(answer);
    case Field::CardNumber: return model.OnGetIMSI_CmdRsp(answer);
    case Field::Signal: return model.OnGetSignalStrengthCmdRsp(answer);
    case Field::SmsCenter: return model.OnGetQuerySmsCenterCmdRsp(answer);
    }
    return -1;
}

std::string Value(const CPhoneCardBase& model, Field field)
{
    switch (field) {
    case Field::SerialNumber: return model.GetSerialNumber();
    case Field::CardNumber: return model.GetSmsCardNumber();
    case Field::Signal: return model.GetSignalStrength();
    case Field::SmsCenter: return model.GetSmsCenter();
    }
    return "?";
}

// ---- captured answers: the whole answer, then every prefix of it

struct FixtureRow
{
    const char* fixture;  // tests/fixtures/<command>/<model>.txt
    PHONE_TYPE_t type;
    Field field;
    int verdict;
    std::string value;
    std::string decidedBy;  // the verdict is final once the answer holds this text
    int emptyVerdict = RSP_MORE;  // on an empty answer (nothing arrived)
};

void PrintTo(const FixtureRow& row, std::ostream* os)
{
    *os << row.fixture;
}

const FixtureRow kFixtureRows[] = {
    {"cgsn/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Field::SerialNumber, RSP_OK, "861234567890123", "OK\r\n"},
    {"cgsn/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Field::SerialNumber, RSP_OK, "867223021234565", "OK\r\n"},
    {"cgsn/CPhone_K2210_NC5.txt", PHONE_TYPE_K2210_NC5, Field::SerialNumber, RSP_OK, "868033041234564", "OK\r\n"},
    {"cgsn/CPhone_TD_ME909.txt", PHONE_TYPE_TD_ME909, Field::SerialNumber, RSP_OK, "867223031234562", "OK\r\n"},
    {"cgsn/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Field::SerialNumber, RSP_OK, "0x80A1B2C3", "OK\r\n"},
    {"ccid/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Field::CardNumber, RSP_OK, "89860012345678901234", "OK\r\n"},
    {"ccid/CPhone_K2210_NC5.txt", PHONE_TYPE_K2210_NC5, Field::CardNumber, RSP_OK, "89860318245678901234", "OK\r\n"},
    {"ccid/CPhone_TD_ME901.txt", PHONE_TYPE_TD_ME901, Field::CardNumber, RSP_OK, "89860117851012345679", "OK\r\n"},
    {"ccid/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Field::CardNumber, RSP_OK, "89860316245678901234", "OK\r\n"},
    // The "^ICCID" models too wait for the final line after the card number line.
    {"iccid/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Field::CardNumber, RSP_OK, "98681031098310024233",
     "OK\r\n"},
    {"iccid/CPhone_MH5000.txt", PHONE_TYPE_MH5000, Field::CardNumber, RSP_OK, "98680021436587092143",
     "OK\r\n"},
    {"iccid/CPhone_TD_ME909.txt", PHONE_TYPE_TD_ME909, Field::CardNumber, RSP_OK, "89860117851012345678",
     "OK\r\n"},
    {"iccid/CPhone_TD_MH5000.txt", PHONE_TYPE_TD_MH5000, Field::CardNumber, RSP_OK, "8986011785101234567F",
     "OK\r\n"},
    {"csq/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Field::Signal, RSP_OK, " 23,99", "OK\r\n"},
    {"csq/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Field::Signal, RSP_OK, " 17,99", "OK\r\n"},
    {"csq/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Field::Signal, RSP_OK, " 99,99", "OK\r\n"},
    // The service centre waits for the final line too: what follows the
    // comma would otherwise be left for the next command.
    {"csca/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Field::SmsCenter, RSP_OK, "+8613800000500", "OK\r\n"},
    {"csca/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Field::SmsCenter, RSP_OK, "+8613800100500", "OK\r\n"},
    {"csca/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Field::SmsCenter, RSP_OK, "", "OK\r\n"},
    // The Yuga family never waits for a silent service centre (deliberately
    // final on an empty answer), but reads a begun answer to its final line.
    {"csca/CPhone_K2210_NC5.txt", PHONE_TYPE_K2210_NC5, Field::SmsCenter, RSP_OK, "", "OK\r\n", RSP_OK},
};

class IdentityFixture : public ::testing::TestWithParam<FixtureRow>
{
};

TEST_P(IdentityFixture, WholeAnswer)
{
    const FixtureRow& row = GetParam();
    const std::string answer = ReadFixture(row.fixture);
    ASSERT_FALSE(answer.empty()) << "missing fixture " << row.fixture;
    auto model = MakeModel(row.type);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(VerdictName(Feed(*model, row.field, answer)), VerdictName(row.verdict));
    EXPECT_EQ(Value(*model, row.field), row.value);
}

TEST_P(IdentityFixture, EveryPrefixBeforeTheDecidingTextReadsMore)
{
    const FixtureRow& row = GetParam();
    const std::string answer = ReadFixture(row.fixture);
    ASSERT_FALSE(answer.empty()) << "missing fixture " << row.fixture;
    const std::string::size_type at = answer.find(row.decidedBy);
    ASSERT_NE(at, std::string::npos) << Visible(row.decidedBy);
    const std::size_t decidedFrom = at + row.decidedBy.size();
    for (std::size_t len = 0; len <= answer.size(); ++len) {
        const std::string prefix = answer.substr(0, len);
        auto model = MakeModel(row.type);  // fresh, as each exchange starts clean
        const int verdict = Feed(*model, row.field, prefix);
        if (len == 0) {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(row.emptyVerdict));
        } else if (len < decidedFrom) {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(RSP_MORE)) << Visible(prefix);
        } else {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(row.verdict)) << Visible(prefix);
            EXPECT_EQ(Value(*model, row.field), row.value) << Visible(prefix);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transcripts, IdentityFixture, ::testing::ValuesIn(kFixtureRows),
                         [](const ::testing::TestParamInfo<FixtureRow>& info) {
                             return modeltest::FixtureTestName(info.param.fixture);
                         });

// A transcript dropped into one of the identity folders must say what it proves.
TEST(IdentityFixture, EveryTranscriptHasARow)
{
    std::set<std::string> listed;
    for (const FixtureRow& row : kFixtureRows) {
        listed.insert(row.fixture);
    }
    EXPECT_EQ(modeltest::UnlistedFixtures(listed, {"cgsn", "ccid", "iccid", "csq", "csca"}), std::vector<std::string>());
}

// ---- hand-made answers: failures, odd framing, answers cut short

struct EdgeRow
{
    const char* name;
    PHONE_TYPE_t type;
    Field field;
    std::string answer;
    int verdict;
    std::string value;
};

void PrintTo(const EdgeRow& row, std::ostream* os)
{
    *os << row.name << " [" << Visible(row.answer) << "]";
}

class IdentityEdge : public ::testing::TestWithParam<EdgeRow>
{
};

TEST_P(IdentityEdge, VerdictAndValue)
{
    const EdgeRow& row = GetParam();
    auto model = MakeModel(row.type);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(VerdictName(Feed(*model, row.field, row.answer)), VerdictName(row.verdict));
    EXPECT_EQ(Value(*model, row.field), row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, IdentityEdge,
    ::testing::Values(
        // serial number
        EdgeRow{"ImeiError", PHONE_TYPE_EC20F, Field::SerialNumber, "\r\nERROR\r\n", RSP_ERROR, ""},
        EdgeRow{"ImeiCmeErrorUnterminated", PHONE_TYPE_EC20F, Field::SerialNumber, "\r\n+CME ERROR", RSP_MORE, ""},
        EdgeRow{"ImeiWithoutOk", PHONE_TYPE_EC20F, Field::SerialNumber, "861234567890123\r\n", RSP_MORE, ""},
        EdgeRow{"ImeiEchoOnly", PHONE_TYPE_EC20F, Field::SerialNumber, "AT+CGSN\r", RSP_MORE, ""},
        EdgeRow{"ImeiEchoThenValue", PHONE_TYPE_BASE, Field::SerialNumber,
                "AT+CGSN\r\r\n861234567890123\r\n\r\nOK\r\n", RSP_OK, "861234567890123"},
        EdgeRow{"ImeiQuotedCgsnForm", PHONE_TYPE_BASE, Field::SerialNumber,
                "\r\n+CGSN: \"861234567890123\"\r\n\r\nOK\r\n", RSP_OK, "861234567890123"},
        EdgeRow{"ImeiSingleQuotes", PHONE_TYPE_BASE, Field::SerialNumber, "\r\n'861234567890123'\r\nOK\r\n", RSP_OK,
                "861234567890123"},
        EdgeRow{"ImeiBareOk", PHONE_TYPE_BASE, Field::SerialNumber, "OK", RSP_MORE, ""},
        EdgeRow{"ImeiBareOkLine", PHONE_TYPE_BASE, Field::SerialNumber, "OK\r\n", RSP_OK, ""},
        EdgeRow{"ImeiOkBeforeEchoIsStale", PHONE_TYPE_BASE, Field::SerialNumber,
                "\r\nOK\r\nAT+CGSN\r\r\n861234567890123\r\n", RSP_MORE, ""},
        EdgeRow{"ImeiUnsolicitedAfterValue", PHONE_TYPE_BASE, Field::SerialNumber,
                "\r\n861234567890123\r\n\r\n+CREG: 1\r\n\r\nOK\r\n", RSP_OK, "861234567890123"},
        // card number, "+CCID:" form
        EdgeRow{"CcidError", PHONE_TYPE_EC20F, Field::CardNumber, "\r\n+CME ERROR: 10\r\n", RSP_ERROR, ""},
        EdgeRow{"CcidOkWithoutToken", PHONE_TYPE_EC20F, Field::CardNumber, "\r\nOK\r\n", RSP_ERROR, ""},
        EdgeRow{"CcidEmpty", PHONE_TYPE_EC20F, Field::CardNumber, "", RSP_MORE, ""},
        EdgeRow{"CcidValueWithoutOk", PHONE_TYPE_EC20F, Field::CardNumber, "\r\n+CCID: 89860012345678901234\r\n",
                RSP_MORE, ""},
        EdgeRow{"CcidOkRightAfterToken", PHONE_TYPE_EC20F, Field::CardNumber, "+CCID:OK", RSP_MORE, ""},
        EdgeRow{"CcidOkThreeAfterToken", PHONE_TYPE_EC20F, Field::CardNumber, "+CCID: 1OK", RSP_MORE, ""},
        EdgeRow{"CcidTokenAlone", PHONE_TYPE_EC20F, Field::CardNumber, "+CCID:\r\nOK\r\n", RSP_OK, ""},
        EdgeRow{"CcidStaleOkBeforeToken", PHONE_TYPE_EC20F, Field::CardNumber, "OK\r\n+CCID: 8986001234", RSP_MORE,
                ""},
        EdgeRow{"CcidEmptyQuotes", PHONE_TYPE_EC20F, Field::CardNumber, "\r\n+CCID: \"\"\r\n\r\nOK\r\n", RSP_OK, ""},
        EdgeRow{"CcidSingleLineEnd", PHONE_TYPE_EC20F, Field::CardNumber,
                "\r\n+CCID: \"89860012345678901234\"\r\nOK\r\n", RSP_OK, "89860012345678901234"},
        // card number, "^ICCID" form
        EdgeRow{"CaretIccidOkOnly", PHONE_TYPE_K2210_ME, Field::CardNumber, "\r\nOK\r\n", RSP_ERROR, ""},
        EdgeRow{"CaretIccidError", PHONE_TYPE_TD_ME909, Field::CardNumber, "\r\n+CME ERROR: 13\r\n", RSP_ERROR, ""},
        EdgeRow{"CaretIccidEmpty", PHONE_TYPE_MH5000, Field::CardNumber, "", RSP_MORE, ""},
        EdgeRow{"CaretIccidOnlyUnsolicited", PHONE_TYPE_MH5000, Field::CardNumber, "\r\n^RSSI: 20\r\n", RSP_MORE, ""},
        EdgeRow{"CaretIccidUnterminatedOk", PHONE_TYPE_TD_MH5000, Field::CardNumber, "\r\nOK", RSP_MORE, ""},
        EdgeRow{"CaretIccidTokenAlone", PHONE_TYPE_K2210_ME, Field::CardNumber, "^ICCID: \r\nOK\r\n", RSP_OK, ""},
        EdgeRow{"CaretIccidShortValue", PHONE_TYPE_K2210_ME, Field::CardNumber, "^ICCID: 8\r\nOK\r\n", RSP_OK, "8"},
        EdgeRow{"CaretIccidValueWithoutOk", PHONE_TYPE_K2210_ME, Field::CardNumber, "^ICCID: 8\r\n", RSP_MORE, ""},
        EdgeRow{"CaretIccidTokenInsideLine", PHONE_TYPE_K2210_ME, Field::CardNumber,
                "\r\n  ^ICCID: 98681031098310024233 \r\n\r\nOK\r\n", RSP_OK, "98681031098310024233"},
        EdgeRow{"CaretIccidEchoIsNoCardLine", PHONE_TYPE_K2210_ME, Field::CardNumber, "AT^ICCID?\r\r\n", RSP_MORE,
                ""},
        // card number, CDMA model: an ERROR counts once its line has ended
        EdgeRow{"Mc323Error", PHONE_TYPE_MC323_ON, Field::CardNumber, "\r\nERROR\r\n", RSP_ERROR, ""},
        EdgeRow{"Mc323ErrorStillArriving", PHONE_TYPE_MC323_ON, Field::CardNumber, "\r\nERROR\r", RSP_MORE, ""},
        EdgeRow{"Mc323OkWithoutToken", PHONE_TYPE_MC323_ON, Field::CardNumber, "\r\nOK\r\n", RSP_ERROR, ""},
        // signal
        EdgeRow{"CsqNoSignalStillAValue", PHONE_TYPE_EC20F, Field::Signal, "\r\n+CSQ: 99,99\r\n\r\nOK\r\n", RSP_OK,
                " 99,99"},
        EdgeRow{"CsqErrorIsNeverFinal", PHONE_TYPE_EC20F, Field::Signal, "\r\n+CME ERROR: 10\r\n", RSP_MORE, ""},
        EdgeRow{"CsqEmpty", PHONE_TYPE_EC20F, Field::Signal, "", RSP_MORE, ""},
        EdgeRow{"CsqRightBeforeOk", PHONE_TYPE_EC20F, Field::Signal, "+CSQ:OK", RSP_MORE, ""},
        EdgeRow{"CsqValueTooCloseToOk", PHONE_TYPE_EC20F, Field::Signal, "+CSQ: 1OK", RSP_MORE, ""},
        EdgeRow{"CsqTokenAlone", PHONE_TYPE_EC20F, Field::Signal, "+CSQ:\r\nOK\r\n", RSP_OK, ""},
        EdgeRow{"CsqStaleOkBeforeToken", PHONE_TYPE_EC20F, Field::Signal, "\r\nOK\r\n\r\n+CSQ: 12,99\r\n", RSP_MORE,
                ""},
        EdgeRow{"CsqSingleLineEnd", PHONE_TYPE_EC20F, Field::Signal, "\r\n+CSQ: 17,99\r\nOK\r\n", RSP_OK, " 17,99"},
        EdgeRow{"CsqUnsolicitedBeforeValue", PHONE_TYPE_K2210_ME, Field::Signal,
                "\r\n^RSSI: 20\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n", RSP_OK, " 20,99"},
        // service centre
        EdgeRow{"CscaEmptyNumber", PHONE_TYPE_EC20F, Field::SmsCenter, "\r\n+CSCA: \"\",129\r\n\r\nOK\r\n", RSP_OK,
                ""},
        EdgeRow{"CscaCommaRightAfterQuote", PHONE_TYPE_EC20F, Field::SmsCenter, "\r\n+CSCA: \",145\r\n\r\nOK\r\n",
                RSP_OK, ""},
        EdgeRow{"CscaWithoutFinalLine", PHONE_TYPE_EC20F, Field::SmsCenter, "\r\n+CSCA: \"+8613800000500\",145\r\n",
                RSP_MORE, ""},
        EdgeRow{"CscaNoCommaStillArriving", PHONE_TYPE_EC20F, Field::SmsCenter, "+CSCA: \"+8613800000500\"",
                RSP_MORE, ""},
        EdgeRow{"CscaLineWithoutComma", PHONE_TYPE_EC20F, Field::SmsCenter,
                "\r\n+CSCA: \"+8613800000500\"\r\n\r\nOK\r\n", RSP_ERROR, ""},
        EdgeRow{"CscaCommaOnLaterLineIgnored", PHONE_TYPE_EC20F, Field::SmsCenter,
                "\r\n+CSCA: \"+8613800000500\"\r\n\r\n+CMTI: \"SM\",3\r\n\r\nOK\r\n", RSP_ERROR, ""},
        EdgeRow{"CscaError", PHONE_TYPE_EC20F, Field::SmsCenter, "\r\n+CMS ERROR: 330\r\n", RSP_ERROR, ""},
        EdgeRow{"CscaUnterminatedOkWaits", PHONE_TYPE_EC20F, Field::SmsCenter, "\r\nOK", RSP_MORE, ""},
        EdgeRow{"CscaUnsolicitedFirst", PHONE_TYPE_TD_ME909, Field::SmsCenter,
                "\r\n^RSSI: 20\r\n\r\n+CSCA: \"+8613800270500\",145\r\n\r\nOK\r\n", RSP_OK, "+8613800270500"},
        // the read-one-at-a-time models go on whatever the centre answers
        EdgeRow{"NeverFailsOnError", PHONE_TYPE_K2210_NC5, Field::SmsCenter, "\r\nERROR\r\n", RSP_OK, ""},
        EdgeRow{"NeverFailsOnSilence", PHONE_TYPE_K2210_RC3, Field::SmsCenter, "", RSP_OK, ""},
        EdgeRow{"NeverFailsOnMissingComma", PHONE_TYPE_K2210_RV3, Field::SmsCenter,
                "\r\n+CSCA: \"+8613800000500\"\r\n\r\nOK\r\n", RSP_OK, ""},
        EdgeRow{"ReadsABegunAnswerToItsEnd", PHONE_TYPE_K2210_RV3, Field::SmsCenter,
                "\r\n+CSCA: \"+8613800000500\"\r\n", RSP_MORE, ""},
        EdgeRow{"NeverFailsStillParses", PHONE_TYPE_MEIGDEV, Field::SmsCenter,
                "\r\n+CSCA: \"+8613800000500\",145\r\n\r\nOK\r\n", RSP_OK, "+8613800000500"},
        // the CDMA model's centre query is a plain AT
        EdgeRow{"Mc323PlainOk", PHONE_TYPE_MC323_ON, Field::SmsCenter, "AT\r\r\nOK\r\n", RSP_OK, ""}),
    [](const ::testing::TestParamInfo<EdgeRow>& info) { return std::string(info.param.name); });

TEST(IdentityEdge, ErrorTextOfServiceCentreFailure)
{
    CPhoneCardBase model;
    ASSERT_EQ(model.OnGetQuerySmsCenterCmdRsp("\r\n+CMS ERROR: 330\r\n"), RSP_ERROR);
    EXPECT_EQ(model.GetErrorMessage(), "+CMS ERROR: 330");
}

// A failed or unanswered signal query clears the signal read before; a
// failed card query after "OK" clears the card number.
TEST(IdentityEdge, FailuresClearEarlierValues)
{
    CPhoneCardBase model;
    ASSERT_EQ(model.OnGetSignalStrengthCmdRsp("\r\n+CSQ: 23,99\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(model.OnGetSignalStrengthCmdRsp("\r\n+CME ERROR: 10\r\n"), RSP_MORE);
    EXPECT_EQ(model.GetSignalStrength(), "");

    ASSERT_EQ(model.OnGetIMSI_CmdRsp("\r\n+CCID: 89860012345678901234\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(model.OnGetIMSI_CmdRsp("\r\nOK\r\n"), RSP_ERROR);
    EXPECT_EQ(model.GetSmsCardNumber(), "");

    // A serial number is only replaced by a finished answer.
    ASSERT_EQ(model.OnGetIMEI_Cmd("\r\n861234567890123\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(model.OnGetIMEI_Cmd("\r\nERROR\r\n"), RSP_ERROR);
    EXPECT_EQ(model.GetSerialNumber(), "861234567890123");
}

// Every byte value in every position: no handler may read outside its input.
TEST(IdentityEdge, ArbitraryBytesStayInBounds)
{
    const std::string pieces[] = {"+CCID:", "^ICCID: ", "+CSQ:", "+CSCA: \"", "OK", "ERROR", "AT+CGSN",
                                  "\r",     "\n",       ",",     "\"",         " ",  "^",     "+"};
    unsigned seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string answer;
        const int count = 1 + round % 7;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            const unsigned pick = (seed >> 16) % (std::size(pieces) + 1);
            answer += pick < std::size(pieces) ? pieces[pick] : std::string(1, static_cast<char>(seed >> 8));
        }
        for (const ModelRow& named : RegisteredModels()) {
            auto model = MakeModel(named.type);
            for (const Field field : {Field::SerialNumber, Field::CardNumber, Field::Signal, Field::SmsCenter}) {
                const int verdict = Feed(*model, field, answer);
                EXPECT_TRUE(verdict == RSP_OK || verdict == RSP_ERROR || verdict == RSP_MORE) << Visible(answer);
            }
        }
    }
}

}  // namespace
