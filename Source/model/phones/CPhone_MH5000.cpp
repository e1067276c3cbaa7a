#include "CPhone_MH5000.h"

// sample answer, also tests/fixtures/ati/CPhone_MH5000.txt
std::string CPhone_MH5000::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model : MH5000 - 31\r\n"
           "Revision: 11.200.00.12.00\r\n"
           "IMEI: 862542041234568\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_MH5000::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MH5000");
}

PHONE_TYPE_t CPhone_MH5000::GetPhoneType() const
{
    return PHONE_TYPE_MH5000;
}
