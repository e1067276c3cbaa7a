#include "CPhone_MC323_ON.h"

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
// filled in with the send/read work
int CPhone_MC323_ON::OnSendPduSmsContextCmdRsp(std::string rsp)
{
    (void)rsp;
    return RSP_ERROR;
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

// filled in with the send/read work
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendLongPduSmsCmd(std::string phone, std::string text)
{
    (void)phone;
    (void)text;
    return {};
}

// AT^HCMGS="<number>" -> "> ", then UCS-2 text, a zero byte and Ctrl-Z
// filled in with the send/read work
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendSmsModePDUCmd(std::string phone, std::string text)
{
    (void)phone;
    (void)text;
    return {};
}
