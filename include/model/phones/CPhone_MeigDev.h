#ifndef TARNEL_CPHONE_MEIGDEV_H
#define TARNEL_CPHONE_MEIGDEV_H

#include <string>

#include "CPhoneYugaMeig.h"

// MeiG SRM821 (LTE).
class CPhone_MeigDev : public CPhoneYugaMeig
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
