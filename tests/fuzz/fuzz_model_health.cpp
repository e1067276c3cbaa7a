// The health answer handlers of every model class, and the parsers under
// them, on any answer. Input: the answer, then one byte (taken from the end)
// choosing the model.

#include <cstdint>
#include <memory>
#include <string>

#include "ModemHealth.h"
#include "fuzz_model.h"

namespace {

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
    int type = 0;
    const std::unique_ptr<CPhoneCardBase> phone = fuzz::ModelOfInput(in, type);
    const std::string rsp = in.ConsumeRemainingBytesAsString();

    fuzz::RequireVerdict(phone->OnReportErrorsCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetSimStateCmdRsp(rsp));
    for (int domain = REG_DOMAIN_CS; domain < REG_DOMAIN_COUNT; ++domain) {
        phone->GetRegistrationCmd(static_cast<RegDomain_t>(domain));
        fuzz::RequireVerdict(phone->OnGetRegistrationCmdRsp(rsp));
    }
    fuzz::RequireVerdict(phone->OnGetRadioStateCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnSetOperatorFormatCmdRsp(rsp));
    fuzz::RequireVerdict(phone->OnGetOperatorCmdRsp(rsp));
    phone->GetCharsetCmd();
    // As if the modem's character set were UCS2, whatever the name.
    fuzz::RequireVerdict(phone->OnGetCharsetCmdRsp("\r\n+CSCS: \"UCS2\"\r\n\r\nOK\r\n"));
    fuzz::RequireVerdict(phone->OnGetCharsetCmdRsp(rsp));
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
