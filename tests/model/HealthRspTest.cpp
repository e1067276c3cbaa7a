// The health answers of the models: SIM state, the three registrations,
// radio, operator and character set, from transcripts (whole and every
// prefix) and hand-made answers; and the consolidation of the registrations
// over every combination of answers.
#include <gtest/gtest.h>

#include <set>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

enum class Query { SimState, CsReg, PsReg, EpsReg, Radio, Operator, Charset };

// The operator name in UCS-2 that the character-set rows decode ("中国移动").
const char* const kUcs2Operator = "\r\n+COPS: 0,0,\"4E2D56FD79FB52A8\",7\r\n\r\nOK\r\n";

const char* const kRegNames[] = {"no answer", "unknown", "not registered", "denied", "searching", "roaming", "home"};

int Feed(CPhoneCardBase& model, Query query, const std::string& answer)
{
    switch (query) {
    case Query::SimState: return model.OnGetSimStateCmdRsp(answer);
    case Query::CsReg:
    case Query::PsReg:
    case Query::EpsReg:
        model.GetRegistrationCmd(static_cast<RegDomain_t>(static_cast<int>(query) - static_cast<int>(Query::CsReg)));
        return model.OnGetRegistrationCmdRsp(answer);
    case Query::Radio: return model.OnGetRadioStateCmdRsp(answer);
    case Query::Operator: return model.OnGetOperatorCmdRsp(answer);
    case Query::Charset:
        model.OnGetOperatorCmdRsp(kUcs2Operator);
        return model.OnGetCharsetCmdRsp(answer);
    }
    return -1;
}

// What the query left in the model's health, as one text.
std::string Value(const CPhoneCardBase& model, Query query)
{
    const ModemHealth_t& h = model.GetHealth();
    switch (query) {
    case Query::SimState: return std::string(SimStateName(h.sim.state)) + (h.sim.lock.empty() ? "" : "/" + h.sim.lock);
    case Query::CsReg:
    case Query::PsReg:
    case Query::EpsReg: {
        const RegDomainHealth_t& d = h.domains[static_cast<int>(query) - static_cast<int>(Query::CsReg)];
        return std::string(kRegNames[d.state]) + (d.act < 0 ? "" : "/" + std::to_string(d.act));
    }
    case Query::Radio: return h.radioOff ? "off" : "on";
    case Query::Operator:
    case Query::Charset:
        return h.operatorKnown ? h.operatorName + "/" + std::to_string(h.operatorAct) : std::string("none");
    }
    return "?";
}

struct FixtureRow
{
    const char* fixture;  // tests/fixtures/<command>/<model>.txt
    PHONE_TYPE_t type;
    Query query;
    int verdict;
    std::string value;
    std::string decidedBy;  // the verdict is final once the answer holds this text
};

void PrintTo(const FixtureRow& row, std::ostream* os)
{
    *os << row.fixture;
}

