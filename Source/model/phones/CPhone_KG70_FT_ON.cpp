#include "CPhone_KG70_FT_ON.h"

// sample answer, also tests/fixtures/ati/CPhone_KG70_FT_ON.txt
std::string CPhone_KG70_FT_ON::Get_ATI_Rsp() const
{
    return "\r\n"
           "Quectel_M35\r\n"
           "Revision: M35FAR01A02\r\n"
           "IMEI: 865067021234561\r\n"
           "+GCAP: +CGSM,+FCLASS,+DS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_KG70_FT_ON::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "M35");
}

PHONE_TYPE_t CPhone_KG70_FT_ON::GetPhoneType() const
{
    return PHONE_TYPE_KG70_FT_ON;
}
