#include "CPhoneReadOneAtATime.h"

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhoneReadOneAtATime::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhoneReadOneAtATime::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex);
}

bool CPhoneReadOneAtATime::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhoneReadOneAtATime::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

int CPhoneReadOneAtATime::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp);
}
