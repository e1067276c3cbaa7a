#include "ModemWork.h"

#include "ComPortBase.h"
#include "CreatePhone.h"
#include "PhoneCardBase.h"
#include "StopSignal.h"

ModemWork_t::ModemWork_t(const ComPortBaseInfo_t& modemRecord, CComPortBase* port) : record(modemRecord)
{
    UsePort(port);
    RemakeModel();
}

ModemWork_t::~ModemWork_t() = default;
ModemWork_t::ModemWork_t(ModemWork_t&&) noexcept = default;

CComPortBase* ModemWork_t::Port() const
{
    return ports.empty() ? nullptr : ports.front();
}

void ModemWork_t::UsePort(CComPortBase* port)
{
    ports.clear();
    if (port != nullptr) {
        ports.push_back(port);
    }
}

bool ModemWork_t::NeedsPorts(PortTakeRule_t rule) const
{
    switch (rule) {
    case TAKE_ALWAYS:
        return true;
    case TAKE_FOR_MODEL:
        // Nothing is sent without a model; a busy port is yet to be examined.
        return model || record.Unavailable();
    case TAKE_FOR_SENDING: {
        // A modem without a SIM number is asked why (a lock, a busy SIM).
        const bool sends = record.bInTable && record.bOpened && record.bAtOk && model;
        return (sends || record.Unavailable()) && !StopRequested();
    }
    }
    return false;
}

void ModemWork_t::RemakeModel()
{
    model.reset(GetPhoneByType(record.nPhoneType));
}

bool ReadEachPortOnce(const std::vector<CComPortBase*>& ports, int64_t notAfterUsec,
                      std::vector<PortInput_t>& inputs)
{
    inputs.resize(ports.size());
    bool anyAlive = false;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortInput_t& port = inputs[i];
        if (port.alive) {
            port.alive = ports[i] != nullptr && ports[i]->ReadAll(port.input, notAfterUsec) == 1;
        }
        anyAlive = anyAlive || port.alive;
    }
    return anyAlive;
}

bool ModemWork_t::ListenOnPorts(std::vector<std::string>& texts, int64_t notAfterUsec, int wakeFd) const
{
    texts.resize(ports.size());
    CComPortBase::WaitForInput(ports, notAfterUsec, wakeFd);
    bool alive = true;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ports[i]->TakeQueuedInput(texts[i]);
        alive = alive && ports[i]->HasGoneAway() != 1;
    }
    return alive;
}
