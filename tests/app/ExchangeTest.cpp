// The command exchanges of the controller against a scripted peer on a
// pseudo-terminal: which command goes out, which judge sees the answer, when
// the exchange ends, and when nothing may be written at all.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "CommandExchange.h"
#include "ModemPeer.h"
#include "PhoneCardBase.h"
#include "basic.h"

namespace {

// Answers carrying these markers get a final verdict from the scripted judges.
const char* const GOOD_END = "OK-END";
const char* const BAD_END = "ERR-END";
// Neither RSP_OK nor RSP_ERROR: the exchanges must treat it like RSP_MORE.
const int ODD_VERDICT = 7;

// A model whose every command is a recognisable text and whose every judge
// records what it was handed.
class ScriptedModel : public CPhoneCardBase
{
public:
    struct Call
    {
        std::string judge;
        std::string answer;
    };
    std::vector<Call> calls;
    int okAfterCalls = 0;  // > 0: the judge gives RSP_OK on that call, whatever the answer
    int readNextTaken = 0;  // read-next commands built (each takes a pending message)

    std::string GetATCmd() const override { return "X-AT\r"; }
    int OnGetAtCmdRsp(std::string rsp) override { return Judge("AT", rsp); }
    std::string GetAtiCmd() const override { return "X-ATI\r"; }
    int OnGetAtiCmdRsp(std::string rsp) override { return Judge("ATI", rsp); }
    std::string GetIMEI_Cmd() const override { return "X-IMEI\r"; }
    int OnGetIMEI_Cmd(std::string rsp) override { return Judge("IMEI", rsp); }
    std::string GetIMSI_Cmd() const override { return "X-CCID\r"; }
    int OnGetIMSI_CmdRsp(std::string rsp) override { return Judge("CCID", rsp); }
    std::string GetSignalStrengthCmd() const override { return "X-CSQ\r"; }
    int OnGetSignalStrengthCmdRsp(std::string rsp) override { return Judge("CSQ", rsp); }
    std::string GetQuerySmsCenterCmd() const override { return "X-CSCA\r"; }
    int OnGetQuerySmsCenterCmdRsp(std::string rsp) override { return Judge("CSCA", rsp); }
    std::string SetSmsPDUModeCmd() const override { return "X-CMGF\r"; }
    int OnSetSmsPduModeCmdRsp(std::string rsp) override { return Judge("CMGF", rsp); }
    std::string GetRecvSmsCompatibleModeCmd() const override { return "X-COMPAT\r"; }
    int OnGetRecvSmsCompatibleModeCmdRsp(std::string rsp) override { return Judge("COMPAT", rsp); }
    std::string GetReadAllSmsCmd() const override { return "X-CMGL\r"; }
    int OnReadAllSmsCmdRsp(std::string rsp) override { return Judge("CMGL", rsp); }
    std::string GetReadSmsOnMeCmd() const override { return "X-ME\r"; }
    int OnGetReadSmsOnMeCmd(std::string rsp) override { return Judge("ME", rsp); }
    std::string GetReadSmsOnSmCmd() const override { return "X-SM\r"; }
    int OnGetReadSmsOnSmCmd(std::string rsp) override { return Judge("SM", rsp); }
    std::string GetDelAllSmsCmd() const override { return "X-CMGD\r"; }
    int OnDelAllSmsCmdRsp(std::string rsp) override { return Judge("CMGD", rsp); }
    int OnSendPduSmsLenCmdRsp(std::string rsp) override { return Judge("CMGS", rsp); }
    int OnSendPduSmsContextCmdRsp(std::string rsp) override { return Judge("PDU", rsp); }
    std::string GetReadNextSmsCmd() override
    {
        ++readNextTaken;
        return "X-NEXT\r";
    }
    int OnReadNextSmsCmdRsp(std::string rsp) override { return Judge("NEXT", rsp); }
    std::vector<std::string> GetInitAtCmd() const override { return {"X-INIT1\r", "X-INIT2\r", "X-INIT3\r"}; }
    int OnInitAtCmdRsp(std::string rsp) override { return Judge("INIT", rsp); }
    // The delete and clock commands are the base class's own.
    int OnDelSmsCmdRsp(std::string rsp) override { return Judge("DELETE", rsp); }
    int OnGetClockCmdRsp(std::string rsp) override { return Judge("CCLK", rsp); }
    // So are the health commands, but the character set, which the base asks only about a hex name.
    int OnReportErrorsCmdRsp(std::string rsp) override { return Judge("CMEE", rsp); }
    int OnGetSimStateCmdRsp(std::string rsp) override { return Judge("CPIN", rsp); }
    int OnGetRegistrationCmdRsp(std::string rsp) override { return Judge("REG", rsp); }
    int OnGetRadioStateCmdRsp(std::string rsp) override { return Judge("CFUN", rsp); }
    int OnSetOperatorFormatCmdRsp(std::string rsp) override { return Judge("COPS=3,0", rsp); }
    int OnGetOperatorCmdRsp(std::string rsp) override { return Judge("COPS", rsp); }
    std::string GetCharsetCmd() const override { return "X-CSCS\r"; }
    int OnGetCharsetCmdRsp(std::string rsp) override { return Judge("CSCS", rsp); }
    // The indication commands are the base class's own; the status-report storage is scripted.
    int OnIndicationOfferRsp(std::string rsp) override { return Judge("CNMI=?", rsp); }
    int OnIndicationSettingRsp(std::string rsp) override { return Judge("CNMI?", rsp); }
    int OnSetIndicationRsp(std::string rsp) override { return Judge("CNMI=", rsp); }
    std::string GetReadSmsOnSrCmd() const override { return "X-SR\r"; }
    int OnGetReadSmsOnSrCmd(std::string rsp) override { return Judge("SR", rsp); }

private:
    int Judge(const char* name, const std::string& rsp)
    {
        calls.push_back({name, rsp});
        if (okAfterCalls > 0) {
            return static_cast<int>(calls.size()) >= okAfterCalls ? RSP_OK : RSP_MORE;
        }
        if (rsp.find(GOOD_END) != std::string::npos) {
            return RSP_OK;
        }
        if (rsp.find(BAD_END) != std::string::npos) {
            return RSP_ERROR;
        }
        return ODD_VERDICT;
    }
};

using Wrapper = std::function<bool(CPhoneCardBase*, CComPortBase*)>;

struct ExchangeCase
{
    const char* name;
    Wrapper run;
    std::string command;  // what must go out
    const char* judge;    // which handler must see the answer
    int reads;            // read attempts before giving up
    bool opens;           // opens a closed port itself
};

std::vector<ExchangeCase> ExchangeCases()
{
    return {
        {"AT", CCheckManager::RunComCmdAT, "X-AT\r", "AT", 10, true},
        {"ATI", CCheckManager::RunComCmdATI, "X-ATI\r", "ATI", 10, false},
        {"GetSerialNumber", CCheckManager::RunComCmdGetSerialNumber, "X-IMEI\r", "IMEI", 5, true},
        {"GetSmsCardNumber", CCheckManager::RunComCmdGetSmsCardNumber, "X-CCID\r", "CCID", 5, false},
        {"GetSignalStrength", CCheckManager::RunComCmdGetSignalStrength, "X-CSQ\r", "CSQ", 5, false},
        {"QuerySMSC", CCheckManager::RunComCmdQuerySMSC, "X-CSCA\r", "CSCA", 1400, false},
        {"SetPduMode", CCheckManager::RunComCmdSetPduMode, "X-CMGF\r", "CMGF", 1400, false},
        {"SetRecvSmsCompatibleMode", CCheckManager::RunComCmdSetRecvSmsCompatibleMode, "X-COMPAT\r", "COMPAT", 1400,
         false},
        {"ReadAllSmsToPhone", CCheckManager::RunComCmdReadAllSmsToPhone, "X-CMGL\r", "CMGL", 1200, false},
        {"ReadME_Sms", CCheckManager::RunComCmdReadME_Sms, "X-ME\r", "ME", 5, false},
        {"ReadSM_Sms", CCheckManager::RunComCmdReadSM_Sms, "X-SM\r", "SM", 5, false},
        {"ReadSR_Sms", CCheckManager::RunComCmdReadSR_Sms, "X-SR\r", "SR", 5, false},
        {"DelAllSms", CCheckManager::RunComCmdDelAllSms, "X-CMGD\r", "CMGD", 1400, false},
        {"GetIndicationOffer", CCheckManager::RunComCmdGetIndicationOffer, "AT+CNMI=?\r", "CNMI=?", 5, false},
        {"GetIndicationSetting", CCheckManager::RunComCmdGetIndicationSetting, "AT+CNMI?\r", "CNMI?", 5, false},
        {"SetIndication",
         [](CPhoneCardBase* m, CComPortBase* p) {
             IndicationSetting_t setting;
             setting.mode = 2;
             setting.mt = 1;
             setting.ds = 2;
             setting.count = 5;
             return CCheckManager::RunComCmdSetIndication(m, p, setting);
         },
         "AT+CNMI=2,1,0,2,0\r", "CNMI=", 20, false},
        {"ReadNextSms", CCheckManager::RunComCmdReadNextSms, "X-NEXT\r", "NEXT", 100, false},
        {"DelSms", [](CPhoneCardBase* m, CComPortBase* p) { return CCheckManager::RunComCmdDelSms(m, p, 3); },
         "AT+CMGD=3\r", "DELETE", 100, false},
        {"GetClock", CCheckManager::RunComCmdGetClock, "AT+CCLK?\r", "CCLK", 5, false},
        {"ReportErrors", CCheckManager::RunComCmdReportErrors, "AT+CMEE=1\r", "CMEE", 5, false},
        {"GetSimState", CCheckManager::RunComCmdGetSimState, "AT+CPIN?\r", "CPIN", 5, false},
        {"GetRegistration",
         [](CPhoneCardBase* m, CComPortBase* p) {
             return CCheckManager::RunComCmdGetRegistration(m, p, REG_DOMAIN_PS);
         },
         "AT+CGREG?\r", "REG", 5, false},
        {"GetRadioState", CCheckManager::RunComCmdGetRadioState, "AT+CFUN?\r", "CFUN", 5, false},
        {"SetOperatorFormat", CCheckManager::RunComCmdSetOperatorFormat, "AT+COPS=3,0\r", "COPS=3,0", 5, false},
        {"GetOperator", CCheckManager::RunComCmdGetOperator, "AT+COPS?\r", "COPS", 5, false},
        {"GetCharset", CCheckManager::RunComCmdGetCharset, "X-CSCS\r", "CSCS", 5, false},
        {"SendPduLen",
         [](CPhoneCardBase* m, CComPortBase* p) { return CCheckManager::RunComCmdSendPduLen(m, p, "AT+CMGS=21\r"); },
         "AT+CMGS=21\r", "CMGS", 1400, false},
        {"SendPduContext",
         [](CPhoneCardBase* m, CComPortBase* p) {
             return CCheckManager::RunComCmdSendPduContext(m, p, "0011000B\x1a");
         },
         "0011000B\x1a", "PDU", 1400, false},
    };
}

class CommandExchange : public ::testing::TestWithParam<ExchangeCase>
{
};

std::string CaseName(const ::testing::TestParamInfo<ExchangeCase>& info)
{
    return info.param.name;
}

// Every answer a judge was handed, in order.
std::vector<std::string> Answers(const ScriptedModel& model)
{
    std::vector<std::string> out;
    for (const ScriptedModel::Call& call : model.calls) {
        out.push_back(call.answer);
    }
    return out;
}

TEST_P(CommandExchange, VerdictInAChunkedAnswerEndsTheExchangeAtOnce)
{
    const ExchangeCase& c = GetParam();
    for (const char* end : {GOOD_END, BAD_END}) {
        SCOPED_TRACE(end);
        const ReadCycles cycles(400);  // 200 ms passes: an answer delayed by a loaded machine still counts
        const std::string answer = std::string("\r\n+X: 1\r\n\r\n") + end + "\r\n";
        ModemPeer peer({{c.command, {"\r\n+X: ", "1\r\n\r\n", std::string(end) + "\r\n"}}});
        CComPortBase port(peer.Path(), 9600);
        ScriptedModel model;

        const bool good = c.run(&model, &port);

        EXPECT_EQ(good, std::string(end) == GOOD_END);
        ASSERT_FALSE(model.calls.empty());
        for (const ScriptedModel::Call& call : model.calls) {
            EXPECT_EQ(call.judge, c.judge);
        }
        // One growing answer, never cleared; the verdict is the last call.
        const std::vector<std::string> answers = Answers(model);
        for (std::size_t i = 1; i < answers.size(); ++i) {
            EXPECT_EQ(answers[i].compare(0, answers[i - 1].size(), answers[i - 1]), 0) << i;
        }
        EXPECT_EQ(answers.back(), answer);
        EXPECT_EQ(peer.ReceivedWhenQuiet(), c.command);
    }
}

// A silent modem gets the wrapper's read count times the nominal pass length,
// measured on the clock, and never a pass more.
TEST_P(CommandExchange, SilentModemUsesUpItsTimeBound)
{
    const ExchangeCase& c = GetParam();
    if (c.reads > 100 && std::string(c.judge) == "CMGD") {
        GTEST_SKIP() << "1400 reads with 100 ms each: DelAllPausesAfterEveryUndecidedRead covers the pause";
    }
    const ReadCycles cycles(2);  // 1 ms passes
    ModemPeer peer({});
    CComPortBase port(peer.Path(), 9600);
    ScriptedModel model;

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.run(&model, &port));
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_GE(took, std::chrono::milliseconds(c.reads));
    ASSERT_FALSE(model.calls.empty());
    EXPECT_LE(model.calls.size(), static_cast<std::size_t>(c.reads));
    for (const std::string& answer : Answers(model)) {
        EXPECT_EQ(answer, "");
    }
    EXPECT_EQ(peer.ReceivedWhenQuiet(), c.command);
}

