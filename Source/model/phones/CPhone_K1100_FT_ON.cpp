#include "CPhone_K1100_FT_ON.h"

// sample answer, also tests/fixtures/ati/CPhone_K1100_FT_ON.txt
std::string CPhone_K1100_FT_ON::Get_ATI_Rsp() const
{
    return "\r\n"
           " WAVECOM MODEM\r\n"
           " MULTIBAND  900E  1800\r\n"
           "Revision: R7.43.0.201003261228.FXT009\r\n"
           "IMEI: 353176041234567\r\n"
           "+GCAP: +CGSM,+FCLASS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K1100_FT_ON::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "WAVECOM");
}

PHONE_TYPE_t CPhone_K1100_FT_ON::GetPhoneType() const
{
    return PHONE_TYPE_K1100B_FT_ON;
}
