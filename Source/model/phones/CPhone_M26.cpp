#include "CPhone_M26.h"

// sample answer, also tests/fixtures/ati/CPhone_M26.txt
std::string CPhone_M26::Get_ATI_Rsp() const
{
    return "\r\n"
           "Quectel_M26\r\n"
           "Revision: M26FBR03A01\r\n"
           "IMEI: 865067031234562\r\n"
           "+GCAP: +CGSM,+FCLASS,+DS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_M26::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "Quectel_M26");
}

PHONE_TYPE_t CPhone_M26::GetPhoneType() const
{
    return PHONE_TYPE_M26;
}
