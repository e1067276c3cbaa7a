// Building the send steps of an SMS and judging the two answers of each step.
#include "PhoneCardBase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SmsCharset.h"
#include "SmsEncode.h"
#include "StringUtil.h"

namespace {

constexpr char CTRL_Z = 0x1A;
// Most UCS-2 units of a text that still goes out as one SMS.
constexpr std::size_t SINGLE_SMS_UNITS = 67;
// TP-DA holds at most 20 digits.
constexpr std::size_t MAX_ADDRESS_DIGITS = 20;
// The service-centre field of the parameter record holds 15 digits.
constexpr std::size_t MAX_SCA_DIGITS = 15;

const char* const ERR_BAD_TEXT = "Text cannot be encoded: valid neither in the locale's encoding nor as UTF-8";
const char* const ERR_BAD_NUMBER = "Invalid destination number";
const char* const ERR_TOO_LONG = "Text too long: more than 255 parts";

bool AllDigits(const std::string& s, std::size_t from)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
    }
    return true;
}

// The centre number as the encoders take it: digits only. Anything else
// (a UCS-2 hex form, an over-long number) would make a malformed PDU, so the
// modem's own centre is used instead.
std::string CentreDigits(const std::string& centre)
{
    const std::size_t from = !centre.empty() && centre[0] == '+' ? 1 : 0;
    const std::size_t n = centre.size() - from;
    if (n == 0 || n > MAX_SCA_DIGITS || !AllDigits(centre, from)) {
        return std::string();
    }
    return centre.substr(from);
}

// A decimal code as atoi reads it, without atoi's overflow.
long CodeOf(const std::string& piece)
{
    return std::strtol(piece.c_str(), nullptr, 10);
}

}  // namespace

bool CPhoneCardBase::CheckSendNumber(const std::string& phone)
{
    const std::size_t from = !phone.empty() && phone[0] == '+' ? 1 : 0;
    const std::size_t n = phone.size() - from;
    if (n == 0 || n > MAX_ADDRESS_DIGITS || !AllDigits(phone, from)) {
        m_strErrorMessage = ERR_BAD_NUMBER;
        return false;
    }
    return true;
}

bool CPhoneCardBase::EncodeTextUcs2(const std::string& text, std::string& ucs2)
{
    ucs2.clear();
    if (text.empty()) {
        return true;
    }
    std::string buf(2 * text.size(), '\0');
    const int n = gsmEncodeUcs2(text.c_str(), reinterpret_cast<unsigned char*>(&buf[0]),
                                static_cast<int>(text.size()));
    if (n < 0) {
        m_strErrorMessage = ERR_BAD_TEXT;
        return false;
    }
    buf.resize(static_cast<std::size_t>(n));
    ucs2.swap(buf);
    return true;
}

std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendPduSmsCmdArray(std::string phone, std::string text)
{
    if (IsLongSms(text)) {
        return GetSendLongPduSmsCmd(phone, text);
    }
    return GetSendSmsModePDUCmd(phone, text);
}

bool CPhoneCardBase::IsLongSms(const std::string& text)
{
    const std::wstring wide = String2WString(text);
    if (std::getenv("VT-OUT") != nullptr) {
        std::printf("string len: %zu, wstring len: %zu\n", text.size(), wide.size());
    }
    // An emoji goes out as two UCS-2 units and takes the room of two characters.
    return Ucs2UnitCount(wide) > SINGLE_SMS_UNITS;
}

CountryCode_t CPhoneCardBase::JudgePhoneCountryCode(const std::string& phone)
{
    CountryCode_t result;
    result.hasCountryCode = (phone.size() == 15 && phone.compare(0, 4, "0086") == 0) ||
                            (phone.size() == 13 && phone.compare(0, 2, "86") == 0);
    return result;
}

std::string CPhoneCardBase::ModifyPhoneCode(const std::string& phone, bool hasCountryCode)
{
    if (hasCountryCode && phone.size() >= 3 && phone.compare(0, 2, "00") == 0) {
        return phone.substr(2);
    }
    return phone;
}

namespace {

// The record both send forms start from. False when the number cannot be an
// address (checked by the caller first, so this only guards the field size).
bool FillSendParam(SM_PARAM& param, const std::string& tpa, bool hasCountryCode,
                   const std::string& centre)
{
    std::memset(&param, 0, sizeof param);
    if (tpa.size() >= sizeof param.tpa) {
        return false;
    }
    std::memcpy(param.tpa, tpa.data(), tpa.size());
    const std::string sca = CentreDigits(centre);
    std::memcpy(param.sca, sca.data(), sca.size());
    // A number written with "+" already carries its country code; sending it
    // as a national number would address a different subscriber.
    param.bNational = !hasCountryCode && tpa[0] != '+';
    param.tp_dcs = 8;
    return true;
}

}  // namespace

bool CPhoneCardBase::PrepareSubmit(const std::string& phone, const std::string& text, SM_PARAM& param,
                                   std::wstring& wide)
{
    const CountryCode_t cc = JudgePhoneCountryCode(phone);
    const std::string tpa = ModifyPhoneCode(phone, cc.hasCountryCode);
    if (!CheckSendNumber(tpa) || !FillSendParam(param, tpa, cc.hasCountryCode, m_strSmsCenter)) {
        m_strErrorMessage = ERR_BAD_NUMBER;
        return false;
    }
    if (!MultiByteToWide(text.c_str(), text.size(), wide)) {
        m_strErrorMessage = ERR_BAD_TEXT;
        return false;
    }
    return true;
}

