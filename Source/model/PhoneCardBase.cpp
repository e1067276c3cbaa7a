#include "PhoneCardBase.h"

#include "CodeLabels.h"
#include "StringUtil.h"

namespace {

constexpr std::string::size_type npos = std::string::npos;

// `text` without any of `chars` at either end.
std::string StripEnds(const std::string& text, const char* chars)
{
    const std::string::size_type first = text.find_first_not_of(chars);
    if (first == npos) {
        return std::string();
    }
    const std::string::size_type last = text.find_last_not_of(chars);
    return text.substr(first, last - first + 1);
}

// A line that a modem may put between a command and its answer on its own
// ("+CREG: 1", "^RSSI: 20", "RING"): it must not end up inside a value.
bool IsUnsolicitedLine(const std::string& line, const char* answerToken)
{
    const std::string body = StripEnds(line, " \r");
    if (body.empty()) {
        return false;
    }
    if (body[0] == '^') {
        return true;
    }
    for (const char* bare : {"RING", "NO CARRIER", "SMS DONE", "SMS FULL"}) {
        if (body == bare) {
            return true;
        }
    }
    return body[0] == '+' && body.compare(0, std::string(answerToken).size(), answerToken) != 0;
}

const char* const kSmsCodeEnglish[SMS_CODE_COUNT] = {
    "Succeed",
    "Failed Unknown Reason",
    "Device Not AT",
    "Not VelTa Device",
    "No SIM CARD In Device",
    "No Signal",
    "No Such Port",
    "Not VelTa Sms Device",
    "SIM locked",
    "Not registered",
    "Registration denied",
    "SIM busy",
    "SIM failure",
};

static_assert(sizeof(Lang::SMS_CODE_LABELS) / sizeof(Lang::SMS_CODE_LABELS[0]) == SMS_CODE_COUNT,
              "every code has its label");

}  // namespace

std::string GetSmsCodeEnglishStr(SMS_CODE_ENUM code)
{
    const int value = static_cast<int>(code);
    if (value < 0 || value >= SMS_CODE_COUNT) {
        return "Unknown reason";
    }
    return kSmsCodeEnglish[value];
}

std::string GetSmsCodeChineseStr(SMS_CODE_ENUM code)
{
    const int value = static_cast<int>(code);
    if (value < 0 || value >= SMS_CODE_COUNT) {
        return Lang::SMS_CODE_LABELS[SMS_DEVICE_NOT_AT];
    }
    return Lang::SMS_CODE_LABELS[value];
}

// ---- generic judge

// any command -> lines ending in OK or ERROR, e.g. CR LF +CME ERROR: 10 CR LF
int CPhoneCardBase::OnOkErrorRsp(std::string rsp)
{
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    if (at < 0) {
        return RSP_MORE;
    }
    const int verdict = FinalResultOf(lines[at]);
    if (verdict == RSP_ERROR) {
        m_strErrorMessage = lines[at].text;
    }
    return verdict;
}

bool CPhoneCardBase::Contains(const std::string& text, const char* what)
{
    return text.find(what) != npos;
}

std::string CPhoneCardBase::StripCrLf(std::string text)
{
    return StripEnds(text, "\r\n");
}

// ---- virtual operations

std::string CPhoneCardBase::GetATCmd() const
{
    return "AT\r\n";
}

// AT -> "OK"
int CPhoneCardBase::OnGetAtCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetAtiCmd() const
{
    return "ATI\r\n";
}

// ATI -> manufacturer, model, revision... lines, e.g. Quectel CR LF EC20F CR LF ... OK
int CPhoneCardBase::OnGetAtiCmdRsp(std::string rsp)
{
    m_strAtiRsp = rsp;
    // The model is named early in the answer, but its revision, IMEI and OK
    // lines follow: deciding on the name would leave them to be read as the
    // answer to the next command.
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    if (at < 0) {
        return RSP_MORE;
    }
    return FinalResultOf(lines[at]) == RSP_OK && IsATI_RspMatch(rsp) ? RSP_OK : RSP_ERROR;
}

std::string CPhoneCardBase::Get_ATI_Rsp() const
{
    return "";
}

bool CPhoneCardBase::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "OK");
}

