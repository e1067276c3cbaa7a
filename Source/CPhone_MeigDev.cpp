#include "CPhone_MeigDev.h"

// sample answer, also tests/fixtures/ati/CPhone_MeigDev.txt
std::string CPhone_MeigDev::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: MEIG\r\n"
           "Model: SRM821\r\n"
           "Revision: SRM821_CN_R1.2.0_20210506\r\n"
           "IMEI: 864394051234561\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_MeigDev::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MEIG") && Contains(rsp, "OK");
}

// SRM821 wants CR LF after ATD and hangs up with AT+CHUP; any answer counts
std::string CPhone_MeigDev::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhone_MeigDev::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MeigDev::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhone_MeigDev::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// SRM821 may answer at+cmgf=0 with +CMGW: <n> instead of a bare OK
int CPhone_MeigDev::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    return OnPduModeRspAcceptCmgw(rsp);
}

// SRM821 may leave AT+CSCA? unanswered; the send goes on with the default centre
int CPhone_MeigDev::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    return OnSmsCenterRspNeverFails(rsp);
}

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhone_MeigDev::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhone_MeigDev::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

bool CPhone_MeigDev::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhone_MeigDev::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

bool CPhone_MeigDev::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

PHONE_TYPE_t CPhone_MeigDev::GetPhoneType() const
{
    return PHONE_TYPE_MEIGDEV;
}
