// The identity and status answer handlers of every model class, on any answer.
// Input: the answer, then one byte (taken from the end) choosing the model.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "CreatePhone.h"
#include "PhoneCardBase.h"
#include "fuzz_checks.h"

namespace {

void Verdict(int v)
{
    fuzz::Require(v == RSP_OK || v == RSP_ERROR || v == RSP_MORE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // The base class or any registered model.
    const int type = in.ConsumeIntegralInRange<int>(PHONE_TYPE_BASE, RegisteredModels().back().type);
    const std::string rsp = in.ConsumeRemainingBytesAsString();
    std::unique_ptr<CPhoneCardBase> phone(type == PHONE_TYPE_BASE ? new CPhoneCardBase() : GetPhoneByType(type));
    fuzz::Require(phone != nullptr);

    Verdict(phone->OnGetAtCmdRsp(rsp));
    Verdict(phone->OnGetAtiCmdRsp(rsp));
    phone->IsATI_RspMatch(rsp);
    Verdict(phone->OnGetIMSI_CmdRsp(rsp));
    Verdict(phone->OnGetIMEI_Cmd(rsp));
    Verdict(phone->OnGetSignalStrengthCmdRsp(rsp));
    Verdict(phone->OnGetQuerySmsCenterCmdRsp(rsp));
    Verdict(phone->OnSetSmsPduModeCmdRsp(rsp));
    Verdict(phone->OnGetRecvSmsCompatibleModeCmdRsp(rsp));
    Verdict(phone->OnInitAtCmdRsp(rsp));
    Verdict(phone->OnGetReadSmsOnMeCmd(rsp));
    Verdict(phone->OnGetReadSmsOnSmCmd(rsp));
    Verdict(phone->OnDelAllSmsCmdRsp(rsp));
    Verdict(phone->OnDelSmsCmdRsp(rsp));
    Verdict(phone->OnGetClockCmdRsp(rsp));
    int64_t clock = 0;
    phone->GetModemClock(clock);
    phone->GetSmsCardNumber();
    phone->GetSignalStrength();
    phone->GetSerialNumber();
    phone->GetErrorMessage();
    RecogniseModel(rsp, ModelOrder::Detection);
    return 0;
}
