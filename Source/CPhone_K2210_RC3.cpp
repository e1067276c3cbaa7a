#include "CPhone_K2210_RC3.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_RC3.txt
std::string CPhone_K2210_RC3::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_RC3\r\n"
           "Revision: CLM920_RC3_V1.0.7_20200612\r\n"
           "IMEI: 868033051234569\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_RC3::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_RC3") && Contains(rsp, "OK");
}

// CLM920_RC3 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_K2210_RC3::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_K2210_RC3::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_K2210_RC3::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_K2210_RC3::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// CLM920_RC3 may answer at+cmgf=0 with +CMGW: <n> instead of a bare OK
int CPhone_K2210_RC3::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    return OnPduModeRspAcceptCmgw(rsp);
}

// CLM920_RC3 may leave AT+CSCA? unanswered; the send goes on with the default centre
int CPhone_K2210_RC3::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    return OnSmsCenterRspNeverFails(rsp);
}

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhone_K2210_RC3::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhone_K2210_RC3::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

bool CPhone_K2210_RC3::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhone_K2210_RC3::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

bool CPhone_K2210_RC3::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

PHONE_TYPE_t CPhone_K2210_RC3::GetPhoneType() const
{
    return PHONE_TYPE_K2210_RC3;
}
