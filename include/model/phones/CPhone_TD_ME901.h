#ifndef TARNEL_CPHONE_TD_ME901_H
#define TARNEL_CPHONE_TD_ME901_H

#include <string>

#include "CPhoneTdTechInit.h"
#include "PhoneCardBase.h"

// TD Tech ME901s (LTE).
class CPhone_TD_ME901 : public CPhoneTdTechInit<CPhoneCardBase>
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