bool CPhoneCardBase::SendsInGsm7(const std::wstring& wide) const
{
    std::vector<uint8_t> septets;
    return m_eSendEncoding == SMS_ENCODING_AUTO && gsmWideToGsm7(wide, septets);
}

std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendGsm7PduSmsCmd(SM_PARAM& param, const std::string& text)
{
    param.tp_dcs = 0;
    param.text = text.c_str();
    std::vector<std::string> parts;
    if (!gsmGsm7SmsPdu(&param, parts)) {
        m_strErrorMessage = ERR_TOO_LONG;
        return {};
    }
    std::vector<PDU_LONG_SMS_Base_t> steps = StepsOfParts(parts);
    if (steps.size() == 1) {
        m_strLenCmd = steps[0].lenCmd;
    }
    return steps;
}

std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::StepsOfParts(const std::vector<std::string>& parts)
{
    std::vector<PDU_LONG_SMS_Base_t> steps;
    steps.reserve(parts.size());
    for (const std::string& part : parts) {
        unsigned char scaLen = 0;
        if (part.size() < 2) {
            continue;  // never made by the encoder
        }
        gsmString2Bytes(part.c_str(), &scaLen, 2);
        const int tpduLen = static_cast<int>(part.size() / 2) - (scaLen + 1);
        char cmd[32];
        std::snprintf(cmd, sizeof cmd, "AT+CMGS=%d\r", tpduLen);
        PDU_LONG_SMS_Base_t step;
        step.lenCmd = cmd;
        step.pduContent = part + CTRL_Z;
        steps.push_back(std::move(step));
    }
    return steps;
}

// One SMS-SUBMIT for a text of at most 67 characters, whatever its byte length.
std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendSmsModePDUCmd(std::string phone, std::string text)
{
    SM_PARAM param;
    std::wstring wide;
    if (!PrepareSubmit(phone, text, param, wide)) {
        return {};
    }
    if (SendsInGsm7(wide)) {
        return GetSendGsm7PduSmsCmd(param, text);
    }
    if (text.size() >= sizeof param.tp_ud || Ucs2UnitCount(wide) > SHORT_SMS_MAX_UNITS) {
        // Only reached when called directly with a long text.
        return GetSendLongPduSmsCmd(phone, text);
    }
    std::memcpy(param.tp_ud, text.data(), text.size());

    const std::string pdu = gsmEncodePduNew(&param, m_strLenCmd);
    if (pdu.empty()) {
        m_strErrorMessage = ERR_BAD_TEXT;
        return {};
    }
    PDU_LONG_SMS_Base_t step;
    step.lenCmd = m_strLenCmd;
    step.pduContent = pdu;
    return {step};
}

// Concatenated parts (in 7-bit a text of up to 160 septets is still one SMS).
std::vector<PDU_LONG_SMS_Base_t> CPhoneCardBase::GetSendLongPduSmsCmd(std::string phone, std::string text)
{
    SM_PARAM param;
    std::wstring wide;
    if (!PrepareSubmit(phone, text, param, wide)) {
        return {};
    }
    if (SendsInGsm7(wide)) {
        return GetSendGsm7PduSmsCmd(param, text);
    }
    param.text = text.c_str();
    std::vector<std::string> parts;
    if (!gsmLongSmsPdu(&param, parts, true)) {
        m_strErrorMessage = wide.empty() ? ERR_BAD_TEXT : ERR_TOO_LONG;
        return {};
    }
    return StepsOfParts(parts);
}

// AT+CMGS=<n> -> "\r\n> " (the prompt, no line end) or "\r\n+CMS ERROR: 304\r\n"
int CPhoneCardBase::OnSendPduSmsLenCmdRsp(std::string rsp)
{
    // Only a finished error line counts: "+CMS ERROR: 3" may still become
    // 304 or 330. An "OK" is no answer to the length command.
    for (const AnswerLine_t& line : SplitAnswerLines(rsp)) {
        if (IsPromptLine(line)) {
            return RSP_OK;
        }
        if (FinalResultOf(line) == RSP_ERROR) {
            m_strErrorMessage = line.text;
            return RSP_ERROR;
        }
    }
    return RSP_MORE;
}

// <pdu> Ctrl-Z -> "\r\n+CMGS: 12\r\n\r\nOK\r\n" or "\r\n+CMS ERROR: 500\r\n"
int CPhoneCardBase::OnSendPduSmsContextCmdRsp(std::string rsp)
{
    m_bSendRetry = false;
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    if (at < 0) {
        return RSP_MORE;
    }
    const AnswerLine_t& line = lines[at];
    if (FinalResultOf(line) == RSP_OK) {
        return RSP_OK;
    }
    // Codes 500..600 are network or modem trouble that may pass.
    for (const std::string& piece : SplitStringByChar(line.text, ' ')) {
        const long code = CodeOf(piece);
        if (code >= 500 && code <= 600) {
            m_bSendRetry = true;
        }
    }
    m_strErrorMessage = line.text;
    return RSP_ERROR;
}
