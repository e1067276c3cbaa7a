#ifndef TARNEL_CPHONEYUGAMEIG_H
#define TARNEL_CPHONEYUGAMEIG_H

#include <string>

#include "CPhoneCrLfDial.h"
#include "CPhoneReadOneAtATime.h"

// The Yuga CLM920 modules and the MeiG SRM821 share one firmware family:
// besides reading one message at a time they dial with CR LF, hang up with
// AT+CHUP, may confirm PDU mode with "+CMGW: <n>" and may leave the
// service-centre query unanswered.
class CPhoneYugaMeig : public CPhoneCrLfDial<CPhoneReadOneAtATime>
{
public:
    int OnSetSmsPduModeCmdRsp(std::string rsp) override;
    int OnGetQuerySmsCenterCmdRsp(std::string rsp) override;
};

#endif
