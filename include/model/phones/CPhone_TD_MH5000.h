#ifndef TARNEL_CPHONE_TD_MH5000_H
#define TARNEL_CPHONE_TD_MH5000_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// TD Tech MH5000 (5G). Never recognised from ATI (CPhone_MH5000 takes
// every "MH5000" answer first); made only from its stored type.
class CPhone_TD_MH5000 : public CPhoneCardBase
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
