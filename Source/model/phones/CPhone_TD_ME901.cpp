#include "CPhone_TD_ME901.h"

// sample answer, also tests/fixtures/ati/CPhone_TD_ME901.txt
std::string CPhone_TD_ME901::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: TD Tech Ltd.\r\n"
           "Model: ME901s-806p\r\n"
           "Revision: 11.617.02.00.00\r\n"
           "IMEI: 867223041234563\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_TD_ME901::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "ME901");
}

PHONE_TYPE_t CPhone_TD_ME901::GetPhoneType() const
{
    return PHONE_TYPE_TD_ME901;
}
