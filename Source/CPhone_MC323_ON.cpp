#include "CPhone_MC323_ON.h"

#include "StringUtil.h"

// sample answer, also tests/fixtures/ati/CPhone_MC323_ON.txt
std::string CPhone_MC323_ON::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model:MC323-a\r\n"
           "Revision: 11.105.10.00.00\r\n"
           "ESN:0x80A1B2C3\r\n"
           "+GCAP: +CIS707-A, +MS, +ES, +DS, +FCLASS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_MC323_ON::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MC323");
}

// CDMA dials with AT+CDV and hangs up with AT+CHV
std::string CPhone_MC323_ON::GetCallCmd(std::string number) const
{
    return "AT+CDV" + number + "\r\n";
}

bool CPhone_MC323_ON::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetHungUpCmd() const
{
    return "AT+CHV\r\n";
}

bool CPhone_MC323_ON::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// no PDU mode on CDMA: AT^HSMSSS=0,0,6,0 selects Unicode text -> OK
std::string CPhone_MC323_ON::SetSmsPDUModeCmd() const
{
    return "AT^HSMSSS=0,0,6,0\r\n";
}

// text after AT^HCMGS -> ^HCMGSS: <mr> on success, ^HCMGSF: <err> on failure
// (no retry codes on CDMA: the retry flag stays as it is)
int CPhone_MC323_ON::OnSendPduSmsContextCmdRsp(std::string rsp)
{
    for (const std::string& line : SplitStringToArray(rsp)) {
        if (Contains(line, "HCMGSS")) {
            return RSP_OK;
        }
        if (Contains(line, "ERROR") || Contains(line, "HCMGSF")) {
            m_strErrorMessage = StripCrLf(line);
            return RSP_ERROR;
        }
    }
    return RSP_MORE;
}

std::string CPhone_MC323_ON::GetSendSMS_PhoneCmd(std::string phone) const
{
    return "AT^HCMGS=\"" + phone + "\"\r\n";
}

bool CPhone_MC323_ON::OnSendSMS_PhoneCmd(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetReceiveSmsCmd() const
{
    return "at^hcmgr=1\r\n";
}

bool CPhone_MC323_ON::OnReceiveSmsCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetIMSI_Cmd() const
{
    return "AT+CCID\r\n";
}

// CDMA card: AT+CCID -> +CCID: <iccid> then OK; an ERROR counts once its line has ended
int CPhone_MC323_ON::OnGetIMSI_CmdRsp(std::string rsp)
{
    if (rsp.find("ERROR") != std::string::npos && rsp.back() == '\n') {
        return RSP_ERROR;
    }
    return OnCcidRsp(rsp);
}

std::string CPhone_MC323_ON::GetIMEI_Cmd() const
{
    return "AT+CGSN\r\n";
}

// CDMA has no service centre to ask: a plain AT -> OK, and the centre stays empty
std::string CPhone_MC323_ON::GetQuerySmsCenterCmd() const
{
    return "AT\r";
}

// text-mode listing: AT^HCMGL=4 -> ^HCMGL: <index>,<stat>,... per message
std::string CPhone_MC323_ON::GetReadAllSmsCmd() const
{
    return "AT^HCMGL=4\r\n";
}

// filled in with the send/read work
int CPhone_MC323_ON::OnReadAllSmsCmdRsp(std::string rsp)
{
    (void)rsp;
    return RSP_ERROR;
}

bool CPhone_MC323_ON::NotFinished() const
{
    return !m_vecPendingSms.empty();
}

// filled in with the send/read work
std::string CPhone_MC323_ON::GetReadNextSmsCmd()
{
    return "";
}

// AT^HCMGR=<i> -> ^HCMGR: <from>,<yyyy>,<mm>,<dd>,<hh>,<mi>,<ss>,<lang>,<enc>,... then the text
// filled in with the send/read work
bool CPhone_MC323_ON::OnReadNextSmsCmdRsp(std::string rsp)
{
    (void)rsp;
    return false;
}

PHONE_TYPE_t CPhone_MC323_ON::GetPhoneType() const
{
    return PHONE_TYPE_MC323_ON;
}

// MC323 reports ^RSSI lines unasked until AT^RSSIREP=0
std::vector<std::string> CPhone_MC323_ON::GetInitAtCmd() const
{
    std::vector<std::string> cmds = CPhoneCardBase::GetInitAtCmd();
    cmds.push_back("AT^RSSIREP=0\r\n");
    return cmds;
}

// Parts of AT^HCMGS text: at most 140 bytes of UCS-2 each, the last of
// them the part marker "(k/n)", then a zero byte and Ctrl-Z.
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendLongPduSmsCmd(std::string phone, std::string text)
{
    std::string ucs2;
    if (!CheckSendNumber(phone) || !EncodeTextUcs2(text, ucs2)) {
        return {};
    }
    const std::string lenCmd = "AT^HCMGS=\"" + phone + "\"\r";
    auto marker = [](std::size_t k, std::size_t n) {
        std::string m;
        for (char c : "(" + std::to_string(k) + "/" + std::to_string(n) + ")") {
            m += '\0';
            m += c;
        }
        return m;
    };
    // The announced count n must match the parts made, but the room for text
    // shrinks as the markers grow ("(1/10)" is wider than "(1/9)"): start
    // from 128 bytes of text per part and recount until both agree.
    std::size_t n = ucs2.size() / 128 + (ucs2.size() % 128 != 0 ? 1 : 0);
    if (n == 0) {
        n = 1;
    }
    std::vector<PDU_LONG_SMS_Base_t> steps;
    for (int attempt = 0; attempt < 8; ++attempt) {
        steps.clear();
        std::size_t pos = 0;
        for (std::size_t k = 1; pos < ucs2.size() || k == 1; ++k) {
            const std::string m = marker(k, n);
            std::size_t take = 140 - m.size() - 2;
            if (take > ucs2.size() - pos) {
                take = ucs2.size() - pos;
            } else if (take >= 2) {
                // Never end a part on the first half of a surrogate pair.
                const unsigned char hi = static_cast<unsigned char>(ucs2[pos + take - 2]);
                if (hi >= 0xD8 && hi <= 0xDB) {
                    take -= 2;
                }
            }
            PDU_LONG_SMS_Base_t step;
            step.lenCmd = lenCmd;
            step.pduContent = ucs2.substr(pos, take) + m + '\0' + '\x1A';
            steps.push_back(std::move(step));
            pos += take;
        }
        if (steps.size() == n) {
            break;
        }
        n = steps.size();
    }
    return steps;
}

// AT^HCMGS="<number>" -> "> ", then UCS-2 text, a zero byte and Ctrl-Z
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendSmsModePDUCmd(std::string phone, std::string text)
{
    std::string ucs2;
    if (!CheckSendNumber(phone) || !EncodeTextUcs2(text, ucs2)) {
        return {};
    }
    PDU_LONG_SMS_Base_t step;
    step.lenCmd = "AT^HCMGS=\"" + phone + "\"\r";
    step.pduContent = ucs2 + '\0' + '\x1A';
    return {step};
}
