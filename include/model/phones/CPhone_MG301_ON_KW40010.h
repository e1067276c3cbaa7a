#ifndef TARNEL_CPHONE_MG301_ON_KW40010_H
#define TARNEL_CPHONE_MG301_ON_KW40010_H

#include <string>
#include <vector>

#include "CPhoneUssdMode.h"
#include "PhoneCardBase.h"

// Huawei MG301 (GSM).
class CPhone_MG301_ON_KW40010 : public CPhoneUssdMode<CPhoneCardBase>
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    PHONE_TYPE_t GetPhoneType() const override;
};

#endif
