#include "CPhoneYugaMeig.h"

// CLM920 and SRM821 want CR LF after ATD and hang up with AT+CHUP; any answer counts
std::string CPhoneYugaMeig::GetCallCmd(std::string number) const
{
    return GetCrLfCallCmd(number);
}

bool CPhoneYugaMeig::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhoneYugaMeig::GetHungUpCmd() const
{
    return GetChupHungUpCmd();
}

bool CPhoneYugaMeig::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// at+cmgf=0 may be answered with +CMGW: <n> instead of a bare OK
int CPhoneYugaMeig::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    const std::string::size_type at = rsp.find("+CMGW: ");
    if (at != std::string::npos && rsp.find('\r', at + 7) != std::string::npos) {
        return RSP_OK;
    }
    return CPhoneCardBase::OnSetSmsPduModeCmdRsp(rsp);
}

// AT+CSCA? may stay unanswered; the send goes on with the default centre
int CPhoneYugaMeig::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    CPhoneCardBase::OnGetQuerySmsCenterCmdRsp(rsp);
    return RSP_OK;
}
