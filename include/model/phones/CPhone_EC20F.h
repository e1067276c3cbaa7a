#ifndef TARNEL_CPHONE_EC20F_H
#define TARNEL_CPHONE_EC20F_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// Quectel EC20F (LTE); a bare "Quectel" line also names it.
class CPhone_EC20F : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