TEST_P(CommandExchange, MissingModelOrPortSendsNothing)
{
    const ExchangeCase& c = GetParam();
    ModemPeer peer({{c.command, {std::string(GOOD_END) + "\r\n"}}});
    CComPortBase port(peer.Path(), 9600);
    ScriptedModel model;

    EXPECT_FALSE(c.run(nullptr, &port));
    EXPECT_FALSE(c.run(&model, nullptr));
    EXPECT_TRUE(model.calls.empty());
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "");
}

TEST_P(CommandExchange, ClosedPortIsOpenedOnlyWhereTheExchangeOpens)
{
    const ExchangeCase& c = GetParam();
    const ReadCycles cycles(400);  // 200 ms passes: an answer delayed by a loaded machine still counts
    ModemPeer peer({{c.command, {std::string(GOOD_END) + "\r\n"}}});
    CComPortBase port(peer.Path(), 9600);
    port.Close();
    ScriptedModel model;

    EXPECT_EQ(c.run(&model, &port), c.opens);
    EXPECT_EQ(port.IsOpened(), c.opens ? 1 : 0);
    EXPECT_EQ(peer.ReceivedWhenQuiet(), c.opens ? c.command : "");
}

INSTANTIATE_TEST_SUITE_P(Wrappers, CommandExchange, ::testing::ValuesIn(ExchangeCases()), CaseName);

