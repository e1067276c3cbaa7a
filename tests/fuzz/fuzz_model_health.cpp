// The health answer handlers of every model class, and the parsers under
// them, on any answer. Input: the answer, then one byte (taken from the end)
// choosing the model.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "CreatePhone.h"
#include "ModemHealth.h"
#include "PhoneCardBase.h"
#include "fuzz_checks.h"

namespace {

void Verdict(int v)
{
    fuzz::Require(v == RSP_OK || v == RSP_ERROR || v == RSP_MORE);
}

void CheckHealth(const ModemHealth_t& health)
{
    fuzz::Require(health.sim.state >= SIM_STATE_UNKNOWN && health.sim.state <= SIM_STATE_FAILURE);
    for (const RegDomainHealth_t& domain : health.domains) {
        fuzz::Require(domain.state >= REG_STATE_NO_ANSWER && domain.state <= REG_STATE_HOME);
        fuzz::Require(domain.act >= -1 && domain.act <= 9999);
    }
    fuzz::Require(health.operatorAct >= -1 && health.operatorAct <= 9999);
    fuzz::Require(!health.operatorKnown || !health.operatorName.empty());
    TechnologyName(HealthTechnology(health));
    RegStateName(ConsolidatedRegistration(health));
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

    Verdict(phone->OnReportErrorsCmdRsp(rsp));
    Verdict(phone->OnGetSimStateCmdRsp(rsp));
    for (int domain = REG_DOMAIN_CS; domain < REG_DOMAIN_COUNT; ++domain) {
        phone->GetRegistrationCmd(static_cast<RegDomain_t>(domain));
        Verdict(phone->OnGetRegistrationCmdRsp(rsp));
    }
    Verdict(phone->OnGetRadioStateCmdRsp(rsp));
    Verdict(phone->OnSetOperatorFormatCmdRsp(rsp));
    Verdict(phone->OnGetOperatorCmdRsp(rsp));
    phone->GetCharsetCmd();
    // As if the modem's character set were UCS2, whatever the name.
    Verdict(phone->OnGetCharsetCmdRsp("\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n"));
    Verdict(phone->OnGetCharsetCmdRsp(rsp));
    CheckHealth(phone->GetHealth());

    // The parsers alone, on the whole answer as one value.
    const SignalHealth_t signal = ParseSignal(rsp);
    fuzz::Require(signal.quality == SIGNAL_UNKNOWN || (signal.dbm >= -113 && signal.dbm <= -51));
    SimStateOfError(rsp);
    ParseSimState(rsp);
    RegDomainHealth_t domain;
    ParseRegistration(rsp, domain);
    std::string utf8;
    if (DecodeUcs2Hex(rsp, utf8)) {
        fuzz::Require(fuzz::ValidUtf8(utf8.data(), utf8.size()));
    }
    return 0;
}
