#include "CPhone_TD_MH5000.h"

// sample answer, also tests/fixtures/ati/CPhone_TD_MH5000.txt
std::string CPhone_TD_MH5000::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: TD Tech Ltd.\r\n"
           "Model : MH5000 - 82M\r\n"
           "Revision: 11.200.01.05.00\r\n"
           "IMEI: 862542051234564\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_TD_MH5000::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MH5000");
}

PHONE_TYPE_t CPhone_TD_MH5000::GetPhoneType() const
{
    return PHONE_TYPE_TD_MH5000;
}
