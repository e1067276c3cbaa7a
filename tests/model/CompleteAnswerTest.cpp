// Every answer handler the controller's exchanges use gives its verdict only
// on a complete final result line at a line start: never on a prefix, an echo,
// an unsolicited line, an "OK" still waiting for its line break, or text
// inside a message body. Fed as the exchange feeds it: the whole answer so
// far, after every read.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

using Judge = int (*)(CPhoneCardBase&, const std::string&);
using Prepare = void (*)(CPhoneCardBase&);

struct HandlerRow
{
    const char* name;
    PHONE_TYPE_t type;
    Judge judge;
    Prepare prepare;        // what the workflow did before this command (nullptr: nothing)
    std::string answer;     // complete: it ends with its final line (or the prompt)
    int verdict;
    std::string echo;       // the command as the modem echoes it ("" when it never does)
    int errorVerdict;       // for an error answer
    std::size_t decidedAt;  // 0: only the whole answer decides; else the deliberately earlier prefix
    bool silenceIsFinal;    // an empty answer is final on purpose
};

void PrintTo(const HandlerRow& row, std::ostream* os)
{
    *os << row.name;
}

// What the handlers keep for the controller, error texts aside.
std::string State(const CPhoneCardBase& m)
{
    std::string s = m.GetSerialNumber() + "|" + m.GetSmsCardNumber() + "|" + m.GetSignalStrength() + "|" +
                    m.GetSmsCenter();
    for (const SmsRecvStruct_t& r : m.GetReadSms()) {
        s += "|" + r.from + "/" + r.time + "/" + Visible(r.text) + "/" + std::to_string(r.kind) + "/" + Visible(r.raw);
    }
    return s;
}

std::unique_ptr<CPhoneCardBase> Fresh(const HandlerRow& row)
{
    std::unique_ptr<CPhoneCardBase> model = MakeModel(row.type);
    if (row.prepare != nullptr) {
        row.prepare(*model);
    }
    return model;
}

void ListIndices(CPhoneCardBase& m)
{
    m.OnReadAllSmsCmdRsp("\r\n+CMGD: (1,2,5),(0-4)\r\n\r\nOK\r\n");
    m.GetReadNextSmsCmd();
}

void ListCdma(CPhoneCardBase& m)
{
    m.OnReadAllSmsCmdRsp("\r\n^HCMGL:0,1\r\n^HCMGL:3,0\r\n\r\nOK\r\n");
    m.GetReadNextSmsCmd();
}

// A listing whose entry 2 was cut, about to be read again.
void ListDamaged(CPhoneCardBase& m)
{
    m.OnReadAllSmsCmdRsp(ReadFixture("cmgl/CPhone_M26.txt"));
    m.GetReadOneSmsCmd(2);
}

// A fixture holding several answers, each ending with "\r\n\r\nOK\r\n".
std::string NthAnswer(const std::string& fixture, int n)
{
    const std::string all = ReadFixture(fixture);
    const std::string end = "\r\n\r\nOK\r\n";
    std::string::size_type start = 0;
    for (int i = 0; i < n; ++i) {
        start = all.find(end, start) + end.size();
    }
    return all.substr(start, all.find(end, start) + end.size() - start);
}

// A CDMA read answer: header, the text's bytes, Ctrl-Z, OK.
std::string CdmaAnswer(const std::string& from, int encoding, const std::string& bytes)
{
    const std::string z = encoding == 6 ? std::string("\0\x1A", 2) : std::string("\x1A");
    return "\r\n^HCMGR:" + from + ",2023,05,17,08,30,00,0," + std::to_string(encoding) + "," +
           std::to_string(bytes.size()) + ",0,0,0,1\r\n" + bytes + z + "\r\n\r\nOK\r\n";
}

// A text holding a line "OK", and UCS-2 whose bytes read CR LF O K CR LF.
const std::string OK_LINE_TEXT = "fine\r\nOK\r\nsee you";
const std::string OK_BYTES_UCS2("\x0D\x0A\x4F\x4B\x0D\x0A\x00\x21", 8);

#define JUDGE(call) [](CPhoneCardBase& m, const std::string& a) { return m.call(a); }