// Building the read-next command takes a message off the model's pending
// list: a port that is not ready must leave the list as it was.
TEST(CommandExchangeGuards, ReadNextIsBuiltOnlyOnceThePortIsReady)
{
    ModemPeer peer({});
    CComPortBase port(peer.Path(), 9600);
    port.Close();
    ScriptedModel model;

    EXPECT_FALSE(CCheckManager::RunComCmdReadNextSms(&model, nullptr));
    EXPECT_FALSE(CCheckManager::RunComCmdReadNextSms(&model, &port));
    EXPECT_EQ(model.readNextTaken, 0);
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "");
}

// An empty command (no message index, no text) is never written, so no judge
// waits for an answer to nothing.
TEST(CommandExchangeGuards, EmptyCommandIsNotWritten)
{
    const std::vector<std::pair<const char*, Wrapper>> empties = {
        {"DelSms -1", [](CPhoneCardBase* m, CComPortBase* p) { return CCheckManager::RunComCmdDelSms(m, p, -1); }},
        {"SendPduLen", [](CPhoneCardBase* m, CComPortBase* p) { return CCheckManager::RunComCmdSendPduLen(m, p, ""); }},
        {"SendPduContext",
         [](CPhoneCardBase* m, CComPortBase* p) { return CCheckManager::RunComCmdSendPduContext(m, p, ""); }},
    };
    const ReadCycles cycles(400);  // a wrongly awaited answer would take seconds
    ModemPeer peer({});
    CComPortBase port(peer.Path(), 9600);
    for (const auto& empty : empties) {
        SCOPED_TRACE(empty.first);
        ScriptedModel model;
        EXPECT_FALSE(empty.second(&model, &port));
        EXPECT_TRUE(model.calls.empty());
    }
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "");
}

