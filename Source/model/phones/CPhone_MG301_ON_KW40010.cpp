#include "CPhone_MG301_ON_KW40010.h"

// sample answer, also tests/fixtures/ati/CPhone_MG301_ON_KW40010.txt
std::string CPhone_MG301_ON_KW40010::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model: MG301\r\n"
           "Revision: 12.810.08.33.00\r\n"
           "IMEI: 356568041234566\r\n"
           "+GCAP: +CGSM,+FCLASS,+DS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_MG301_ON_KW40010::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MG301");
}

PHONE_TYPE_t CPhone_MG301_ON_KW40010::GetPhoneType() const
{
    return PHONE_TYPE_MG301_ON;
}
