// Ports held between the scan and the workflow, and taking a port for a
// workflow's work on it.
#include "CCheckManager.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "ComPortBase.h"
#include "Lang.h"
#include "ModemLock.h"
#include "ModemWork.h"
#include "PortDiscovery.h"
#include "UsbRoles.h"
#include "PortWorkers.h"
#include "WatchHandover.h"
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

// Takes what another program may hold (a port, a modem's lock) with `take`
// (given the milliseconds to wait): first without waiting, then, when
// `holder` says it is held (a PID, 0 when it cannot be told; -1 when taken),
// waiting up to busywait. A holder that is a watch is first asked to lend
// the modem of `paths` within that wait (into `lease`, unless a lease is
// held already). With `sayWaits` the wait is said on standard error when it
// begins and when it ends.
template <typename Take, typename Holder>
auto TakeSayingWaits(const std::string& name, bool sayWaits, const std::vector<std::string>& paths,
                     std::shared_ptr<CWatchLease>& lease, Take take, Holder holder) -> decltype(take(0))
{
    auto taken = take(0);
    if (holder(*taken) < 0 || g_nBusyWaitSec <= 0) {
        return taken;
    }
    const int64_t start = MonotonicUsec();
    const int64_t waitUsec = int64_t{g_nBusyWaitSec} * 1000000;
    if (sayWaits) {
        SayOnStderr(name + ": " + HolderText(holder(*taken)) + ", waiting up to " + std::to_string(g_nBusyWaitSec) +
                    " s");
    }
    if (!lease) {
        lease = BorrowFromWatch(holder(*taken), paths, start + waitUsec);
    }
    taken.reset();
    // Lent, the port is free now; otherwise what a watch's silence left of
    // the wait (all of it when the holder is no watch), as for any program.
    // Rounded up: the few microseconds of finding no watch cost no millisecond.
    taken = take(static_cast<int>((std::max<int64_t>(0, waitUsec - (MonotonicUsec() - start)) + 999) / 1000));
    if (sayWaits) {
        // Tenths: a wait the other run ended at once reads "0.2 s", not "0 s".
        const int64_t tenths = (MonotonicUsec() - start) / 100000;
        const std::string waited = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
        const pid_t still = holder(*taken);
        SayOnStderr(still >= 0 ? name + ": still " + HolderText(still) + " after " + waited + ", given up"
                               : name + ": free after " + waited);
    }
    return taken;
}

}  // namespace

void CCheckManager::ReleasePorts()
{
    // The ttys before the modem: the reverse of taking them.
    m_heldPorts.clear();
    m_heldModemLocks.clear();
    m_heldLeases.clear();
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
            // The modem's other AT ports and its lock go with its AT port.
            std::vector<std::unique_ptr<CComPortBase>> others;
            for (const std::string& path : record.modem.otherAt) {
                const auto other = m_heldPorts.find(path);
                if (other != m_heldPorts.end() && other->second) {
                    others.push_back(std::move(other->second));
                }
            }
            work.others.push_back(std::move(others));
            const auto lock = m_heldModemLocks.find(record.strPortName);
            work.locks.push_back(lock == m_heldModemLocks.end() ? nullptr : lock->second);
            const auto lease = m_heldLeases.find(record.strPortName);
            work.leases.push_back(lease == m_heldLeases.end() ? nullptr : lease->second);
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
        std::vector<std::unique_ptr<CComPortBase>>& others = ports.others[ports.slot[i]];
        std::shared_ptr<CModemLock>& lock = ports.locks[ports.slot[i]];
        std::shared_ptr<CWatchLease>& lease = ports.leases[ports.slot[i]];
        {
            ModemWork_t modem(records[i], port.get());
            if (modem.NeedsPorts(rule)) {
                const PHONE_TYPE_t chosenType = modem.record.nPhoneType;
                modem.taken = TakeWorkPort(modem.record, port, others, lock, lease, m_bSayWaits) ? PORTS_TAKEN : PORTS_BUSY;
                modem.UsePort(port.get());
                for (const std::unique_ptr<CComPortBase>& other : others) {
                    modem.ports.push_back(other.get());
                }
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
            others.clear();
            lock.reset();
            lease.reset();
        }
    });
    for (std::size_t i = 0; i < records.size(); ++i) {
        workers.WaitFor(i);
        if (done) {
            done(i);
        }
    }
}

bool CCheckManager::TakeWorkPort(ComPortBaseInfo_t& record, std::unique_ptr<CComPortBase>& port,
                                 std::vector<std::unique_ptr<CComPortBase>>& others, std::shared_ptr<CModemLock>& lock,
                                 std::shared_ptr<CWatchLease>& lease, bool sayWaits)
{
    // The paths a watch holding the modem knows it by.
    std::vector<std::string> paths{record.strPortName};
    paths.insert(paths.end(), record.modem.otherAt.begin(), record.modem.otherAt.end());
    if (port && port->IsOpened() == 1) {
        return true;  // held since the scan, with the rest of its modem
    }
    // The modem before its ttys, as the scan takes them.
    if (!lock && GroupsUsbTtys(record.modem.usb)) {
        lock = TakeSayingWaits(
            "usb:" + record.modem.usb.position, sayWaits, paths, lease,
            [&](int waitMs) { return std::make_shared<CModemLock>(record.modem.usb.position, waitMs); },
            [](const CModemLock& taken) { return taken.Held() ? pid_t{-1} : taken.BusyPid(); });
        if (!lock->Held()) {
            record.bBusy = true;
            record.nBusyPid = static_cast<int32_t>(lock->BusyPid());
            lock.reset();
            lease.reset();
            return false;
        }
    }
    const int rate = record.Unavailable() ? DETECT_RATES[0] : record.nBaudRate;
    port = TakeSayingWaits(
        ShortPortName(record.strPortName), sayWaits, paths, lease,
        [&](int waitMs) { return std::make_unique<CComPortBase>(record.strPortName, rate, waitMs); },
        [](const CComPortBase& taken) { return taken.IsBusy() == 1 ? taken.GetBusyPid() : pid_t{-1}; });
    if (port->IsBusy() == 1) {
        record.bBusy = true;
        record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
        port.reset();
        lock.reset();
        lease.reset();
        return false;
    }
    if (!port->GetLockError().empty()) {
        record.strLockError = port->GetLockError();
        port.reset();
        lock.reset();
        lease.reset();
        return false;
    }
    // Its other AT ports, in name order; one another program holds (a data
    // connection on the second port) is left to it.
    others.clear();
    for (const std::string& path : record.modem.otherAt) {
        std::unique_ptr<CComPortBase> other = std::make_unique<CComPortBase>(path, rate, 0);
        if (other->IsOpened() == 1) {
            others.push_back(std::move(other));
        }
    }
    if (record.Unavailable()) {
        // The scan could not look at it: now that it is ours, it is examined
        // as the scan would have done.
        const bool inTable = record.bInTable;
        const ModemTtys_t modem = record.modem;
        record = RecordFromDetection(ExaminePort(record.strPortName, port));
        record.bInTable = inTable;
        record.modem = modem;
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
