#ifndef TARNEL_CPHONE_INCORPORATED_A7600C1_SE_H
#define TARNEL_CPHONE_INCORPORATED_A7600C1_SE_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// SIMCom A7600C1-SE (LTE); reads stored messages one at a time.
class CPhone_INCORPORATED_A7600C1_SE : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    std::string GetReadAllSmsCmd() const override;
    int OnReadAllSmsCmdRsp(std::string rsp) override;
    bool NotFinished() const override;
    std::string GetReadNextSmsCmd() override;
    bool OnReadNextSmsCmdRsp(std::string rsp) override;
    PHONE_TYPE_t GetPhoneType() const override;

private:
    std::vector<std::string> m_vecPendingIndex;  // storage indices still to read, in the modem's order
    std::vector<SmsInfo> m_vecSmsInfo;            // entries read so far
};

#endif
