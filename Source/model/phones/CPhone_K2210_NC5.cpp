#include "CPhone_K2210_NC5.h"

// sample answer, also tests/fixtures/ati/CPhone_K2210_NC5.txt
std::string CPhone_K2210_NC5::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Yuga Co.,Ltd.\r\n"
           "Model: CLM920_NC5\r\n"
           "Revision: CLM920_NC5_V1.1.5_20190328\r\n"
           "IMEI: 868033041234564\r\n"
           "+GCAP: +CGSM,+DS,+ES\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_K2210_NC5::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "CLM920_NC5") && Contains(rsp, "OK");
}

// CLM920_NC5 lists messages only after AT+ATVER=1 -> OK
std::string CPhone_K2210_NC5::GetRecvSmsCompatibleModeCmd() const
{
    return "AT+ATVER=1\r";
}

PHONE_TYPE_t CPhone_K2210_NC5::GetPhoneType() const
{
    return PHONE_TYPE_K2210_NC5;
}
