// Detection: which modem answers on each port, and what it says of itself.
#include "CCheckManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "CommandExchange.h"
#include "CreatePhone.h"
#include "DescriptorBudget.h"
#include "Lang.h"
#include "ModemGroups.h"
#include "ModemLock.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "PortWorkers.h"
#include "UsbRoles.h"
#include "WatchHandover.h"

namespace {

// The rate a port is listed with when no modem was recognised on it.
const int kUnrecognisedRate = 115200;
// Only to switch echo off: the answer is judged like AT's, so that it cannot
// be left over for the AT exchanges that follow. One read pass may go by
// before it is given up; its answer only tells that echo is off.
const ExchangeRow_t ECHO_OFF_ROW{CallersText, &CPhoneCardBase::OnGetAtCmdRsp, 1, PORT_ALREADY_OPEN};
const char* const ECHO_OFF = "ATE0\r\n";

// Bounded copy into a fixed field of DeviceBaseComInfo: truncated, always
// zero-terminated, whatever the modem sent.
template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The progress line of a scan on the menu's terminal.
void ShowScanProgress(std::size_t done, std::size_t total)
{
    char line[128];
    std::snprintf(line, sizeof line, Lang::SCAN_PROGRESS, static_cast<unsigned>(total), static_cast<unsigned>(done));
    CColorCout::WriteProgress(line);
}

// The pipe through which the first recognised tty of a modem tells its
// silent siblings to give up.
class SiblingPipe_t
{
public:
    SiblingPipe_t()
    {
        if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            m_fds[0] = m_fds[1] = -1;
        }
    }
    ~SiblingPipe_t()
    {
        for (const int fd : m_fds) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    SiblingPipe_t(const SiblingPipe_t&) = delete;
    SiblingPipe_t& operator=(const SiblingPipe_t&) = delete;
    int GiveUpEnd() const { return m_fds[0]; }
    int RecognisedEnd() const { return m_fds[1]; }

private:
    int m_fds[2];
};

}  // namespace

void CCheckManager::ProbeModem(const std::vector<std::string>& paths, const std::vector<std::size_t>& members,
                               std::vector<DeviceBaseComInfo>& records,
                               std::vector<std::unique_ptr<CComPortBase>>& held,
                               std::shared_ptr<CModemLock>& lock, std::shared_ptr<CWatchLease>& lease)
{
    // The members as the scan set them out, for a second probe.
    std::vector<DeviceBaseComInfo> fresh;
    std::vector<std::string> memberPaths;
    for (const std::size_t i : members) {
        fresh.push_back(records[i]);
        memberPaths.push_back(paths[i]);
    }
    const int64_t start = MonotonicUsec();
    ProbeModemOnce(paths, members, records, held, lock);
    const auto busy = std::find_if(members.begin(), members.end(),
                                   [&](std::size_t i) { return records[i].bBusy && records[i].nBusyPid > 0; });
    if (busy == members.end() || g_nBusyWaitSec <= 0) {
        return;
    }
    // A watch lends its modem within busywait; any other holder is left alone.
    lease = BorrowFromWatch(records[*busy].nBusyPid, memberPaths, start + int64_t{g_nBusyWaitSec} * 1000000);
    if (!lease) {
        return;
    }
    lock.reset();
    for (std::size_t k = 0; k < members.size(); ++k) {
        held[members[k]].reset();
        records[members[k]] = fresh[k];
    }
    ProbeModemOnce(paths, members, records, held, lock);
}

void CCheckManager::ProbeModemOnce(const std::vector<std::string>& paths, const std::vector<std::size_t>& members,
                                   std::vector<DeviceBaseComInfo>& records,
                                   std::vector<std::unique_ptr<CComPortBase>>& held, std::shared_ptr<CModemLock>& lock)
{
    const UsbPlace_t& usb = records[members.front()].usb;
    if (GroupsUsbTtys(usb)) {
        // The modem first, then its ttys: two runs never each hold one AT tty of it.
        lock = std::make_shared<CModemLock>(usb.position, 0);
        if (!lock->Held()) {
            for (const std::size_t i : members) {
                records[i].bBusy = true;
                records[i].nBusyPid = static_cast<int32_t>(lock->BusyPid());
            }
            lock.reset();
            return;
        }
    }
    const auto examine = [&](std::size_t i, int giveUpFd, int recognisedFd) {
        const UsbPlace_t place = records[i].usb;
        records[i] = ExaminePort(paths[i], held[i], giveUpFd, recognisedFd);
        records[i].usb = place;
    };
    std::vector<std::size_t> probed;
    for (const std::size_t i : members) {
        if (UsbTtyRole(records[i].usb) != ROLE_NOT_AT) {
            probed.push_back(i);
        }
    }
    // A modem of the role table is asked through its primary AT port alone:
    // its other AT ports answer for the same SIM, so they are only held.
    const auto primary = std::find_if(probed.begin(), probed.end(), [&](std::size_t i) {
        return UsbTtyRole(records[i].usb) == ROLE_AT_PRIMARY;
    });
    if (primary != probed.end()) {
        const std::size_t first = *primary;
        examine(first, -1, -1);
        probed.erase(primary);
        if (records[first].bAtOk) {
            for (const std::size_t i : probed) {
                held[i] = std::make_unique<CComPortBase>(paths[i], records[first].nBaudRate);
                const UsbPlace_t place = records[i].usb;
                if (held[i]->IsOpened() == 1) {
                    records[i] = records[first];
                    CopyField(records[i].szPortName, paths[i]);
                } else {
                    // Another program's (a data connection) or gone: left alone.
                    records[i].bBusy = held[i]->IsBusy() == 1;
                    held[i].reset();
                }
                records[i].usb = place;
            }
            return;
        }
    }
    if (probed.size() <= 1) {
        if (!probed.empty()) {
            examine(probed.front(), -1, -1);
        }
        return;
    }
    // Every tty at once; once one is recognised, those that have not answered give up.
    SiblingPipe_t siblings;
    std::vector<std::string> probedPaths;
    for (const std::size_t i : probed) {
        probedPaths.push_back(paths[i]);
    }
    CPortWorkers workers(probedPaths, [&](std::size_t k) {
        examine(probed[k], siblings.GiveUpEnd(), siblings.RecognisedEnd());
    });
    workers.WaitAll();
}

