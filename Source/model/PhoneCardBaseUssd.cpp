// USSD codes: the request, its reply and the session's end. The reply is an
// unsolicited "+CUSD:" line that may come seconds after the request's OK.
#include "ModemHealth.h"
#include "PhoneCardBase.h"

bool CPhoneCardBase::SupportsUssd() const
{
    return true;
}

UssdSevenBitForm_t CPhoneCardBase::GetUssdSevenBitForm() const
{
    return USSD_7BIT_CHARSET;
}

std::string CPhoneCardBase::GetUssdModeCmd() const
{
    return std::string();
}

int CPhoneCardBase::OnGetUssdModeCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetUssdCharsetCmd() const
{
    return "AT+CSCS?\r";
}

// AT+CSCS? -> +CSCS: "UCS2" then OK
int CPhoneCardBase::OnGetUssdCharsetCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CSCS:");
    if (answer.verdict == RSP_MORE) {
        return RSP_MORE;
    }
    m_strUssdCharset = answer.verdict == RSP_OK && answer.hasValue ? ParseCharsetName(answer.value) : std::string();
    return answer.verdict;
}

std::string CPhoneCardBase::GetSetCharsetCmd(const std::string& charset) const
{
    // A name read from the modem goes back into quotes: nothing that could end them.
    if (charset.empty() || charset.find_first_of("\"\r\n") != std::string::npos) {
        return std::string();
    }
    return "AT+CSCS=\"" + charset + "\"\r";
}

int CPhoneCardBase::OnSetCharsetCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetUssdRequestCmd(const std::string& code) const
{
    const std::string onLine = GetUssdSevenBitForm() == USSD_7BIT_PACKED ? PackUssdCode(code) : code;
    return "AT+CUSD=1,\"" + onLine + "\",15\r";
}

// AT+CUSD=1,"*100#",15 -> OK, seconds later +CUSD: 0,"Balance 12.30",15
// (or the reply first, then OK; or +CME ERROR: 30 at once)
int CPhoneCardBase::OnUssdRequestRsp(std::string rsp)
{
    const std::size_t tag = rsp.find("+CUSD:");
    if (OnUssdReplyElsewhereRsp(rsp) == RSP_OK) {
        return RSP_OK;
    }
    // Only a final line before the reply decides: a menu's text may hold any line.
    for (const AnswerLine_t& line : SplitAnswerLines(rsp.substr(0, tag))) {
        const int verdict = FinalResultOf(line);
        if (verdict == RSP_ERROR) {
            m_strErrorMessage = line.text;
            return RSP_ERROR;
        }
    }
    return RSP_MORE;
}

// e.g. on the primary port: ^RSSI: 20 CR LF +CUSD: 0,"Balance 12.30",15 CR LF
int CPhoneCardBase::OnUssdReplyElsewhereRsp(std::string rsp)
{
    // Any port's beginning of a reply counts: a reply cut short is told apart from none.
    m_bUssdReplyStarted = m_bUssdReplyStarted || rsp.find("+CUSD:") != std::string::npos;
    std::size_t end = 0;
    if (ParseUssdLine(rsp, 0, m_ussdReply, end) == USSD_LINE_COMPLETE) {
        return RSP_OK;
    }
    m_ussdReply = UssdLine_t();  // only a whole reply is one
    return RSP_MORE;
}

std::string CPhoneCardBase::GetUssdCancelCmd() const
{
    return "AT+CUSD=2\r";
}

int CPhoneCardBase::OnUssdCancelRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}