std::vector<HandlerRow> Rows()
{
    return {
        {"At", PHONE_TYPE_BASE, JUDGE(OnGetAtCmdRsp), nullptr, "\r\nOK\r\n", RSP_OK, "AT\r", RSP_ERROR, 0, false},
        {"Ati", PHONE_TYPE_EC20F, JUDGE(OnGetAtiCmdRsp), nullptr, ReadFixture("ati/CPhone_EC20F.txt"), RSP_OK, "ATI\r",
         RSP_ERROR, 0, false},
        // The first model of the scan speaks ATI for all; it refuses a
        // complete answer naming another model.
        {"AtiOtherModel", PHONE_TYPE_KG70_FT_ON, JUDGE(OnGetAtiCmdRsp), nullptr, ReadFixture("ati/CPhone_EC20F.txt"),
         RSP_ERROR, "ATI\r", RSP_ERROR, 0, false},
        {"Imei", PHONE_TYPE_EC20F, JUDGE(OnGetIMEI_Cmd), nullptr, ReadFixture("cgsn/CPhone_EC20F.txt"), RSP_OK,
         "AT+CGSN\r", RSP_ERROR, 0, false},
        {"Ccid", PHONE_TYPE_K2210_NC5, JUDGE(OnGetIMSI_CmdRsp), nullptr, ReadFixture("ccid/CPhone_K2210_NC5.txt"),
         RSP_OK, "AT+CCID\r", RSP_ERROR, 0, false},
        {"CaretIccid", PHONE_TYPE_TD_ME909, JUDGE(OnGetIMSI_CmdRsp), nullptr,
         ReadFixture("iccid/CPhone_TD_ME909.txt"), RSP_OK, "AT^ICCID?\r", RSP_ERROR, 0, false},
        // An ERROR to at+csq is never final: the read limit ends it.
        {"Signal", PHONE_TYPE_EC20F, JUDGE(OnGetSignalStrengthCmdRsp), nullptr, ReadFixture("csq/CPhone_EC20F.txt"),
         RSP_OK, "at+csq\r", RSP_MORE, 0, false},
        {"SmsCentre", PHONE_TYPE_EC20F, JUDGE(OnGetQuerySmsCenterCmdRsp), nullptr,
         ReadFixture("csca/CPhone_EC20F.txt"), RSP_OK, "AT+CSCA?\r", RSP_ERROR, 0, false},
        {"SmsCentreYuga", PHONE_TYPE_K2210_NC5, JUDGE(OnGetQuerySmsCenterCmdRsp), nullptr,
         ReadFixture("csca/CPhone_K2210_NC5.txt"), RSP_OK, "AT+CSCA?\r", RSP_OK, 0, true},
        {"PduMode", PHONE_TYPE_EC20F, JUDGE(OnSetSmsPduModeCmdRsp), nullptr, "\r\nOK\r\n", RSP_OK, "at+cmgf=0\r",
         RSP_ERROR, 0, false},
        {"PduModeCmgw", PHONE_TYPE_MEIGDEV, JUDGE(OnSetSmsPduModeCmdRsp), nullptr, "\r\n+CMGW: 3\r\n", RSP_OK,
         "at+cmgf=0\r", RSP_ERROR, 0, false},
        {"Init", PHONE_TYPE_MC323_ON, JUDGE(OnInitAtCmdRsp), nullptr, "\r\nOK\r\n", RSP_OK, "AT^RSSIREP=0\r",
         RSP_ERROR, 0, false},
        {"StorageSelection", PHONE_TYPE_EC20F, JUDGE(OnGetReadSmsOnMeCmd), nullptr,
         "\r\n+CPMS: 3,50,3,50,3,50\r\n\r\nOK\r\n", RSP_OK, "AT+CPMS=\"ME\"\r", RSP_ERROR, 0, false},
        {"DeleteAll", PHONE_TYPE_EC20F, JUDGE(OnDelAllSmsCmdRsp), nullptr, "\r\nOK\r\n", RSP_OK, "AT+CMGD=0,4\r",
         RSP_ERROR, 0, false},
        {"CompatibleMode", PHONE_TYPE_K2210_NC5, JUDGE(OnGetRecvSmsCompatibleModeCmdRsp), nullptr, "\r\nOK\r\n",
         RSP_OK, "AT+ATVER=1\r", RSP_ERROR, 0, false},
        {"Listing", PHONE_TYPE_EC20F, JUDGE(OnReadAllSmsCmdRsp), nullptr, ReadFixture("cmgl/CPhone_EC20F.txt"),
         RSP_OK, "AT+CMGL=4\r", RSP_ERROR, 0, false},
        // A listing's PDU line is a body, whatever it holds.
        {"ListingBodyOk", PHONE_TYPE_EC20F, JUDGE(OnReadAllSmsCmdRsp), nullptr,
         "\r\n+CMGL: 1,1,,24\r\nOK\r\n\r\nOK\r\n", RSP_OK, "AT+CMGL=4\r", RSP_ERROR, 0, false},
        {"IndexList", PHONE_TYPE_K2210_NC5, JUDGE(OnReadAllSmsCmdRsp), nullptr, ReadFixture("cmgd/CPhone_K2210_NC5.txt"),
         RSP_OK, "AT+CMGD=?\r", RSP_ERROR, 0, false},
        {"ReadOne", PHONE_TYPE_K2210_NC5, JUDGE(OnReadNextSmsCmdRsp), ListIndices,
         NthAnswer("cmgr/CPhone_K2210_NC5.txt", 1), RSP_OK, "AT+CMGR=1\r", RSP_ERROR, 0, false},
        // ... and a body "OK" is no PDU: the message was not read whole.
        {"ReadAgain", PHONE_TYPE_M26, JUDGE(OnReadOneSmsCmdRsp), ListDamaged, NthAnswer("cmgr/CPhone_M26.txt", 0),
         RSP_OK, "AT+CMGR=2\r", RSP_ERROR, 0, false},
        {"ReadAgainCdma", PHONE_TYPE_MC323_ON, JUDGE(OnReadOneSmsCmdRsp), ListCdma,
         NthAnswer("hcmgr/CPhone_MC323_ON.txt", 1), RSP_OK, "AT^HCMGR=3\r", RSP_ERROR, 0, false},
        {"ReadOneBodyOk", PHONE_TYPE_INCORPORATED_A7600C1_SE, JUDGE(OnReadNextSmsCmdRsp), ListIndices,
         "\r\n+CMGR: 1,,24\r\nOK\r\n\r\nOK\r\n", RSP_ERROR, "AT+CMGR=1\r", RSP_ERROR, 0, false},
        // An ERROR to the CDMA listing is a failed listing, never an empty storage.
        {"CdmaListing", PHONE_TYPE_MC323_ON, JUDGE(OnReadAllSmsCmdRsp), nullptr,
         ReadFixture("hcmgl/CPhone_MC323_ON.txt"), RSP_OK, "AT^HCMGL=4\r", RSP_ERROR, 0, false},
        {"CdmaReadAscii", PHONE_TYPE_MC323_ON, JUDGE(OnReadNextSmsCmdRsp), ListCdma,
         NthAnswer("hcmgr/CPhone_MC323_ON.txt", 0), RSP_OK, "AT^HCMGR=0\r", RSP_ERROR, 0, false},
        {"CdmaReadUcs2", PHONE_TYPE_MC323_ON, JUDGE(OnReadNextSmsCmdRsp), ListCdma,
         NthAnswer("hcmgr/CPhone_MC323_ON.txt", 1), RSP_OK, "AT^HCMGR=0\r", RSP_ERROR, 0, false},
        {"CdmaReadOkLine", PHONE_TYPE_MC323_ON, JUDGE(OnReadNextSmsCmdRsp), ListCdma,
         CdmaAnswer("13912345678", 1, OK_LINE_TEXT), RSP_OK, "AT^HCMGR=0\r", RSP_ERROR, 0, false},
        {"CdmaReadOkBytes", PHONE_TYPE_MC323_ON, JUDGE(OnReadNextSmsCmdRsp), ListCdma,
         CdmaAnswer("13912345678", 6, OK_BYTES_UCS2), RSP_OK, "AT^HCMGR=0\r", RSP_ERROR, 0, false},
        // The prompt has no line end: it decides once its ">" is there.
        {"SendLength", PHONE_TYPE_EC20F, JUDGE(OnSendPduSmsLenCmdRsp), nullptr, "\r\n> ", RSP_OK, "AT+CMGS=20\r",
         RSP_ERROR, 3, false},
        {"SendContent", PHONE_TYPE_EC20F, JUDGE(OnSendPduSmsContextCmdRsp), nullptr, "\r\n+CMGS: 12\r\n\r\nOK\r\n",
         RSP_OK, "0011000B911346610089F60008AA0400480069\x1A", RSP_ERROR, 0, false},
        {"CdmaSendContent", PHONE_TYPE_MC323_ON, JUDGE(OnSendPduSmsContextCmdRsp), nullptr,
         "\r\nOK\r\n\r\n^HCMGSS: 4\r\n", RSP_OK, "", RSP_ERROR, 0, false},
    };
}

