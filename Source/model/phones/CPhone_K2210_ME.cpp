#include "CPhone_K2210_ME.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_ME.txt
std::string CPhone_K2210_ME::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model: ME909s-821\r\n"
           "Revision: 11.617.04.00.00\r\n"
           "IMEI: 867223021234565\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_ME::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "ME909s-821");
}

PHONE_TYPE_t CPhone_K2210_ME::GetPhoneType() const
{
    return PHONE_TYPE_K2210_ME;
}