// The delete-all exchange waits 100 ms after each undecided read; the
// others read again at once.
TEST(CommandExchangeTiming, DelAllPausesAfterEveryUndecidedRead)
{
    const ReadCycles cycles(1);
    ModemPeer peer({});
    CComPortBase port(peer.Path(), 9600);
    using Clock = std::chrono::steady_clock;
    const auto timed = [&](const Wrapper& run) {
        ScriptedModel model;
        model.okAfterCalls = 3;
        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(run(&model, &port));
        EXPECT_EQ(model.calls.size(), 3u);
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };

    EXPECT_GE(timed(CCheckManager::RunComCmdDelAllSms), 200);
    EXPECT_LT(timed(CCheckManager::RunComCmdSetPduMode), 100);
}

// An answer that comes in more pieces than the exchange has reads, with
// pauses longer than the quiet gap, is still taken whole.
TEST(CommandExchangePieces, ManyPiecesWithinTheTimeBound)
{
    const ReadCycles cycles(400);  // 200 ms passes: 5 reads give 1 s
    g_nReadQuietGapUsec = 2000;
    std::vector<std::string> pieces(12, "+X: 1\r\n");
    pieces.push_back("OK-END\r\n");
    ModemPeer peer({{"X-CCID\r", pieces}}, 20);
    CComPortBase port(peer.Path(), 9600);
    ScriptedModel model;

    EXPECT_TRUE(CCheckManager::RunComCmdGetSmsCardNumber(&model, &port));
    g_nReadQuietGapUsec = 0;
    EXPECT_GT(model.calls.size(), 5u);
    std::string whole;
    for (const std::string& piece : pieces) {
        whole += piece;
    }
    EXPECT_EQ(Answers(model).back(), whole);
}

