#include "CPhone_K2210_NC5.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_NC5.txt
std::string CPhone_K2210_NC5::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_NC5\r\n"
           "Revision: CLM920_NC5_V1.1.5_20190328\r\n"
           "IMEI: 868033041234564\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_NC5::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_NC5") && Contains(rsp, "OK");
}

// CLM920_NC5 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_K2210_NC5::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_K2210_NC5::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_K2210_NC5::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_K2210_NC5::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// CLM920_NC5 may answer at+cmgf=0 with +CMGW: <n> instead of a bare OK
int CPhone_K2210_NC5::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    return OnPduModeRspAcceptCmgw(rsp);
}

// CLM920_NC5 may leave AT+CSCA? unanswered; the send goes on with the default centre
int CPhone_K2210_NC5::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    return OnSmsCenterRspNeverFails(rsp);
}

// CLM920_NC5 lists messages only after AT+ATVER=1 -> OK
std::string CPhone_K2210_NC5::GetRecvSmsCompatibleModeCmd() const
{
    return "AT+ATVER=1\r";
}

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhone_K2210_NC5::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhone_K2210_NC5::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

bool CPhone_K2210_NC5::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhone_K2210_NC5::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

bool CPhone_K2210_NC5::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

PHONE_TYPE_t CPhone_K2210_NC5::GetPhoneType() const
{
    return PHONE_TYPE_K2210_NC5;
}
