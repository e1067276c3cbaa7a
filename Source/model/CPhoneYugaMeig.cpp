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

// at+cmgf=0 may be answered with a complete +CMGW: <n> line instead of a bare OK
int CPhoneYugaMeig::OnSetSmsPduModeCmdRsp(std::string rsp)
{
    for (const AnswerLine_t& line : SplitAnswerLines(rsp)) {
        if (line.complete && StartsWithToken(line, "+CMGW: ")) {
            return RSP_OK;
        }
    }
    return CPhoneCardBase::OnSetSmsPduModeCmdRsp(rsp);
}

// AT+CSCA? may stay unanswered or fail; the send goes on with the default
// centre. Silence is final at once; an answer that has begun is read to its
// final line, so that none of it is left for the next command.
int CPhoneYugaMeig::OnGetQuerySmsCenterCmdRsp(std::string rsp)
{
    if (rsp.empty()) {
        return RSP_OK;
    }
    return CPhoneCardBase::OnGetQuerySmsCenterCmdRsp(rsp) == RSP_MORE ? RSP_MORE : RSP_OK;
}
