// The health of the modems: asked for the table of menu key 4, for the scan
// document and before sending. No PIN is ever sent: a wrong one retried by a program locks the
// SIM for good, so a locked SIM is reported and left as it is.
#include "CCheckManager.h"

#include <algorithm>

#include "ComPortBase.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "StopSignal.h"
#include "basic.h"

namespace {

// How long a SIM still busy (or not ready) after power-on is waited for.
constexpr int64_t SIM_BUSY_WAIT_USEC = 20 * 1000000LL;
// How often a SIM or a registration being waited for is asked again.
constexpr int64_t HEALTH_POLL_USEC = 1000000;

bool IsBusy(const CPhoneCardBase* model)
{
    return model->GetHealth().sim.state == SIM_STATE_BUSY;
}

// Asks the SIM state again every second while the SIM is busy (it serves
// shortly after power-on), for up to SIM_BUSY_WAIT_USEC; true when it was
// busy at first.
bool WaitWhileSimBusy(CPhoneCardBase* model, CComPortBase* port)
{
    if (!IsBusy(model)) {
        return false;
    }
    const int64_t end = MonotonicUsec() + SIM_BUSY_WAIT_USEC;
    while (IsBusy(model) && !StopRequested()) {
        const int64_t left = end - MonotonicUsec();
        if (left <= 0) {
            break;
        }
        SleepUnlessStopped(std::min(left, HEALTH_POLL_USEC));
        CCheckManager::RunComCmdGetSimState(model, port);
    }
    return true;
}

// The code a SIM state fails a port's sends with; SMS_SUCCEED where it may
// send (ready, or a state the modem would not tell).
CCheckManager::SendHealth_t HealthOfSim(const SimHealth_t& sim)
{
    CCheckManager::SendHealth_t health;
    switch (sim.state) {
    case SIM_STATE_PIN:
    case SIM_STATE_PUK:
    case SIM_STATE_OTHER_LOCK:
        health.code = SMS_SIM_LOCKED;
        health.lock = sim.lock;
        break;
    case SIM_STATE_FAILURE: health.code = SMS_SIM_FAILURE; break;
    case SIM_STATE_BUSY: health.code = SMS_SIM_BUSY; break;
    case SIM_STATE_ABSENT:
    case SIM_STATE_NOT_READY: health.code = SMS_NO_SIM_CARD; break;
    case SIM_STATE_READY:
    case SIM_STATE_UNKNOWN: break;
    }
    return health;
}

bool IsRegistered(RegState_t state)
{
    return state == REG_STATE_HOME || state == REG_STATE_ROAMING;
}

}  // namespace

void CCheckManager::QueryRegistration(CPhoneCardBase* model, CComPortBase* port)
{
    for (int domain = REG_DOMAIN_CS; domain < REG_DOMAIN_COUNT; ++domain) {
        RunComCmdGetRegistration(model, port, static_cast<RegDomain_t>(domain));
    }
}

void CCheckManager::QueryModemHealth(CPhoneCardBase* model, CComPortBase* port)
{
    RunComCmdReportErrors(model, port);
    RunComCmdGetSimState(model, port);
    QueryRegistration(model, port);
    if (IsRegistered(ConsolidatedRegistration(model->GetHealth()))) {
        // A modem that keeps its own name format still answers the query.
        RunComCmdSetOperatorFormat(model, port);
        RunComCmdGetOperator(model, port);
        RunComCmdGetCharset(model, port);
    } else {
        RunComCmdGetRadioState(model, port);
    }
}

std::vector<ModemHealth_t> CCheckManager::HealthOfModems(const std::vector<ComPortBaseInfo_t>& records)
{
    // One slot per record, sized before the workers start.
    std::vector<ModemHealth_t> health(records.size());
    RunOnPorts(records, TAKE_FOR_MODEL, [&health](std::size_t i, ModemWork_t& modem) {
        CComPortBase* const port = modem.Port();
        if (modem.model && port != nullptr && port->Open() == 1) {
            QueryModemHealth(modem.model.get(), port);
            health[i] = modem.model->GetHealth();
        }
    });
    return health;
}

void CCheckManager::OnShowHealth()
{
    std::vector<ComPortBaseInfo_t> records;
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        if (entry.bAtOk) {
            records.push_back(RecordFromEntry(entry, true));
        }
    }
    const std::vector<ModemHealth_t> health = HealthOfModems(records);
    if (StopRequested()) {
        return;
    }
    PrintHealthTable(records, health);
    WaitForMenuKey(Lang::HEALTH_BACK);
}