#undef JUDGE

// Where the final line (or the prompt) of a complete answer starts.
std::size_t FinalLineStart(const std::string& answer)
{
    const std::size_t body = answer.size() >= 2 && answer.compare(answer.size() - 2, 2, "\r\n") == 0
                                 ? answer.size() - 2
                                 : answer.size();
    const std::string::size_type lf = answer.rfind('\n', body == 0 ? 0 : body - 1);
    return lf == std::string::npos ? 0 : lf + 1;
}

class CompleteAnswer : public ::testing::TestWithParam<HandlerRow>
{
protected:
    // Verdict and kept state of a fresh model fed `answer` in one piece.
    std::pair<int, std::string> Once(const std::string& answer)
    {
        auto model = Fresh(GetParam());
        const int verdict = GetParam().judge(*model, answer);
        return {verdict, State(*model)};
    }
};

TEST_P(CompleteAnswer, EveryPrefixReadsMoreUntilTheFinalLine)
{
    const HandlerRow& row = GetParam();
    ASSERT_FALSE(row.answer.empty());
    const std::size_t decided = row.decidedAt != 0 ? row.decidedAt : row.answer.size();
    for (std::size_t len = 0; len <= row.answer.size(); ++len) {
        const std::string prefix = row.answer.substr(0, len);
        const int expected = len >= decided ? row.verdict : (len == 0 && row.silenceIsFinal ? RSP_OK : RSP_MORE);
        EXPECT_STREQ(VerdictName(Once(prefix).first), VerdictName(expected)) << Visible(prefix);
    }
}

