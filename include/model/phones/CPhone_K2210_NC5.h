#ifndef TARNEL_CPHONE_K2210_NC5_H
#define TARNEL_CPHONE_K2210_NC5_H

#include <string>

#include "CPhoneYugaMeig.h"

// Yuga CLM920_NC5 (LTE).
class CPhone_K2210_NC5 : public CPhoneYugaMeig
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    std::string GetRecvSmsCompatibleModeCmd() const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
