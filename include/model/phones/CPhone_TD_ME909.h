#ifndef TARNEL_CPHONE_TD_ME909_H
#define TARNEL_CPHONE_TD_ME909_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// TD Tech ME909s (LTE).
class CPhone_TD_ME909 : public CPhoneCardBase
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
