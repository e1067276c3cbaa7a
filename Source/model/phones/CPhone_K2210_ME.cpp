#include "CPhone_K2210_ME.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_ME.txt
std::string CPhone_K2210_ME::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model: ME909s-821\r\n"
           "Revision: 11.617.04.00.00\r\n"
           "IMEI: 867223021234565\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_ME::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "ME909s-821");
}

// ME909s-821 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_K2210_ME::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_K2210_ME::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_K2210_ME::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_K2210_ME::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_K2210_ME::GetIMSI_Cmd() const
{
    return "AT^ICCID?\r\n";
}

// ME909s-821 has no +CCID: AT^ICCID? -> ^ICCID: <iccid> then OK (fixture iccid/CPhone_K2210_ME.txt)
int CPhone_K2210_ME::OnGetIMSI_CmdRsp(std::string rsp)
{
    return OnCaretIccidRsp(rsp);
}

PHONE_TYPE_t CPhone_K2210_ME::GetPhoneType() const
{
    return PHONE_TYPE_K2210_ME;
}

// ME909s-821 reports ^RSSI/^MODE lines unasked until AT^CURC=0
std::vector<std::string> CPhone_K2210_ME::GetInitAtCmd() const
{
    return GetCurcInitAtCmd();
}
