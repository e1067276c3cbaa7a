#include "CPhone_TD_ME909.h"

// sample answer, also tests/fixtures/ati/CPhone_TD_ME909.txt
std::string CPhone_TD_ME909::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: TD Tech Ltd.\r\n"
           "Model: ME909s-805g\r\n"
           "Revision: 11.617.01.00.00\r\n"
           "IMEI: 867223031234562\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_TD_ME909::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "ME909");
}

PHONE_TYPE_t CPhone_TD_ME909::GetPhoneType() const
{
    return PHONE_TYPE_TD_ME909;
}
