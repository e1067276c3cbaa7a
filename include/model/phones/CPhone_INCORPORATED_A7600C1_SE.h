#ifndef TARNEL_CPHONE_INCORPORATED_A7600C1_SE_H
#define TARNEL_CPHONE_INCORPORATED_A7600C1_SE_H

#include <string>

#include "CPhoneReadOneAtATime.h"

// SIMCom A7600C1-SE (LTE).
class CPhone_INCORPORATED_A7600C1_SE : public CPhoneReadOneAtATime
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
