#include "CPhoneYugaMeig.h"

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
