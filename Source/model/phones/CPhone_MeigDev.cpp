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

PHONE_TYPE_t CPhone_MeigDev::GetPhoneType() const
{
    return PHONE_TYPE_MEIGDEV;
}