std::string CPhoneCardBase::GetCCIDCmd() const
{
    return "ATI+CCID\r";
}

bool CPhoneCardBase::OnCCIDCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetCallCmd(std::string number) const
{
    return "ATD" + number + ";\r";
}

bool CPhoneCardBase::OnCallCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetHungUpCmd() const
{
    return "ATH\r";
}

bool CPhoneCardBase::OnHungUpCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::SetSmsModeTextCmd() const
{
    return "at+cmgf=1\r";
}

bool CPhoneCardBase::OnSetSmsModeTextCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::SetSmsPDUModeCmd() const
{
    return "at+cmgf=0\r";
}

// at+cmgf=0 -> "OK"
int CPhoneCardBase::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetSendSMS_PhoneCmd(std::string phone) const
{
    return "at+cmgs=\"" + phone + "\"\r";
}

bool CPhoneCardBase::OnSendSMS_PhoneCmd(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetSendSMS_ContextCmd(std::string text) const
{
    return text + " " + PhoneTypeToString(GetPhoneType()) + "\r" + "\x1A";
}

bool CPhoneCardBase::OnSendSMS_ContextCmd(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetReceiveSmsCmd() const
{
    return "at+cmgr=1\r";
}

bool CPhoneCardBase::OnReceiveSmsCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetSetReceiveSmsStoreCmd() const
{
    return "at+cpms=\"SM\"\r";
}

bool CPhoneCardBase::OnSetReceiveSmsStoreCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetQueryReceiveSmsStoreCmd() const
{
    return "at + cpms?\r";
}

bool CPhoneCardBase::OnQueryReceiveSmsStoreCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp) == RSP_OK;
}

std::string CPhoneCardBase::GetIMSI_Cmd() const
{
    return "AT+CCID\r";
}

// AT+CCID -> "+CCID: <iccid>", e.g. +CCID: "89860012345678901234" then OK
int CPhoneCardBase::OnGetIMSI_CmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CCID:");
    if (answer.verdict != RSP_OK) {
        return answer.verdict;
    }
    if (!answer.hasValue) {
        m_strCardNumber.clear();
        return RSP_ERROR;
    }
    m_strCardNumber = StripEnds(StripEnds(StripEnds(answer.value, "\""), " "), "\"");
    return RSP_OK;
}

// AT^ICCID? -> "^ICCID: <iccid>", e.g. ^ICCID: 98681031098310024233 then OK
int CPhoneCardBase::OnCaretIccidRsp(const std::string& rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "^ICCID: ");
    if (answer.verdict == RSP_MORE) {
        return RSP_MORE;
    }
    // No card number line: a failure once the answer is finished.
    if (answer.verdict == RSP_ERROR || !answer.hasValue) {
        return RSP_ERROR;
    }
    m_strCardNumber = StripEnds(answer.value, " \r\n");
    return RSP_OK;
}

std::string CPhoneCardBase::GetIMEI_Cmd() const
{
    return "AT+CGSN\r";
}

// AT+CGSN -> "<imei>" or "+CGSN: <imei>", e.g. 861234567890123 then OK
int CPhoneCardBase::OnGetIMEI_Cmd(std::string rsp)
{
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    // What comes before the echo belongs to an earlier command.
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (Contains(lines[i].text, "AT+CGSN")) {
            start = i + 1;
            break;
        }
    }
    const int at = FindFinalResultLine(lines, start);
    if (at < 0) {
        return RSP_MORE;
    }
    if (FinalResultOf(lines[at]) == RSP_ERROR) {
        return RSP_ERROR;
    }
    std::string value;
    for (int i = static_cast<int>(start); i < at; ++i) {
        if (!IsUnsolicitedLine(lines[i].text, "+CGSN")) {
            value += lines[i].text;
        }
    }
    for (const char* noise : {"AT", "CGSN", "+", ":", "\"", "'", "\r", "\n", " "}) {
        StringReplace(value, noise, "");
    }
    m_strSerialNumber = value;
    return RSP_OK;
}

std::string CPhoneCardBase::GetSignalStrengthCmd() const
{
    return "at+csq\r";
}