const FixtureRow kFixtureRows[] = {
    {"cpin/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::SimState, RSP_OK, "ready", "OK\r\n"},
    {"cpin/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Query::SimState, RSP_OK, "PIN needed/SIM PIN", "OK\r\n"},
    {"cpin/CPhone_K2210_NC5.txt", PHONE_TYPE_K2210_NC5, Query::SimState, RSP_OK, "locked/PH-NET PIN", "OK\r\n"},
    // An unsolicited ^SIMST line first, then the error number.
    {"cpin/CPhone_TD_ME909.txt", PHONE_TYPE_TD_ME909, Query::SimState, RSP_ERROR, "absent", "10\r\n"},
    // Errors in words, as a modem left at AT+CMEE=2 gives them.
    {"cpin/CPhone_INCORPORATED_A7600C1_SE.txt", PHONE_TYPE_INCORPORATED_A7600C1_SE, Query::SimState, RSP_ERROR,
     "absent", "inserted\r\n"},
    {"cpin/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Query::SimState, RSP_OK, "ready", "OK\r\n"},
    {"creg/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::CsReg, RSP_OK, "home", "OK\r\n"},
    {"creg/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Query::CsReg, RSP_OK, "roaming/2", "OK\r\n"},
    // The unsolicited forms before and after the solicited one are passed over.
    {"creg/CPhone_TD_ME909.txt", PHONE_TYPE_TD_ME909, Query::CsReg, RSP_OK, "denied", "OK\r\n"},
    {"creg/CPhone_MC323_ON.txt", PHONE_TYPE_MC323_ON, Query::CsReg, RSP_OK, "home", "OK\r\n"},
    {"cgreg/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::PsReg, RSP_OK, "searching", "OK\r\n"},
    {"cgreg/CPhone_M26.txt", PHONE_TYPE_M26, Query::PsReg, RSP_OK, "home", "OK\r\n"},
    {"cereg/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::EpsReg, RSP_OK, "home/7", "OK\r\n"},
    {"cereg/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Query::EpsReg, RSP_ERROR, "no answer", "ERROR\r\n"},
    {"cops/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::Operator, RSP_OK, "CHINA MOBILE/7", "OK\r\n"},
    {"cops/CPhone_K2210_NC5.txt", PHONE_TYPE_K2210_NC5, Query::Operator, RSP_OK, "46001/2", "OK\r\n"},
    {"cops/CPhone_INCORPORATED_A7600C1_SE.txt", PHONE_TYPE_INCORPORATED_A7600C1_SE, Query::Operator, RSP_OK,
     "4E2D56FD79FB52A8/7", "OK\r\n"},
    {"cops/CPhone_M26.txt", PHONE_TYPE_M26, Query::Operator, RSP_OK, "none", "OK\r\n"},
    {"cfun/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::Radio, RSP_OK, "off", "OK\r\n"},
    {"cfun/CPhone_K2210_ME.txt", PHONE_TYPE_K2210_ME, Query::Radio, RSP_OK, "on", "OK\r\n"},
    {"cscs/CPhone_INCORPORATED_A7600C1_SE.txt", PHONE_TYPE_INCORPORATED_A7600C1_SE, Query::Charset, RSP_OK,
     "\xE4\xB8\xAD\xE5\x9B\xBD\xE7\xA7\xBB\xE5\x8A\xA8/7", "OK\r\n"},
    // In the GSM character set a name of hex digits is the name.
    {"cscs/CPhone_EC20F.txt", PHONE_TYPE_EC20F, Query::Charset, RSP_OK, "4E2D56FD79FB52A8/7", "OK\r\n"},
};

class HealthFixture : public ::testing::TestWithParam<FixtureRow>
{
};

TEST_P(HealthFixture, WholeAnswer)
{
    const FixtureRow& row = GetParam();
    const std::string answer = ReadFixture(row.fixture);
    ASSERT_FALSE(answer.empty()) << "missing fixture " << row.fixture;
    auto model = MakeModel(row.type);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(VerdictName(Feed(*model, row.query, answer)), VerdictName(row.verdict));
    EXPECT_EQ(Value(*model, row.query), row.value);
}

TEST_P(HealthFixture, EveryPrefixBeforeTheDecidingTextReadsMore)
{
    const FixtureRow& row = GetParam();
    const std::string answer = ReadFixture(row.fixture);
    ASSERT_FALSE(answer.empty()) << "missing fixture " << row.fixture;
    const std::string::size_type at = answer.rfind(row.decidedBy);
    ASSERT_NE(at, std::string::npos) << Visible(row.decidedBy);
    const std::size_t decidedFrom = at + row.decidedBy.size();
    for (std::size_t len = 0; len <= answer.size(); ++len) {
        const std::string prefix = answer.substr(0, len);
        auto model = MakeModel(row.type);  // fresh, as each exchange starts clean
        const int verdict = Feed(*model, row.query, prefix);
        if (len < decidedFrom) {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(RSP_MORE)) << Visible(prefix);
        } else {
            EXPECT_STREQ(VerdictName(verdict), VerdictName(row.verdict)) << Visible(prefix);
            EXPECT_EQ(Value(*model, row.query), row.value) << Visible(prefix);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transcripts, HealthFixture, ::testing::ValuesIn(kFixtureRows),
                         [](const ::testing::TestParamInfo<FixtureRow>& info) {
                             return modeltest::FixtureTestName(info.param.fixture);
                         });

// A transcript dropped into one of the health folders must say what it proves.
TEST(HealthFixture, EveryTranscriptHasARow)
{
    std::set<std::string> listed;
    for (const FixtureRow& row : kFixtureRows) {
        listed.insert(row.fixture);
    }
    EXPECT_EQ(modeltest::UnlistedFixtures(listed, {"cpin", "creg", "cgreg", "cereg", "cops", "cfun", "cscs"}), std::vector<std::string>());
}

// ---- hand-made answers: refusals, odd framing, answers cut short

struct EdgeRow
{
    const char* name;
    Query query;
    std::string answer;
    int verdict;
    std::string value;
};

void PrintTo(const EdgeRow& row, std::ostream* os)
{
    *os << row.name << " [" << Visible(row.answer) << "]";
}

class HealthEdge : public ::testing::TestWithParam<EdgeRow>
{
};

TEST_P(HealthEdge, VerdictAndValue)
{
    const EdgeRow& row = GetParam();
    CPhoneCardBase model;
    EXPECT_STREQ(VerdictName(Feed(model, row.query, row.answer)), VerdictName(row.verdict));
    EXPECT_EQ(Value(model, row.query), row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HealthEdge,
    ::testing::Values(
        EdgeRow{"EmptyAnswer", Query::SimState, "", RSP_MORE, "unknown"},
        EdgeRow{"CpinWithoutOk", Query::SimState, "\r\n+CPIN: READY\r\n", RSP_MORE, "unknown"},
        EdgeRow{"CpinOkUnterminated", Query::SimState, "\r\n+CPIN: READY\r\n\r\nOK", RSP_MORE, "unknown"},
        EdgeRow{"CpinPin2CountsAsReady", Query::SimState, "\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n", RSP_OK, "ready"},
        EdgeRow{"CpinPuk2CountsAsReady", Query::SimState, "\r\n+CPIN: SIM PUK2\r\n\r\nOK\r\n", RSP_OK, "ready"},
        EdgeRow{"CpinPuk", Query::SimState, "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", RSP_OK, "PUK needed/SIM PUK"},
        EdgeRow{"CpinPhSim", Query::SimState, "\r\n+CPIN: PH-SIM PIN\r\n\r\nOK\r\n", RSP_OK, "locked/PH-SIM PIN"},
        EdgeRow{"CpinNotReady", Query::SimState, "\r\n+CPIN: NOT READY\r\n\r\nOK\r\n", RSP_OK, "not ready"},
        EdgeRow{"CpinUnknownWord", Query::SimState, "\r\n+CPIN: BANANA\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"CpinOkWithoutValue", Query::SimState, "\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"CpinBusyNumber", Query::SimState, "\r\n+CME ERROR: 14\r\n", RSP_ERROR, "busy"},
        EdgeRow{"CpinBusyWords", Query::SimState, "\r\n+CME ERROR: SIM busy\r\n", RSP_ERROR, "busy"},
        EdgeRow{"CpinFailure", Query::SimState, "\r\n+CME ERROR: 13\r\n", RSP_ERROR, "failure"},
        EdgeRow{"CpinPinWords", Query::SimState, "\r\n+CME ERROR: SIM PIN required\r\n", RSP_ERROR,
                "PIN needed/SIM PIN"},
        EdgeRow{"CpinPlainError", Query::SimState, "\r\nERROR\r\n", RSP_ERROR, "unknown"},
        EdgeRow{"CpinOtherCme", Query::SimState, "\r\n+CME ERROR: 100\r\n", RSP_ERROR, "unknown"},
        EdgeRow{"RegCutShort", Query::CsReg, "\r\n+CREG: 0,", RSP_MORE, "no answer"},
        EdgeRow{"RegMissingStat", Query::CsReg, "\r\n+CREG: 0\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"RegStatOutOfRange", Query::CsReg, "\r\n+CREG: 0,12\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"RegModeOutOfRange", Query::CsReg, "\r\n+CREG: 6,1\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"RegQuotedStatIsUnsolicited", Query::CsReg, "\r\n+CREG: 1,\"1\"\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"RegEmergencyOnly", Query::EpsReg, "\r\n+CEREG: 0,8\r\n\r\nOK\r\n", RSP_OK, "not registered"},
        EdgeRow{"RegSmsOnlyHome", Query::EpsReg, "\r\n+CEREG: 0,6\r\n\r\nOK\r\n", RSP_OK, "home"},
        EdgeRow{"RegSmsOnlyRoaming", Query::PsReg, "\r\n+CGREG: 0,10\r\n\r\nOK\r\n", RSP_OK, "roaming"},
        EdgeRow{"RegUnsolicitedInside", Query::EpsReg,
                "\r\n+CEREG: 5,\"00C3\",\"0A1B2C3\",7\r\n\r\n+CEREG: 2,5,\"00C3\",\"0A1B2C3\",7\r\n\r\n+CEREG: "
                "5,\"00C3\",\"0A1B2C3\",7\r\n\r\nOK\r\n",
                RSP_OK, "roaming/7"},
        EdgeRow{"RegAnotherDomainsLine", Query::PsReg, "\r\n+CREG: 0,1\r\n\r\nOK\r\n", RSP_OK, "unknown"},
        EdgeRow{"RegCmeError", Query::PsReg, "\r\n+CME ERROR: 4\r\n", RSP_ERROR, "no answer"},
        EdgeRow{"CfunMissingValue", Query::Radio, "\r\n+CFUN:\r\n\r\nOK\r\n", RSP_OK, "on"},
        EdgeRow{"CfunRefused", Query::Radio, "\r\nERROR\r\n", RSP_ERROR, "on"},
        EdgeRow{"CopsNameWithCommaAndQuote", Query::Operator, "\r\n+COPS: 0,0,\"Bob's \"Net\", Inc\",2\r\n\r\nOK\r\n",
                RSP_OK, "Bob's \"Net\", Inc/2"},
        EdgeRow{"CopsWithoutAct", Query::Operator, "\r\n+COPS: 1,1,\"TestNet\"\r\n\r\nOK\r\n", RSP_OK, "TestNet/-1"},
        EdgeRow{"CopsUnquotedNumeric", Query::Operator, "\r\n+COPS: 0,2,46000,7\r\n\r\nOK\r\n", RSP_OK, "46000/7"},
        EdgeRow{"CopsNonAsciiBytes", Query::Operator, "\r\n+COPS: 0,0,\"Caf\xE9\",0\r\n\r\nOK\r\n", RSP_OK,
                "Caf\xE9/0"},
        EdgeRow{"CopsBadFormat", Query::Operator, "\r\n+COPS: 0,7,\"X\",0\r\n\r\nOK\r\n", RSP_OK, "none"},
        EdgeRow{"CopsCutShort", Query::Operator, "\r\n+COPS: 0,0,\"CHI", RSP_MORE, "none"},
        EdgeRow{"CopsRefused", Query::Operator, "\r\n+CME ERROR: 30\r\n", RSP_ERROR, "none"},
        EdgeRow{"CharsetRefused", Query::Charset, "\r\nERROR\r\n", RSP_ERROR, "4E2D56FD79FB52A8/7"}));

// The CDMA model asks only what applies to it; the rest stays unknown.
TEST(HealthCommands, TheCdmaModelAsksOnlyWhatApplies)
{
    auto cdma = MakeModel(PHONE_TYPE_MC323_ON);
    EXPECT_EQ(cdma->GetSimStateCmd(), "AT+CPIN?\r");
    EXPECT_EQ(cdma->GetRegistrationCmd(REG_DOMAIN_CS), "AT+CREG?\r");
    EXPECT_EQ(cdma->GetRegistrationCmd(REG_DOMAIN_PS), "");
    EXPECT_EQ(cdma->GetRegistrationCmd(REG_DOMAIN_EPS), "");
    EXPECT_EQ(cdma->GetOperatorFormatCmd(), "");
    EXPECT_EQ(cdma->GetOperatorCmd(), "");
    CPhoneCardBase base;
    EXPECT_EQ(base.GetRegistrationCmd(REG_DOMAIN_PS), "AT+CGREG?\r");
    EXPECT_EQ(base.GetRegistrationCmd(REG_DOMAIN_EPS), "AT+CEREG?\r");
    EXPECT_EQ(base.GetOperatorFormatCmd(), "AT+COPS=3,0\r");
    EXPECT_EQ(base.GetReportErrorsCmd(), "AT+CMEE=1\r");
    EXPECT_EQ(base.GetRegistrationCmd(REG_DOMAIN_COUNT), "");
}

// The character set is asked only about a name that may be UCS-2 hex.
TEST(HealthCommands, CharsetIsAskedOnlyForAHexName)
{
    const struct
    {
        const char* cops;
        bool asks;
    } rows[] = {
        {"\r\n+COPS: 0,0,\"4E2D56FD79FB52A8\",7\r\n\r\nOK\r\n", true},
        {"\r\n+COPS: 0,1,\"0054\",7\r\n\r\nOK\r\n", true},
        {"\r\n+COPS: 0,2,\"4600\",7\r\n\r\nOK\r\n", false},  // numeric: never UCS-2
        {"\r\n+COPS: 0,0,\"CHINA MOBILE\",7\r\n\r\nOK\r\n", false},
        {"\r\n+COPS: 0\r\n\r\nOK\r\n", false},
    };
    for (const auto& row : rows) {
        CPhoneCardBase model;
        model.OnGetOperatorCmdRsp(row.cops);
        EXPECT_EQ(model.GetCharsetCmd(), row.asks ? "AT+CSCS?\r" : "") << Visible(row.cops);
    }
    // Decoded once: not asked again.
    CPhoneCardBase model;
    model.OnGetOperatorCmdRsp(rows[0].cops);
    model.OnGetCharsetCmdRsp("\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n");
    EXPECT_EQ(model.GetCharsetCmd(), "");
}

// ---- consolidation: every combination of the three domains' answers

// What one <stat> means, as the registration rules word it; "refused" for an ERROR.
struct StatAnswer
{
    const char* stat;  // nullptr: the query is refused
    RegState_t state;
};
const StatAnswer kStatAnswers[] = {
    {"0", REG_STATE_NOT_REGISTERED}, {"1", REG_STATE_HOME},           {"2", REG_STATE_SEARCHING},
    {"3", REG_STATE_DENIED},         {"4", REG_STATE_UNKNOWN},        {"5", REG_STATE_ROAMING},
    {"6", REG_STATE_HOME},           {"7", REG_STATE_ROAMING},        {"8", REG_STATE_NOT_REGISTERED},
    {"9", REG_STATE_HOME},           {"10", REG_STATE_ROAMING},       {"12", REG_STATE_UNKNOWN},
    {"01", REG_STATE_HOME},          {nullptr, REG_STATE_NO_ANSWER},
};

// The rule as it is worded: home or roaming when any domain says so (home
// first), else searching, else denied, else not registered, else unknown;
// a refused query does not count.
RegState_t ExpectedConsolidation(const RegState_t (&states)[3])
{
    const RegState_t order[] = {REG_STATE_HOME,   REG_STATE_ROAMING,        REG_STATE_SEARCHING,
                                REG_STATE_DENIED, REG_STATE_NOT_REGISTERED, REG_STATE_UNKNOWN};
    for (const RegState_t wanted : order) {
        for (const RegState_t state : states) {
            if (state == wanted) {
                return wanted;
            }
        }
    }
    return REG_STATE_NO_ANSWER;
}

TEST(HealthConsolidation, EveryCombinationOfTheThreeDomains)
{
    const char* const tokens[] = {"+CREG: ", "+CGREG: ", "+CEREG: "};
    const std::size_t n = sizeof(kStatAnswers) / sizeof(kStatAnswers[0]);
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            for (std::size_t c = 0; c < n; ++c) {
                const StatAnswer* answers[] = {&kStatAnswers[a], &kStatAnswers[b], &kStatAnswers[c]};
                CPhoneCardBase model;
                RegState_t states[3];
                std::string trace;
                for (int d = 0; d < 3; ++d) {
                    const std::string answer = answers[d]->stat == nullptr
                                                   ? std::string("\r\nERROR\r\n")
                                                   : "\r\n" + std::string(tokens[d]) + "0," + answers[d]->stat +
                                                         "\r\n\r\nOK\r\n";
                    model.GetRegistrationCmd(static_cast<RegDomain_t>(d));
                    model.OnGetRegistrationCmdRsp(answer);
                    states[d] = answers[d]->state;
                    trace += Visible(answer) + " ";
                }
                EXPECT_EQ(kRegNames[ConsolidatedRegistration(model.GetHealth())],
                          std::string(kRegNames[ExpectedConsolidation(states)]))
                    << trace;
            }
        }
    }
}

// LTE-only SIMs: +CREG says denied while +CEREG says registered.
TEST(HealthConsolidation, LteOnlySimIsRegistered)
{
    CPhoneCardBase model;
    model.GetRegistrationCmd(REG_DOMAIN_CS);
    model.OnGetRegistrationCmdRsp("\r\n+CREG: 0,3\r\n\r\nOK\r\n");
    model.GetRegistrationCmd(REG_DOMAIN_EPS);
    model.OnGetRegistrationCmdRsp("\r\n+CEREG: 2,1,\"1A2B\",\"0A1B2C3\",7\r\n\r\nOK\r\n");
    EXPECT_EQ(ConsolidatedRegistration(model.GetHealth()), REG_STATE_HOME);
    EXPECT_STREQ(TechnologyName(HealthTechnology(model.GetHealth())), "lte");
}

}  // namespace

namespace {

// A radio reported off says so only while nothing is registered: a modem
// that registered anyway (its CFUN answer stale or odd) is told as registered.
TEST(HealthConsolidation, RegistrationNameTellsTheRadioOff)
{
    const struct
    {
        bool radioOff;
        RegState_t cs;
        RegState_t eps;
        const char* name;
    } rows[] = {
        {false, REG_STATE_HOME, REG_STATE_NO_ANSWER, "home"},
        {true, REG_STATE_HOME, REG_STATE_NO_ANSWER, "home"},
        {true, REG_STATE_DENIED, REG_STATE_ROAMING, "roaming"},
        {true, REG_STATE_NOT_REGISTERED, REG_STATE_NO_ANSWER, "radio off"},
        {true, REG_STATE_SEARCHING, REG_STATE_DENIED, "radio off"},
        {true, REG_STATE_NO_ANSWER, REG_STATE_NO_ANSWER, "radio off"},
        {false, REG_STATE_DENIED, REG_STATE_NOT_REGISTERED, "denied"},
        {false, REG_STATE_NO_ANSWER, REG_STATE_NO_ANSWER, "unknown"},
    };
    for (const auto& row : rows) {
        ModemHealth_t health;
        health.radioOff = row.radioOff;
        health.domains[REG_DOMAIN_CS].state = row.cs;
        health.domains[REG_DOMAIN_EPS].state = row.eps;
        EXPECT_STREQ(RegistrationName(health), row.name) << row.radioOff << " " << row.cs << " " << row.eps;
        EXPECT_EQ(RadioOffUnregistered(health), std::string(row.name) == "radio off");
    }
}

}  // namespace