// As the exchange feeds it: the answer so far after a first read, then the
// whole answer, on one object. The first call must neither decide nor leave
// anything behind.
TEST_P(CompleteAnswer, TwoReadsSplitAtEveryByte)
{
    const HandlerRow& row = GetParam();
    const std::pair<int, std::string> whole = Once(row.answer);
    ASSERT_STREQ(VerdictName(whole.first), VerdictName(row.verdict));
    const std::size_t decided = row.decidedAt != 0 ? row.decidedAt : row.answer.size();
    for (std::size_t split = row.silenceIsFinal ? 1 : 0; split < decided; ++split) {
        auto model = Fresh(row);
        ASSERT_STREQ(VerdictName(row.judge(*model, row.answer.substr(0, split))), "RSP_MORE") << split;
        EXPECT_STREQ(VerdictName(row.judge(*model, row.answer)), VerdictName(row.verdict)) << split;
        EXPECT_EQ(State(*model), whole.second) << split;
    }
}

TEST_P(CompleteAnswer, EchoAndUnsolicitedLinesChangeNothing)
{
    const HandlerRow& row = GetParam();
    const std::pair<int, std::string> plain = Once(row.answer);
    std::vector<std::string> noisy = {"\r\n^RSSI: 20\r\n" + row.answer, "\r\nRING\r\n" + row.answer};
    if (!row.echo.empty()) {
        noisy.push_back(row.echo + row.answer);
    }
    const std::size_t at = FinalLineStart(row.answer);
    for (const char* inside : {"+CMTI: \"SM\",3\r\n\r\n", "RING\r\n\r\n^RSSI: 20\r\n\r\n"}) {
        noisy.push_back(row.answer.substr(0, at) + inside + row.answer.substr(at));
    }
    for (const std::string& answer : noisy) {
        const std::pair<int, std::string> got = Once(answer);
        EXPECT_STREQ(VerdictName(got.first), VerdictName(plain.first)) << Visible(answer);
        EXPECT_EQ(got.second, plain.second) << Visible(answer);
    }
}

