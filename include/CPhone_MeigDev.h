#ifndef TARNEL_CPHONE_MEIGDEV_H
#define TARNEL_CPHONE_MEIGDEV_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// MeiG SRM821 (LTE); reads stored messages one at a time.
class CPhone_MeigDev : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    std::string GetCallCmd(std::string number) const override;
    bool OnCallCmdRsp(std::string rsp) override;
    std::string GetHungUpCmd() const override;
    bool OnHungUpCmdRsp(std::string rsp) override;
    int OnSetSmsPduModeCmdRsp(std::string rsp) override;
    int OnGetQuerySmsCenterCmdRsp(std::string rsp) override;
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
