#ifndef TARNEL_CPHONE_M26_H
#define TARNEL_CPHONE_M26_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// Quectel M26 (GSM).
class CPhone_M26 : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