DeviceBaseComInfo CCheckManager::ExaminePort(const std::string& path, std::unique_ptr<CComPortBase>& port,
                                             int giveUpFd, int recognisedFd)
{
    DeviceBaseComInfo record;
    CopyField(record.szPortName, path);
    record.bChecked = true;
    record.nBaudRate = kUnrecognisedRate;

    const std::vector<std::unique_ptr<CPhoneCardBase>> models = CreateModelList(ModelOrder::Detection);
    // AT and ATI are spoken alike by every model: the first one asks.
    CPhoneCardBase* const speaker = models.empty() ? nullptr : models.front().get();
    // Set when an exchange at the last rate gave up on its answer: a late
    // answer at that rate would otherwise pass for one at the next.
    bool answerOwed = false;
    for (const int rate : DETECT_RATES) {
        if (!port) {
            port = std::make_unique<CComPortBase>(path, rate);
            port->SetGiveUpDescriptor(giveUpFd);
        } else {
            if (answerOwed) {
                DrainLateAnswers(*port);
            }
            port->SetBaudRate(rate);
        }
        answerOwed = false;
        // Passes an exchange's verdict on, noting whether it ended without its answer.
        const auto exchanged = [&](bool verdict) {
            answerOwed = answerOwed || port->GetLineState() != LineState_t::SETTLED;
            return verdict;
        };
        const bool opened = port->Open() == 1;
        if (port->IsBusy() == 1) {
            // Another program's port: not a byte, not a setting.
            record.bBusy = true;
            record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
            break;
        }
        if (!port->GetLockError().empty()) {
            // Not a modem's answer: the lock folder is at fault, at every rate.
            record.strLockError = port->GetLockError();
            break;
        }
        if (port->GivenUp()) {
            break;  // a sibling tty was recognised and this one never said a word
        }
        if (!opened || speaker == nullptr) {
            continue;
        }
        record.bOpened = true;
        // A tty that answers is a modem's: it finishes its probe whatever its siblings find.
        if (exchanged(RunExchange(ECHO_OFF_ROW, speaker, port.get(), {ECHO_OFF}) == RSP_OK)) {
            port->SetGiveUpDescriptor(-1);
        }
        if (!exchanged(RunComCmdAT(speaker, port.get())) || !exchanged(RunComCmdAT(speaker, port.get()))) {
            continue;
        }
        port->SetGiveUpDescriptor(-1);
        // Its verdict only says whether the first model matched; the answer is what counts.
        exchanged(RunComCmdATI(speaker, port.get()));
        const std::string ati = speaker->GetAtiRspString();
        CPhoneCardBase* found = nullptr;
        for (const std::unique_ptr<CPhoneCardBase>& model : models) {
            if (model && model->IsATI_RspMatch(ati)) {
                found = model.get();
                break;
            }
        }
        if (found == nullptr) {
            continue;
        }
        if (recognisedFd >= 0) {
            const char recognised = 1;
            // Best effort: a full pipe already says it.
            (void)!write(recognisedFd, &recognised, 1);
        }
        record.nBaudRate = rate;
        record.nPhoneType = found->GetPhoneType();
        CopyField(record.szAtiRsp, ati);
        record.bAtOk = true;
        RunComCmdGetSerialNumber(found, port.get());
        // Without a SIM card there is no signal worth asking for.
        if (RunComCmdGetSmsCardNumber(found, port.get())) {
            RunComCmdGetSignalStrength(found, port.get());
        }
        CopyField(record.szSmsCardNumber, found->GetSmsCardNumber());
        CopyField(record.szSerialNumber, found->GetSerialNumber());
        CopyField(record.szSignal, found->GetSignalStrength());
        // From now on a modem that stops answering is given up on at once.
        MarkModemAnswered(path);
        return record;
    }
    port.reset();  // nothing recognised: let go of it at once
    return record;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectDevices(const std::vector<std::string>& ports)
{
    g_comVec.clear();
    // The ports of an earlier pass go first: this pass takes them again.
    ReleasePorts();
    // A new run: what earlier runs found out about the modems is forgotten.
    ForgetModemStates();
    // Slots sized before the workers start: each worker fills its own.
    std::vector<DeviceBaseComInfo> records(ports.size());
    // By modem device, once known; declared before the ports, so that a
    // watch that lent a modem gets it back only after they are let go.
    std::vector<std::shared_ptr<CWatchLease>> leases;
    std::vector<std::unique_ptr<CComPortBase>> held(ports.size());
    // The ttys of one USB modem are probed by one worker, under its lock.
    std::vector<std::string> keys;
    std::vector<std::vector<std::size_t>> members;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        CopyField(records[i].szPortName, ports[i]);
        records[i].nBaudRate = kUnrecognisedRate;
        records[i].usb = UsbPlaceOfTty(ports[i]);
        const std::string key = ProbeKey(ports[i], records[i].usb);
        const auto known = std::find(keys.begin(), keys.end(), key);
        if (known == keys.end()) {
            keys.push_back(key);
            members.push_back({i});
        } else {
            members[static_cast<std::size_t>(known - keys.begin())].push_back(i);
        }
    }
    std::vector<std::shared_ptr<CModemLock>> locks(keys.size());
    leases.resize(keys.size());
    // Each tty probed needs its port and a lock file being written; the
    // ttys of a modem share a pipe. Where the process may not open that
    // many at once, the modems are probed in turns rather than fail.
    const auto needOf = [&](std::size_t g) { return 2 * members[g].size() + 2; };
    std::size_t wanted = 0;
    for (std::size_t g = 0; g < keys.size(); ++g) {
        wanted += needOf(g);
    }
    std::size_t done = 0;
    while (done < keys.size()) {
        const std::size_t spare = SpareDescriptors(wanted);
        std::size_t end = done + 1;  // at least one modem a turn
        for (std::size_t need = needOf(done); end < keys.size() && need + needOf(end) <= spare; ++end) {
            need += needOf(end);
        }
        const std::vector<std::string> turnKeys(keys.begin() + static_cast<std::ptrdiff_t>(done),
                                                keys.begin() + static_cast<std::ptrdiff_t>(end));
        CPortWorkers workers(turnKeys, [&](std::size_t k) {
            const std::size_t g = done + k;
            ProbeModem(ports, members[g], records, held, locks[g], leases[g]);
        });
        if (m_bShowScanProgress) {
            workers.WaitAll([&](std::size_t finished, std::size_t) { ShowScanProgress(done + finished, keys.size()); });
        } else {
            workers.WaitAll();
        }
        for (std::size_t g = done; g < end; ++g) {
            wanted -= needOf(g);
        }
        done = end;
    }
    if (m_bShowScanProgress) {
        CColorCout::WriteProgress("");
    }
    m_vecModemGroups = GroupModems(records);
    std::vector<std::size_t> groupOf(ports.size(), 0);
    for (std::size_t g = 0; g < members.size(); ++g) {
        for (const std::size_t i : members[g]) {
            groupOf[i] = g;
        }
    }
    // A modem's AT ports stay held with its lock; its other ttys go back now.
    for (const ModemGroup_t& modem : m_vecModemGroups) {
        std::vector<std::size_t> atPorts = modem.otherAt;
        atPorts.push_back(modem.primary);
        for (const std::size_t i : atPorts) {
            if (held[i]) {
                m_heldPorts[ports[i]] = std::move(held[i]);
            }
        }
        if (locks[groupOf[modem.primary]]) {
            m_heldModemLocks[ports[modem.primary]] = locks[groupOf[modem.primary]];
        }
        if (leases[groupOf[modem.primary]]) {
            m_heldLeases[ports[modem.primary]] = leases[groupOf[modem.primary]];
        }
    }
    g_comVec = records;
    return records;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectAllDevice()
{
    return DetectDevices(GetAllComPort());
}

void CCheckManager::OnScanPort()
{
    ScanPorts(GetAllComPort());
}

void CCheckManager::ScanPorts(const std::vector<std::string>& paths)
{
    m_vecComInfo.clear();
    const std::time_t start = std::time(nullptr);
    const std::vector<DeviceBaseComInfo> records = DetectDevices(paths);
    const std::time_t end = std::time(nullptr);
    // One row per modem, under its AT port.
    m_vecComInfo = ModemEntries(records, m_vecModemGroups);
    // Whole seconds plus one: a pass within one second reports 1.
    m_strStatus = std::string(Lang::CHECK_USED) + std::to_string(static_cast<int64_t>(end - start) + 1) +
                  Lang::CHECK_SECONDS;
}

