#include "CPhone_TD_MH5000.h"

// sample answer, also tests/fixtures/ati/CPhone_TD_MH5000.txt
std::string CPhone_TD_MH5000::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: TD Tech Ltd.\r\n"
           "Model : MH5000 - 82M\r\n"
           "Revision: 11.200.01.05.00\r\n"
           "IMEI: 862542051234564\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_TD_MH5000::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MH5000");
}

// TD MH5000 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_TD_MH5000::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_TD_MH5000::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_TD_MH5000::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_TD_MH5000::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_TD_MH5000::GetIMSI_Cmd() const
{
    return "AT^ICCID?\r\n";
}

// TD MH5000 has no +CCID: AT^ICCID? -> ^ICCID: <iccid> then OK (fixture iccid/CPhone_TD_MH5000.txt)
int CPhone_TD_MH5000::OnGetIMSI_CmdRsp(std::string rsp)
{
    return OnCaretIccidRsp(rsp);
}

PHONE_TYPE_t CPhone_TD_MH5000::GetPhoneType() const
{
    return PHONE_TYPE_TD_MH5000;
}

// TD Tech firmware needs unsolicited reports off and all three storages on the SIM
std::vector<std::string> CPhone_TD_MH5000::GetInitAtCmd() const
{
    return GetTdInitAtCmd();
}
