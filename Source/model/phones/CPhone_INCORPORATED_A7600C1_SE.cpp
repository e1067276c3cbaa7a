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

PHONE_TYPE_t CPhone_INCORPORATED_A7600C1_SE::GetPhoneType() const
{
    return PHONE_TYPE_INCORPORATED_A7600C1_SE;
}
