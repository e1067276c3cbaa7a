#include "CPhone_EC20F.h"

// sample answer, also tests/fixtures/ati/CPhone_EC20F.txt
std::string CPhone_EC20F::Get_ATI_Rsp() const
{
    return "\r\n"
           "Quectel\r\n"
           "EC20F\r\n"
           "Revision: EC20CEFAGR06A09M4G\r\n"
           "IMEI: 861234567890123\r\n"
           "+GCAP: +CGSM\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_EC20F::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "EC20F") || Contains(rsp, "Quectel\r") || Contains(rsp, "Quectel\n") ||
           Contains(rsp, "EC20");
}

PHONE_TYPE_t CPhone_EC20F::GetPhoneType() const
{
    return PHONE_TYPE_EC20F;
}
