#ifndef TARNEL_CPHONE_K2210_RC3_H
#define TARNEL_CPHONE_K2210_RC3_H

#include <string>

#include "CPhoneYugaMeig.h"

// Yuga CLM920_RC3 (LTE).
class CPhone_K2210_RC3 : public CPhoneYugaMeig
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
