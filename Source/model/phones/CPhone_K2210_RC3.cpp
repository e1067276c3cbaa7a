#include "CPhone_K2210_RC3.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_RC3.txt
std::string CPhone_K2210_RC3::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_RC3\r\n"
           "Revision: CLM920_RC3_V1.0.7_20200612\r\n"
           "IMEI: 868033051234569\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_RC3::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_RC3") && Contains(rsp, "OK");
}

PHONE_TYPE_t CPhone_K2210_RC3::GetPhoneType() const
{
    return PHONE_TYPE_K2210_RC3;
}
