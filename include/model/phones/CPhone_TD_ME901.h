#ifndef TARNEL_CPHONE_TD_ME901_H
#define TARNEL_CPHONE_TD_ME901_H

#include <string>

#include "CPhoneTdTechInit.h"
#include "CPhoneUssdMode.h"
#include "PhoneCardBase.h"

// TD Tech ME901s (LTE).
class CPhone_TD_ME901 : public CPhoneTdTechInit<CPhoneUssdMode<CPhoneCardBase>>
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
