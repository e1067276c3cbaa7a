#ifndef TARNEL_CPHONE_KG70_FT_ON_H
#define TARNEL_CPHONE_KG70_FT_ON_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// Quectel M35 (GSM).
class CPhone_KG70_FT_ON : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