// Answers that arrive after their exchange gave up, and lines nobody asked
// for, never reach the judge of the next command.
TEST(CommandExchangeStaleInput, LateAnswerIsNotTakenForTheNextOne)
{
    const ReadCycles cycles(400);  // 200 ms passes: the 5-read exchanges give up after 1 s
    // The first answer starts 1.1 s after its command: past the bound, within
    // the next pass; the second comes at once.
    const std::vector<std::string> late = {"", "\r\nOK-END\r\n"};
    const std::vector<std::string> prompt = {"\r\nERR-END\r\n"};
    ModemPeer peer({{"X-CCID\r", late}, {"X-CSQ\r", prompt}}, 1100);
    CComPortBase port(peer.Path(), 9600);
    ScriptedModel first;
    ScriptedModel second;

    EXPECT_FALSE(CCheckManager::RunComCmdGetSmsCardNumber(&first, &port));
    EXPECT_FALSE(CCheckManager::RunComCmdGetSignalStrength(&second, &port));
    for (const std::string& answer : Answers(second)) {
        EXPECT_EQ(answer.find("OK-END"), std::string::npos) << answer;
    }
    EXPECT_EQ(Answers(second).back(), "\r\nERR-END\r\n");
}

TEST(CommandExchangeStaleInput, UnsolicitedLinesBeforeTheCommandAreDropped)
{
    const ReadCycles cycles(400);  // 200 ms passes: an answer delayed by a loaded machine still counts
    ModemPeer peer({ModemPeer::Rule{"X-CSQ\r", {"\r\n+X: 1\r\n\r\nOK-END\r\n"}}});
    CComPortBase port(peer.Path(), 9600);
    peer.SendUnasked("\r\nRING\r\n\r\n^RSSI: 20\r\n");
    ScriptedModel model;

    EXPECT_TRUE(CCheckManager::RunComCmdGetSignalStrength(&model, &port));
    EXPECT_EQ(Answers(model).back(), "\r\n+X: 1\r\n\r\nOK-END\r\n");
}