TEST_P(CompleteAnswer, FinalLineWithoutItsLineBreakReadsMore)
{
    const HandlerRow& row = GetParam();
    if (row.decidedAt != 0) {
        GTEST_SKIP() << "the prompt has no line break";
    }
    ASSERT_EQ(row.answer.compare(row.answer.size() - 2, 2, "\r\n"), 0);
    for (const std::size_t cut : {std::size_t{1}, std::size_t{2}}) {
        const std::string answer = row.answer.substr(0, row.answer.size() - cut);
        EXPECT_STREQ(VerdictName(Once(answer).first), "RSP_MORE") << Visible(answer);
    }
}

TEST_P(CompleteAnswer, ErrorAnswers)
{
    const HandlerRow& row = GetParam();
    for (const std::string answer : {"\r\nERROR\r\n", "\r\nERROR\r\n\r\nOK\r\n", "\r\n+CME ERROR: 10\r\n",
                                     "\r\n+CMS ERROR: 500\r\n", "\r\n^RSSI: 20\r\n\r\n+CMS ERROR: 321\r\n"}) {
        EXPECT_STREQ(VerdictName(Once(answer).first), VerdictName(row.errorVerdict)) << Visible(answer);
    }
    // "+CMS ERROR: 3" may still become 304 or 330.
    const std::string cms = "\r\n+CMS ERROR: 304\r\n";
    for (std::size_t len = row.silenceIsFinal ? 1 : 0; len < cms.size(); ++len) {
        EXPECT_STREQ(VerdictName(Once(cms.substr(0, len)).first), "RSP_MORE") << Visible(cms.substr(0, len));
    }
}

INSTANTIATE_TEST_SUITE_P(Handlers, CompleteAnswer, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<HandlerRow>& info) { return std::string(info.param.name); });

// The CDMA read of a whole storage: texts that hold a line "OK" (or UCS-2
// bytes that read so) end no answer early and lose no message, however each
// answer is cut into two reads.
TEST(CdmaReadSequence, TextHoldingOkLosesNothing)
{
    const std::vector<std::string> answers = {
        CdmaAnswer("13912345678", 1, OK_LINE_TEXT),
        CdmaAnswer("10086", 6, OK_BYTES_UCS2),
        NthAnswer("hcmgr/CPhone_MC323_ON.txt", 0),
    };
    const std::vector<std::string> texts = {OK_LINE_TEXT, "\xE0\xB4\x8A\xE4\xBD\x8B\xE0\xB4\x8A!",
                                            "See you\r\nat 8"};
    for (std::size_t cut = 0; cut < answers.size(); ++cut) {
        for (std::size_t split = 0; split < answers[cut].size(); ++split) {
            auto model = MakeModel(PHONE_TYPE_MC323_ON);
            ASSERT_EQ(model->OnReadAllSmsCmdRsp("\r\n^HCMGL:1,1\r\n^HCMGL:2,1\r\n^HCMGL:3,1\r\n\r\nOK\r\n"), RSP_OK);
            for (std::size_t i = 0; i < answers.size(); ++i) {
                ASSERT_TRUE(model->NotFinished());
                model->GetReadNextSmsCmd();
                if (i == cut) {
                    ASSERT_EQ(model->OnReadNextSmsCmdRsp(answers[i].substr(0, split)), RSP_MORE) << split;
                }
                ASSERT_EQ(model->OnReadNextSmsCmdRsp(answers[i]), RSP_OK) << i << " split " << split;
            }
            const std::vector<SmsRecvStruct_t> got = model->GetReadSms();
            ASSERT_EQ(got.size(), texts.size()) << "answer " << cut << " split at " << split;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                EXPECT_EQ(Visible(got[i].text), Visible(texts[i])) << i;
            }
        }
    }
}

}  // namespace
