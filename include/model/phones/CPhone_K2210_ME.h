#ifndef TARNEL_CPHONE_K2210_ME_H
#define TARNEL_CPHONE_K2210_ME_H

#include <string>

#include "CPhoneCaretIccid.h"

// Huawei ME909s-821 (LTE).
class CPhone_K2210_ME : public CPhoneCaretIccid
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