// On a watched port nothing read outside a judged verdict is lost: what came
// before the command, and the whole answer with the announcement inside it,
// go to the port's sink in arrival order; once the watch ends they are
// dropped again.
TEST(CommandExchangeStaleInput, AWatchedPortHandsOverWhatItReadsUnasked)
{
    const ReadCycles cycles(400);  // 200 ms passes: an answer delayed by a loaded machine still counts
    const std::string answer = "\r\n+X: 1\r\n\r\n+CMTI: \"SM\",4\r\n\r\nOK-END\r\n";
    ModemPeer peer({ModemPeer::Rule{"X-CSQ\r", {answer}}});
    CComPortBase port(peer.Path(), 9600);
    std::string handed;
    WatchPortInput(port.GetDevPath(), [&handed](const std::string& text) { handed += text; });
    peer.SendUnasked("\r\n+CMTI: \"SM\",3\r\n");
    ScriptedModel model;

    EXPECT_TRUE(CCheckManager::RunComCmdGetSignalStrength(&model, &port));
    EXPECT_EQ(Answers(model).back(), answer);
    EXPECT_EQ(handed, "\r\n+CMTI: \"SM\",3\r\n" + answer);

    WatchPortInput(port.GetDevPath(), PortInputSink_t());
    handed.clear();
    peer.SendUnasked("\r\nRING\r\n");
    EXPECT_TRUE(CCheckManager::RunComCmdGetSignalStrength(&model, &port));
    EXPECT_EQ(handed, "");
    EXPECT_EQ(Answers(model).back(), answer);
}

// An answer that could not be judged leaves the modem in doubt: before the
// next command the line is let go quiet and "AT" must bring its own verdict.
TEST(CommandExchangeStaleInput, UnjudgedAnswerIsFollowedByAt)
{
    const ReadCycles cycles(200);  // 100 ms passes: the garbled answer costs 0.5 s
    ModemPeer peer({{"X-CCID\r", {"\r\n+X: garbled"}},
                    {"X-AT\r", {"\r\nOK-END\r\n"}},
                    {"X-CSQ\r", {"\r\n+X: 1\r\n\r\nOK-END\r\n"}}});
    CComPortBase port(peer.Path(), 9600);
    ScriptedModel model;

    EXPECT_FALSE(CCheckManager::RunComCmdGetSmsCardNumber(&model, &port));
    EXPECT_TRUE(CCheckManager::RunComCmdGetSignalStrength(&model, &port));
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "X-CCID\rX-AT\rX-CSQ\r");
}

// ---- a USSD reply heard on another AT port of the modem

struct ElsewhereCase
{
    const char* name;
    std::string ownAnswer;    // on the port of the request, at once
    std::string staleOther;   // on the other port before the request: never taken
    std::string otherAfter;   // on the other port once the request went out
    int verdict;
    std::string text;         // of the reply taken
    std::size_t answeredOn;
    // The port of the request after it: a final result still to come is waited out next time.
    LineState_t ownState = LineState_t::SETTLED;
};

class UssdElsewhere : public ::testing::TestWithParam<ElsewhereCase>
{
};