// at+csq -> "+CSQ: <rssi>,<ber>", e.g. +CSQ: 17,99 then OK
int CPhoneCardBase::OnGetSignalStrengthCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CSQ:");
    if (answer.verdict != RSP_OK || !answer.hasValue) {
        // An ERROR answer is not final here: the caller's read limit ends it.
        m_strSignal.clear();
        return RSP_MORE;
    }
    m_strSignal = answer.value;
    return RSP_OK;
}

std::string CPhoneCardBase::GetQuerySmsCenterCmd() const
{
    return "AT+CSCA?\r";
}

// AT+CSCA? -> "+CSCA: \"<number>\",<type>", e.g. +CSCA: "+8613800000500",145 then OK
int CPhoneCardBase::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CSCA: \"");
    if (answer.verdict == RSP_ERROR) {
        m_strErrorMessage = answer.finalText;
        return RSP_ERROR;
    }
    if (answer.verdict == RSP_MORE || !answer.hasValue) {
        return answer.verdict;  // a bare OK leaves the centre as it was
    }
    const std::string::size_type comma = answer.value.find(',');
    if (comma == npos) {
        m_strSmsCenter.clear();
        return RSP_ERROR;
    }
    // Drop the closing quote in front of the comma.
    m_strSmsCenter = comma > 0 ? answer.value.substr(0, comma - 1) : std::string();
    return RSP_OK;
}

std::string CPhoneCardBase::GetDelAllSmsCmd() const
{
    return "AT+CMGD=0,4\r";
}

// AT+CMGD=0,4 -> "OK"
int CPhoneCardBase::OnDelAllSmsCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetRecvSmsCompatibleModeCmd() const
{
    return "AT\r";
}

// AT -> "OK"; the whole answer is kept as the error text on ERROR
int CPhoneCardBase::OnGetRecvSmsCompatibleModeCmdRsp(std::string rsp)
{
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    if (at < 0) {
        return RSP_MORE;
    }
    const int verdict = FinalResultOf(lines[at]);
    if (verdict == RSP_ERROR) {
        m_strErrorMessage = rsp;
    }
    return verdict;
}

std::string CPhoneCardBase::GetReadAllSmsCmd() const
{
    return "AT+CMGL=4\r\n";
}

bool CPhoneCardBase::NotFinished() const
{
    return false;
}

std::string CPhoneCardBase::GetReadNextSmsCmd()
{
    return "AT\r\n";
}

// AT -> "OK": nothing is pending here, so there is no message to take
int CPhoneCardBase::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

PHONE_TYPE_t CPhoneCardBase::GetPhoneType() const
{
    return PHONE_TYPE_BASE;
}

std::string CPhoneCardBase::GetSmsCardNumber() const
{
    return m_strCardNumber;
}

std::string CPhoneCardBase::GetSignalStrength() const
{
    return m_strSignal;
}

std::string CPhoneCardBase::GetSerialNumber() const
{
    return m_strSerialNumber;
}

std::string CPhoneCardBase::GetErrorMessage()
{
    m_strErrorMessage = StripCrLf(m_strErrorMessage);
    return m_strErrorMessage;
}

bool CPhoneCardBase::HasME() const
{
    return false;
}

std::string CPhoneCardBase::GetReadSmsOnMeCmd() const
{
    return "AT+CPMS=\"ME\"\r\n";
}

// AT+CPMS="ME" -> "+CPMS: <used>,<total>,..." then OK
int CPhoneCardBase::OnGetReadSmsOnMeCmd(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetReadSmsOnSmCmd() const
{
    return "AT+CPMS=\"SM\"\r\n";
}

// AT+CPMS="SM" -> "+CPMS: <used>,<total>,..." then OK
int CPhoneCardBase::OnGetReadSmsOnSmCmd(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::vector<std::string> CPhoneCardBase::GetInitAtCmd() const
{
    return {"AT+CMEE=1\r", "AT+CPMS=\"SM\"\r", "ATE0\r"};
}

// each initialisation command -> "OK"
int CPhoneCardBase::OnInitAtCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

// ---- helpers shared by model classes

std::vector<std::string> CPhoneCardBase::GetCurcInitAtCmd() const
{
    std::vector<std::string> cmds = CPhoneCardBase::GetInitAtCmd();
    cmds.push_back("AT^CURC=0\r\n");
    return cmds;
}
