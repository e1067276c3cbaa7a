// The identity and status answer handlers of every model class, on any answer.
// Input: the answer, then one byte (taken from the end) choosing the model.

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int type = 0;
    const std::unique_ptr<CPhoneCardBase> phone = fuzz::ModelOfInput(in, type);
    const std::string rsp = in.ConsumeRemainingBytesAsString();

    fuzz::RequireVerdict(phone->OnGetAtCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetAtiCmdRsp(rsp));
    phone->IsATI_RspMatch(rsp);
    fuzz::RequireVerdict(phone->OnGetIMSI_CmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetIMEI_Cmd(rsp));
    fuzz::RequireVerdict(phone->OnGetSignalStrengthCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetQuerySmsCenterCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnSetSmsPduModeCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetRecvSmsCompatibleModeCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnInitAtCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetReadSmsOnMeCmd(rsp));
    fuzz::RequireVerdict(phone->OnGetReadSmsOnSmCmd(rsp));
    fuzz::RequireVerdict(phone->OnDelAllSmsCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnDelSmsCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetClockCmdRsp(rsp));
    int64_t clock = 0;
    phone->GetModemClock(clock);
    phone->GetSmsCardNumber();
    phone->GetSignalStrength();
    phone->GetSerialNumber();
    phone->GetErrorMessage();
    RecogniseModel(rsp, ModelOrder::Detection);
    return 0;
}
