#ifndef TARNEL_CPHONE_TD_MH5000_H
#define TARNEL_CPHONE_TD_MH5000_H

#include <string>

#include "CPhoneCaretIccid.h"
#include "CPhoneTdTechInit.h"

// TD Tech MH5000 (5G). Never recognised from ATI (CPhone_MH5000 takes
// every "MH5000" answer first); made only from its stored type.
class CPhone_TD_MH5000 : public CPhoneTdTechInit<CPhoneCaretIccid>
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
