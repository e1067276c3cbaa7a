#include "CPhone_K2210_RV3.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_RV3.txt
std::string CPhone_K2210_RV3::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_RV3\r\n"
           "Revision: CLM920_RV3_V1.0.3_20201109\r\n"
           "IMEI: 868033061234560\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_RV3::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_RV3") && Contains(rsp, "OK");
}

// CLM920_RV3 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_K2210_RV3::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_K2210_RV3::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_K2210_RV3::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_K2210_RV3::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// CLM920_RV3 may answer at+cmgf=0 with +CMGW: <n> instead of a bare OK
int CPhone_K2210_RV3::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    return OnPduModeRspAcceptCmgw(rsp);
}

// CLM920_RV3 may leave AT+CSCA? unanswered; the send goes on with the default centre
int CPhone_K2210_RV3::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    return OnSmsCenterRspNeverFails(rsp);
}

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhone_K2210_RV3::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhone_K2210_RV3::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

bool CPhone_K2210_RV3::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhone_K2210_RV3::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

bool CPhone_K2210_RV3::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

PHONE_TYPE_t CPhone_K2210_RV3::GetPhoneType() const
{
    return PHONE_TYPE_K2210_RV3;
}
