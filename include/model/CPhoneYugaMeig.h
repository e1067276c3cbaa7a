#ifndef TARNEL_CPHONEYUGAMEIG_H
#define TARNEL_CPHONEYUGAMEIG_H

#include <string>

#include "CPhoneReadOneAtATime.h"

// The Yuga CLM920 modules and the MeiG SRM821 share one firmware family:
// besides reading one message at a time they dial with CR LF, hang up with
// AT+CHUP, may confirm PDU mode with "+CMGW: <n>" and may leave the
// service-centre query unanswered.
class CPhoneYugaMeig : public CPhoneReadOneAtATime
{
public:
    std::string GetCallCmd(std::string number) const override;
    bool OnCallCmdRsp(std::string rsp) override;
    std::string GetHungUpCmd() const override;
    bool OnHungUpCmdRsp(std::string rsp) override;
    int OnSetSmsPduModeCmdRsp(std::string rsp) override;
    int OnGetQuerySmsCenterCmdRsp(std::string rsp) override;
};

#endif
