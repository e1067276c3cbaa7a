#include "CPhone_K2210_RV3.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_RV3.txt
std::string CPhone_K2210_RV3::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_RV3\r\n"
           "Revision: CLM920_RV3_V1.0.3_20201109\r\n"
           "IMEI: 868033061234560\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_RV3::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_RV3") && Contains(rsp, "OK");
}

PHONE_TYPE_t CPhone_K2210_RV3::GetPhoneType() const
{
    return PHONE_TYPE_K2210_RV3;
}
