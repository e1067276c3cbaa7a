// Ports held between the scan and the workflow, and taking a port for a
// workflow's work on it.
#include "CCheckManager.h"

#include <cstdio>
#include <map>
#include <memory>

#include "ComPortBase.h"
#include "Lang.h"
#include "ModemWork.h"
#include "PortDiscovery.h"
#include "PortWorkers.h"
#include "basic.h"

namespace {

// "held by process N", or "held by another program" when N cannot be told.
std::string HolderText(pid_t pid)
{
    return pid > 0 ? "held by process " + std::to_string(pid) : std::string("held by another program");
}

// One line on standard error in one write, so the workers' lines never mix;
// standard output stays the one JSON document.
void SayOnStderr(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

void CCheckManager::ReleasePorts()
{
    m_heldPorts.clear();
}

CCheckManager::WorkPorts_t::WorkPorts_t() = default;
CCheckManager::WorkPorts_t::~WorkPorts_t() = default;
CCheckManager::WorkPorts_t::WorkPorts_t(WorkPorts_t&&) noexcept = default;

CCheckManager::WorkPorts_t CCheckManager::TakeWorkPorts(const std::vector<ComPortBaseInfo_t>& records)
{
    WorkPorts_t work;
    std::map<std::string, std::size_t> slotOf;
    for (const ComPortBaseInfo_t& record : records) {
        const auto found = slotOf.emplace(record.strPortName, work.ports.size());
        if (found.second) {
            const auto held = m_heldPorts.find(record.strPortName);
            work.ports.push_back(held == m_heldPorts.end() ? nullptr : std::move(held->second));
        }
        work.paths.push_back(record.strPortName);
        work.slot.push_back(found.first->second);
    }
    work.lastRecord.assign(work.ports.size(), 0);
    for (std::size_t i = 0; i < work.slot.size(); ++i) {
        work.lastRecord[work.slot[i]] = i;
    }
    // Ports the workflow does not use are given back to other programs now.
    ReleasePorts();
    return work;
}

void CCheckManager::RunOnPorts(const std::vector<ComPortBaseInfo_t>& records, PortTakeRule_t rule,
                               const std::function<void(std::size_t, ModemWork_t&)>& work,
                               const std::function<void(std::size_t)>& done)
{
    WorkPorts_t ports = TakeWorkPorts(records);
    CPortWorkers workers(ports.paths, [&](std::size_t i) {
        std::unique_ptr<CComPortBase>& port = ports.Of(i);
        {
            ModemWork_t modem(records[i], port.get());
            if (modem.NeedsPorts(rule)) {
                const PHONE_TYPE_t chosenType = modem.record.nPhoneType;
                modem.taken = TakeWorkPort(modem.record, port, m_bSayWaits) ? PORTS_TAKEN : PORTS_BUSY;
                modem.UsePort(port.get());
                // A port the scan found busy has been examined now: its model may be another.
                if (modem.record.nPhoneType != chosenType) {
                    modem.RemakeModel();
                }
            }
            work(i, modem);
        }
        // Let go at once rather than when the whole workflow ends: another
        // run may be waiting for this port while it holds one we wait for.
        if (ports.IsLastUse(i)) {
            port.reset();
        }
    });
    for (std::size_t i = 0; i < records.size(); ++i) {
        workers.WaitFor(i);
        if (done) {
            done(i);
        }
    }
}

bool CCheckManager::TakeWorkPort(ComPortBaseInfo_t& record, std::unique_ptr<CComPortBase>& port, bool sayWaits)
{
    if (port && port->IsOpened() == 1) {
        return true;  // held since the scan
    }
    const int rate = record.Unavailable() ? DETECT_RATES[0] : record.nBaudRate;
    // A first look without waiting, so that a wait can be said before it begins.
    port = std::make_unique<CComPortBase>(record.strPortName, rate);
    if (port->IsBusy() == 1 && g_nBusyWaitSec > 0) {
        const std::string name = ShortPortName(record.strPortName);
        const int64_t start = MonotonicUsec();
        if (sayWaits) {
            SayOnStderr(name + ": " + HolderText(port->GetBusyPid()) + ", waiting up to " +
                        std::to_string(g_nBusyWaitSec) + " s");
        }
        port = std::make_unique<CComPortBase>(record.strPortName, rate, g_nBusyWaitSec * 1000);
        if (sayWaits) {
            // Tenths: a wait the other run ended at once reads "0.2 s", not "0 s".
            const int64_t tenths = (MonotonicUsec() - start) / 100000;
            const std::string waited = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
            SayOnStderr(port->IsBusy() == 1
                            ? name + ": still " + HolderText(port->GetBusyPid()) + " after " + waited + ", given up"
                            : name + ": free after " + waited);
        }
    }
    if (port->IsBusy() == 1) {
        record.bBusy = true;
        record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
        port.reset();
        return false;
    }
    if (!port->GetLockError().empty()) {
        record.strLockError = port->GetLockError();
        port.reset();
        return false;
    }
    if (record.Unavailable()) {
        // The scan could not look at it: now that it is ours, it is examined
        // as the scan would have done.
        const bool inTable = record.bInTable;
        record = RecordFromDetection(ExaminePort(record.strPortName, port));
        record.bInTable = inTable;
    }
    return true;
}

std::string CCheckManager::PortBusyText(int32_t pid, bool catalogue)
{
    if (catalogue) {
        return pid > 0 ? Lang::PORT_BUSY_HELD_BY + std::to_string(pid) : std::string(Lang::PORT_BUSY);
    }
    return pid > 0 ? "port busy: held by process " + std::to_string(pid) : std::string("port busy");
}

std::string CCheckManager::PortUnavailableText(const ComPortBaseInfo_t& record, bool catalogue)
{
    return record.strLockError.empty() ? PortBusyText(record.nBusyPid, catalogue) : record.strLockError;
}
