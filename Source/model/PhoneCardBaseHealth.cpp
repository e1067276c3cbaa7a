// The health queries of CPhoneCardBase: SIM state, registration, radio,
// operator. The answers' fields are read by the parsers of ModemHealth.h.
#include "PhoneCardBase.h"

namespace {

const char* const kRegistrationTokens[REG_DOMAIN_COUNT] = {"+CREG:", "+CGREG:", "+CEREG:"};
const char* const kRegistrationCmds[REG_DOMAIN_COUNT] = {"AT+CREG?\r", "AT+CGREG?\r", "AT+CEREG?\r"};

}  // namespace

std::string CPhoneCardBase::GetReportErrorsCmd() const
{
    return "AT+CMEE=1\r";
}

// AT+CMEE=1 -> OK
int CPhoneCardBase::OnReportErrorsCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetSimStateCmd() const
{
    return "AT+CPIN?\r";
}

// AT+CPIN? -> "+CPIN: <code>", e.g. +CPIN: READY then OK; or +CME ERROR: 10 (no SIM)
int CPhoneCardBase::OnGetSimStateCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CPIN:");
    if (answer.verdict == RSP_MORE) {
        return RSP_MORE;
    }
    if (answer.verdict == RSP_OK) {
        m_health.sim = answer.hasValue ? ParseSimState(answer.value) : SimHealth_t();
    } else {
        m_health.sim = SimStateOfError(answer.finalText);
        m_strErrorMessage = answer.finalText;
    }
    return answer.verdict;
}

std::string CPhoneCardBase::GetRegistrationCmd(RegDomain_t domain)
{
    if (domain < REG_DOMAIN_CS || domain >= REG_DOMAIN_COUNT) {
        return std::string();
    }
    m_eRegDomainAsked = domain;
    return kRegistrationCmds[domain];
}

// AT+CREG? -> "+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>]]", e.g. +CREG: 0,1 then OK;
// an unsolicited +CREG: 1,"1A2B","01C3",7 may come before or inside it.
int CPhoneCardBase::OnGetRegistrationCmdRsp(std::string rsp)
{
    const char* const token = kRegistrationTokens[m_eRegDomainAsked];
    const std::size_t tokenLength = std::char_traits<char>::length(token);
    RegDomainHealth_t domain;
    domain.state = REG_STATE_UNKNOWN;
    bool solicited = false;
    for (const AnswerLine_t& line : SplitAnswerLines(rsp)) {
        if (!line.complete) {
            break;
        }
        if (!solicited && StartsWithToken(line, token)) {
            solicited = ParseRegistration(line.text.substr(line.text.find(token) + tokenLength), domain);
            continue;
        }
        const int verdict = FinalResultOf(line);
        if (verdict == RSP_MORE) {
            continue;
        }
        if (verdict == RSP_ERROR) {
            m_strErrorMessage = line.text;
            domain = RegDomainHealth_t();
        }
        m_health.domains[m_eRegDomainAsked] = domain;
        return verdict;
    }
    return RSP_MORE;
}

std::string CPhoneCardBase::GetRadioStateCmd() const
{
    return "AT+CFUN?\r";
}

// AT+CFUN? -> "+CFUN: <fun>", e.g. +CFUN: 1 then OK
int CPhoneCardBase::OnGetRadioStateCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CFUN:");
    if (answer.verdict != RSP_MORE) {
        m_health.radioOff = answer.verdict == RSP_OK && answer.hasValue && ParseRadioOff(answer.value);
    }
    return answer.verdict;
}

std::string CPhoneCardBase::GetOperatorFormatCmd() const
{
    return "AT+COPS=3,0\r";
}

// AT+COPS=3,0 -> OK
int CPhoneCardBase::OnSetOperatorFormatCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetOperatorCmd() const
{
    return "AT+COPS?\r";
}

// AT+COPS? -> "+COPS: <mode>[,<format>,<oper>[,<AcT>]]", e.g. +COPS: 0,0,"CHINA MOBILE",7 then OK
int CPhoneCardBase::OnGetOperatorCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+COPS:");
    if (answer.verdict == RSP_MORE) {
        return RSP_MORE;
    }
    m_health.operatorKnown = false;
    m_health.operatorName.clear();
    m_health.operatorAct = -1;
    m_nOperatorFormat = -1;
    if (answer.verdict == RSP_OK && answer.hasValue) {
        m_health.operatorKnown =
            ParseOperator(answer.value, m_health.operatorName, m_nOperatorFormat, m_health.operatorAct);
    } else if (answer.verdict == RSP_ERROR) {
        m_strErrorMessage = answer.finalText;
    }
    return answer.verdict;
}

std::string CPhoneCardBase::GetCharsetCmd() const
{
    std::string decoded;
    const bool alphanumeric = m_nOperatorFormat == 0 || m_nOperatorFormat == 1;
    const bool mayBeUcs2 = m_health.operatorKnown && alphanumeric &&
                           DecodeUcs2Hex(m_health.operatorName, decoded);
    return mayBeUcs2 ? "AT+CSCS?\r" : std::string();
}

// AT+CSCS? -> "+CSCS: \"<chset>\"", e.g. +CSCS: "UCS2" then OK
int CPhoneCardBase::OnGetCharsetCmdRsp(std::string rsp)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CSCS:");
    if (answer.verdict == RSP_OK && answer.hasValue && ParseCharsetIsUcs2(answer.value)) {
        // Decoded once: the name is now UTF-8, and is not asked about again.
        DecodeUcs2Hex(m_health.operatorName, m_health.operatorName);
        m_nOperatorFormat = -1;
    }
    return answer.verdict;
}