CCheckManager::SendHealth_t CCheckManager::WhyNoSimNumber(ModemWork_t& modem)
{
    CPhoneCardBase* const model = modem.model.get();
    CComPortBase* const port = modem.Port();
    SendHealth_t health;
    health.code = SMS_NO_SIM_CARD;
    if (model == nullptr || port == nullptr || port->Open() != 1) {
        return health;
    }
    RunComCmdReportErrors(model, port);
    RunComCmdGetSimState(model, port);
    if (WaitWhileSimBusy(model, port) && !IsBusy(model) &&
        RunComCmdGetSmsCardNumber(model, port) && !model->GetSmsCardNumber().empty()) {
        modem.record.strSmsCardNumber = model->GetSmsCardNumber();
        health.code = SMS_SUCCEED;
        return health;
    }
    health = HealthOfSim(model->GetHealth().sim);
    if (health.code == SMS_SUCCEED) {
        health.code = SMS_NO_SIM_CARD;
    }
    return health;
}

CCheckManager::SendHealth_t CCheckManager::CheckSendHealth(CPhoneCardBase* model, CComPortBase* port)
{
    RunComCmdGetSimState(model, port);
    WaitWhileSimBusy(model, port);
    SendHealth_t health = HealthOfSim(model->GetHealth().sim);
    if (health.code != SMS_SUCCEED) {
        return health;
    }
    const int64_t end = MonotonicUsec() + static_cast<int64_t>(g_nRegWaitSec) * 1000000;
    bool radioAsked = false;
    for (;;) {
        QueryRegistration(model, port);
        health.registration = ConsolidatedRegistration(model->GetHealth());
        if (health.registration == REG_STATE_DENIED) {
            health.code = SMS_REGISTRATION_DENIED;
            return health;
        }
        if (health.registration != REG_STATE_SEARCHING && health.registration != REG_STATE_NOT_REGISTERED) {
            return health;  // registered, or a modem that cannot tell: sent from as it always was
        }
        if (!radioAsked) {
            radioAsked = true;
            RunComCmdGetRadioState(model, port);
            if (model->GetHealth().radioOff) {
                health.code = SMS_NOT_REGISTERED;
                health.radioOff = true;
                return health;
            }
        }
        const int64_t left = end - MonotonicUsec();
        if (left <= 0 || StopRequested()) {
            health.code = SMS_NOT_REGISTERED;
            return health;
        }
        SleepUnlessStopped(std::min(left, HEALTH_POLL_USEC));
    }
}

std::string CCheckManager::SendHealthText(const SendHealth_t& health, bool catalogue)
{
    std::string text = catalogue ? GetSmsCodeChineseStr(health.code) : GetSmsCodeEnglishStr(health.code);
    std::string detail;
    if (health.code == SMS_SIM_LOCKED) {
        detail = health.lock;  // the modem's own name of the lock, the same in both builds
    } else if (health.code == SMS_NOT_REGISTERED) {
        if (health.radioOff) {
            detail = catalogue ? Lang::HEALTH_RADIO_OFF : RADIO_OFF_NAME;
        } else {
            detail = catalogue ? Lang::HEALTH_REG_STATES[health.registration] : RegStateName(health.registration);
        }
    }
    return detail.empty() ? text : text + ": " + detail;
}

CCheckManager::SendHealth_t CCheckManager::CheckUssdHealth(CPhoneCardBase* model, CComPortBase* port)
{
    RunComCmdReportErrors(model, port);
    RunComCmdGetSimState(model, port);
    WaitWhileSimBusy(model, port);
    SendHealth_t health = HealthOfSim(model->GetHealth().sim);
    if (health.code != SMS_SUCCEED) {
        return health;
    }
    RunComCmdGetRegistration(model, port, REG_DOMAIN_CS);
    health.registration = model->GetHealth().domains[REG_DOMAIN_CS].state;
    switch (health.registration) {
    case REG_STATE_DENIED: health.code = SMS_REGISTRATION_DENIED; break;
    case REG_STATE_NOT_REGISTERED:
    case REG_STATE_SEARCHING: health.code = SMS_NOT_REGISTERED; break;
    default: break;  // registered, or a modem that cannot tell: the code is sent
    }
    return health;
}
