#ifndef TARNEL_CPHONE_MH5000_H
#define TARNEL_CPHONE_MH5000_H

#include <string>

#include "CPhoneCaretIccid.h"

// Huawei MH5000 (5G). Its number has no display name of its own.
class CPhone_MH5000 : public CPhoneCaretIccid
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
