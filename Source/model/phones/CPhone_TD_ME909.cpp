#include "CPhone_TD_ME909.h"

// sample answer, also tests/fixtures/ati/CPhone_TD_ME909.txt
std::string CPhone_TD_ME909::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: TD Tech Ltd.\r\n"
           "Model: ME909s-805g\r\n"
           "Revision: 11.617.01.00.00\r\n"
           "IMEI: 867223031234562\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_TD_ME909::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "ME909");
}

// ME909s-805g wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_TD_ME909::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_TD_ME909::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_TD_ME909::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_TD_ME909::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_TD_ME909::GetIMSI_Cmd() const
{
    return "AT^ICCID?\r\n";
}

// ME909s-805g has no +CCID: AT^ICCID? -> ^ICCID: <iccid> then OK (fixture iccid/CPhone_TD_ME909.txt)
int CPhone_TD_ME909::OnGetIMSI_CmdRsp(std::string rsp)
{
    return OnCaretIccidRsp(rsp);
}

PHONE_TYPE_t CPhone_TD_ME909::GetPhoneType() const
{
    return PHONE_TYPE_TD_ME909;
}

// TD Tech firmware needs unsolicited reports off and all three storages on the SIM
std::vector<std::string> CPhone_TD_ME909::GetInitAtCmd() const
{
    return GetTdInitAtCmd();
}
