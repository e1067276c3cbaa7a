#include "CPhone_INCORPORATED_A7600C1_SE.h"

// sample answer, also tests/fixtures/ati/CPhone_INCORPORATED_A7600C1_SE.txt
std::string CPhone_INCORPORATED_A7600C1_SE::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: SIMCOM INCORPORATED\r\n"
           "Model: A7600C1-SE\r\n"
           "Revision: A011B03A7600C1_SE\r\n"
           "IMEI: 862636051234565\r\n"
           "+GCAP: +CGSM,+FCLASS,+DS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_INCORPORATED_A7600C1_SE::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "OK") &&
           (Contains(rsp, "A7600C1-SE") || Contains(rsp, "SIMCOM_SIM7600CE-L") || Contains(rsp, "SIMCOM_SIM7600"));
}

// no +CMGL listing: AT+CMGD=? -> +CMGD: (1,2,5),(0-4) names the used indices
std::string CPhone_INCORPORATED_A7600C1_SE::GetReadAllSmsCmd() const
{
    return "AT+CMGD=?\r\n";
}

int CPhone_INCORPORATED_A7600C1_SE::OnReadAllSmsCmdRsp(std::string rsp)
{
    return OnCmgdIndexListRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

bool CPhone_INCORPORATED_A7600C1_SE::NotFinished() const
{
    return !m_vecPendingIndex.empty();
}

std::string CPhone_INCORPORATED_A7600C1_SE::GetReadNextSmsCmd()
{
    return TakeNextCmgrCmd(m_vecPendingIndex);
}

bool CPhone_INCORPORATED_A7600C1_SE::OnReadNextSmsCmdRsp(std::string rsp)
{
    return OnCmgrReadRsp(rsp, m_vecPendingIndex, m_vecSmsInfo);
}

PHONE_TYPE_t CPhone_INCORPORATED_A7600C1_SE::GetPhoneType() const
{
    return PHONE_TYPE_INCORPORATED_A7600C1_SE;
}