TEST_P(UssdElsewhere, TheFirstWholeReplyOnAnyHeldPort)
{
    const ElsewhereCase& c = GetParam();
    const ReadCycles cycles(100);  // 50 ms passes
    const std::string request = "AT+CUSD=1,\"*100#\",15\r";
    ModemPeer own({{request, {c.ownAnswer}}});
    ModemPeer other({});
    CComPortBase ownPort(own.Path(), 9600);
    CComPortBase otherPort(other.Path(), 9600);
    ASSERT_EQ(ownPort.Open() + otherPort.Open(), 2);
    if (!c.staleOther.empty()) {
        other.SendUnasked(c.staleOther);
    }
    // The other port speaks once the request has reached the modem.
    std::thread primary([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (own.Received().find(request) == std::string::npos && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!c.otherAfter.empty()) {
            other.SendUnasked(c.otherAfter, true);  // the exchange is reading that port
        }
    });
    CPhoneCardBase model;
    std::size_t answeredOn = 99;
    const int verdict = CCheckManager::RunComCmdUssdRequest(&model, {&ownPort, &otherPort}, "*100#", 1, answeredOn);
    primary.join();

    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(model.GetUssdReply().text, c.text);
    EXPECT_EQ(answeredOn, c.answeredOn);
    if (c.verdict != RSP_MORE) {
        EXPECT_EQ(ownPort.GetLineState(), c.ownState);
    }
    // Only the port of the request is written to.
    EXPECT_EQ(own.ReceivedWhenQuiet(), request);
    EXPECT_EQ(other.ReceivedWhenQuiet(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UssdElsewhere,
    ::testing::Values(
        ElsewhereCase{"ReplyOnThePrimary", "\r\nOK\r\n", "", "\r\n+CUSD: 0,\"Balance\",15\r\n", RSP_OK, "Balance",
                      1},
        // Lines of the other port that no command of ours asked for are no answer.
        ElsewhereCase{"UnrelatedLinesFirst", "\r\nOK\r\n", "",
                      "\r\n+CMTI: \"SM\",3\r\n\r\nERROR\r\n\r\n+CUSD: 0,\"Balance\",15\r\n", RSP_OK, "Balance", 1},
        // A reply of an earlier request, left on the other port, is dropped before this one.
        ElsewhereCase{"StaleReplyDropped", "\r\nOK\r\n", "\r\n+CUSD: 0,\"old\",15\r\n", "", RSP_MORE, "", 0},
        // A modem that holds its OK until the network answered: the OK is still to come.
        ElsewhereCase{"OkStillToComeOnItsOwnPort", "", "", "\r\n+CUSD: 0,\"Balance\",15\r\n", RSP_OK, "Balance", 1,
                      LineState_t::LATE_ANSWER_POSSIBLE},
        ElsewhereCase{"ReplyOnItsOwnPort", "\r\nOK\r\n\r\n+CUSD: 2\r\n", "", "", RSP_OK, "", 0},
        ElsewhereCase{"ErrorOnItsOwnPortDecides", "\r\n+CME ERROR: 30\r\n", "", "\r\nOK\r\n", RSP_ERROR, "", 0},
        ElsewhereCase{"CutShortElsewhereIsNoReply", "\r\nOK\r\n", "", "\r\n+CUSD: 0,\"Bal", RSP_MORE, "", 0}),
    [](const ::testing::TestParamInfo<ElsewhereCase>& info) { return std::string(info.param.name); });

// ---- the initialisation sequence

struct InitCase
{
    const char* name;
    std::vector<ModemPeer::Rule> rules;
    std::string sent;  // every byte that must reach the modem
};

class InitSequence : public ::testing::TestWithParam<InitCase>
{
};

TEST_P(InitSequence, SendsTheModelsCommandsUntilAnError)
{
    const InitCase& c = GetParam();
    const ReadCycles cycles(200);  // 100 ms passes: a silent command costs 0.5 s
    ModemPeer peer(c.rules);
    CComPortBase port(peer.Path(), 9600);
    port.Close();  // the sequence opens the port itself
    ScriptedModel model;

    CCheckManager::RunComCmdInitPhone(&model, &port);

    EXPECT_EQ(peer.ReceivedWhenQuiet(), c.sent);
    for (const ScriptedModel::Call& call : model.calls) {
        EXPECT_EQ(call.judge, "INIT");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InitSequence,
    ::testing::Values(
        InitCase{"AllAnswered",
                 {{"X-INIT1\r", {"OK-END\r\n"}}, {"X-INIT2\r", {"OK-END\r\n"}}, {"X-INIT3\r", {"OK-END\r\n"}}},
                 "X-INIT1\rX-INIT2\rX-INIT3\r"},
        InitCase{"ErrorStopsTheRest", {{"X-INIT1\r", {"OK-END\r\n"}}, {"X-INIT2\r", {"ERR-END\r\n"}}},
                 "X-INIT1\rX-INIT2\r"},
        InitCase{"SilenceGoesOn", {{"X-INIT2\r", {"OK-END\r\n"}}, {"X-INIT3\r", {"OK-END\r\n"}}},
                 "X-INIT1\rX-INIT2\rX-INIT3\r"}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST(InitSequenceGuards, MissingModelOrUnopenablePortSendsNothing)
{
    ModemPeer peer({});
    CComPortBase port(peer.Path(), 9600);
    CComPortBase nowhere("/nonexistent/ttyUSB9", 9600);
    ScriptedModel model;

    CCheckManager::RunComCmdInitPhone(nullptr, &port);
    CCheckManager::RunComCmdInitPhone(&model, nullptr);
    CCheckManager::RunComCmdInitPhone(&model, &nowhere);

    EXPECT_TRUE(model.calls.empty());
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "");
}

}  // namespace
