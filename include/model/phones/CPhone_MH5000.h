#ifndef TARNEL_CPHONE_MH5000_H
#define TARNEL_CPHONE_MH5000_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// Huawei MH5000 (5G). Its number has no display name of its own.
class CPhone_MH5000 : public CPhoneCardBase
{
public:
    std::string Get_ATI_Rsp() const override;
    bool IsATI_RspMatch(std::string rsp) const override;
    std::string GetCallCmd(std::string number) const override;
    bool OnCallCmdRsp(std::string rsp) override;
    std::string GetHungUpCmd() const override;
    bool OnHungUpCmdRsp(std::string rsp) override;
    std::string GetIMSI_Cmd() const override;
    int OnGetIMSI_CmdRsp(std::string rsp) override;
    PHONE_TYPE_t GetPhoneType() const override;
    std::vector<std::string> GetInitAtCmd() const override;
};

#endif
