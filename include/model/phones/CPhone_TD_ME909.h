#ifndef TARNEL_CPHONE_TD_ME909_H
#define TARNEL_CPHONE_TD_ME909_H

#include <string>

#include "CPhoneCaretIccid.h"
#include "CPhoneTdTechInit.h"

// TD Tech ME909s (LTE).
class CPhone_TD_ME909 : public CPhoneTdTechInit<CPhoneCaretIccid>
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
