#ifndef TARNEL_CPHONEREADONEATATIME_H
#define TARNEL_CPHONEREADONEATATIME_H

#include <string>
#include <vector>

#include "PhoneCardBase.h"

// The models without a "+CMGL" listing: "AT+CMGD=?" names the used storage
// indices, then "AT+CMGR=<i>" reads each in turn. Everything else is the
// base class's, so a model deriving from here overrides only its identity
// and what its firmware does differently besides reading.
class CPhoneReadOneAtATime : public CPhoneCardBase
{
public:
    std::string GetReadAllSmsCmd() const override;
    // A new index list starts a fresh collection of the storage just selected.
    int OnReadAllSmsCmdRsp(std::string rsp) override;
    // True while listed indices are left to read.
    bool NotFinished() const override;
    // "AT+CMGR=<i>" for the next listed index ("" when none is left).
    std::string GetReadNextSmsCmd() override;
    int OnReadNextSmsCmdRsp(std::string rsp) override;

private:
    std::vector<std::string> m_vecPendingIndex;  // storage indices still to read, in the modem's order
};

#endif
