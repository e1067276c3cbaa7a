// "sms watch": holds the chosen modems until stopped and reports every
// message as it arrives, one JSON line each, deleting a message only once its
// line is out.
//
// Threads and shared state: the main thread scans, starts one watcher per
// modem (a CPortWorkers of its own) and joins the watchers that ended; it
// alone touches the controller's fields and the list of watches. A watcher
// owns its modem's ports, model and unsolicited text; it shares with the
// others only the WatchOutput (one mutex, WatchLines.h), the SmsJournal of
// first sightings (its own mutex) and what the exchanges know of each port
// (CommandExchange.cpp), and the hand-over server that lends modems to
// one-shot runs (its own mutex, WatchHandover.h). Its `ended` flag is written
// by the watcher and read by the main thread.
#include <atomic>
#include <map>
#include <memory>
#include <set>

#include <json/json.h>

#include "CCheckManager.h"
#include "CommandExchange.h"
#include "ComPortBase.h"
#include "ModemLock.h"
#include "NewMessageIndication.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "PortWorkers.h"
#include "SmsJournal.h"
#include "StopSignal.h"
#include "WatchHandover.h"
#include "WatchLines.h"
#include "basic.h"

namespace {

// The longest wait of a watcher between two looks at the output: a failed
// write on another modem stops this one within it.
const int64_t kLookUsec = 1000000;

// One watched modem: its ports (the lock first, so that it is let go last)
// and its watcher (last, so that it is joined before the ports go).
struct ModemWatch_t
{
    ComPortBaseInfo_t record;
    bool back = false;  // the modem was watched before and went away
    std::shared_ptr<CModemLock> lock;
    std::unique_ptr<CComPortBase> port;
    std::vector<std::unique_ptr<CComPortBase>> others;
    std::atomic<bool> ended{false};
    std::unique_ptr<CPortWorkers> worker;
};

// Which SIM a message was received on, for its id: the ICCID, else the IMEI.
std::string SimOf(const ComPortBaseInfo_t& record)
{
    return record.strSmsCardNumber.empty() ? record.strSerialNumber : record.strSmsCardNumber;
}

// Who a modem is, to know it again after it went away: its IMEI, else its USB position.
std::string IdentityOf(const ComPortBaseInfo_t& record)
{
    return !record.strSerialNumber.empty() ? "imei:" + record.strSerialNumber : "usb:" + record.modem.usb.position;
}

// A reported message where it lies: its id, storage and indices (an entry
// not read whole: its entry's index). Only the same message in the same
// place is kept from being reported again; an identical new message lies
// elsewhere.
std::string PlaceKey(const std::string& id, const SmsRecvStruct_t& sms, SmsStorage_t storage)
{
    std::string key = id + "@" + std::to_string(storage);
    for (const int index : sms.indices.empty() ? std::vector<int>{sms.entryIndex} : sms.indices) {
        key += ":" + std::to_string(index);
    }
    return key;
}

const char* StorageWord(SmsStorage_t storage)
{
    switch (storage) {
    case SMS_STORAGE_ME: return "DEV";
    case SMS_STORAGE_SR: return "SR";
    default: return "SIM";
    }
}

// The watch of one modem, on its own worker.
class CModemWatcher
{
public:
    CModemWatcher(CCheckManager& manager, ModemWatch_t& watch, WatchOutput& out, SmsJournal& journal,
                  CHandoverServer& handover)
        : m_manager(manager), m_watch(watch), m_out(out), m_journal(journal), m_handover(handover),
          m_modem(watch.record, nullptr)
    {
        UseHeldPorts();
        m_modem.taken = PORTS_TAKEN;
    }

    void Run();

private:
    CPhoneCardBase* Model() const { return m_modem.model.get(); }
    CComPortBase* Port() const { return m_modem.Port(); }
    bool Going() const { return !StopRequested() && !m_out.Failed(); }
    // Asks for the chosen indications again (the initialisation of some
    // models sets its own).
    void ApplyIndications();
    // Lists every storage, reports what is ready and deletes it. False when
    // no storage could be listed and the modem does not answer AT either.
    bool FullPass();
    // Reads the announced message; anything but a whole single message
    // (a part, a refusal, a storage this program cannot select) is left to
    // a full pass.
    void OnAnnounced(const NewMessage_t& announced);
    // Writes the line of `sms`; false when the output failed.
    bool Report(const SmsRecvStruct_t& sms, SmsStorage_t storage);
    void SayModem(const char* state, const std::string& reason = std::string());
    // The ports m_watch holds become the modem's, heard by the watch.
    void UseHeldPorts();
    // Closes every port of the modem and lets go of its lock.
    void LetGo();
    // Lends the modem to the one-shot run that asked for it (WatchHandover.h)
    // and takes it back with a catch-up once the run let go. False when it
    // could not be taken back or a stop came while it was lent: nothing is
    // held then.
    bool Lend();

    CCheckManager& m_manager;
    ModemWatch_t& m_watch;
    WatchOutput& m_out;
    SmsJournal& m_journal;
    CHandoverServer& m_handover;
    int m_nLendId = 0;  // the modem's number with m_handover
    ModemWork_t m_modem;
    bool m_bAnnounces = false;         // the chosen indications were taken
    IndicationSetting_t m_chosen;
    bool m_bOwnKnown = false;          // the modem's own setting was read, to put back
    IndicationSetting_t m_own;
    std::vector<std::string> m_unasked;  // by port: text no exchange judged, not yet looked at
    // Messages reported but left on the modem by a refused or impossible
    // delete (PlaceKey): not reported again in this run.
    std::set<std::string> m_reportedLeft;
    bool m_bGone = false;  // the modem stopped answering
};

void CModemWatcher::SayModem(const char* state, const std::string& reason)
{
    Json::Value line = WatchLine("modem", m_modem.record);
    line["state"] = state;
    if (!reason.empty()) {
        line["reason"] = reason;
    }
    if (std::string(state) == "watched" || std::string(state) == "back") {
        line["announces"] = m_bAnnounces;
    }
    m_out.Write(line);
}

void CModemWatcher::UseHeldPorts()
{
    m_modem.UsePort(m_watch.port.get());
    for (const std::unique_ptr<CComPortBase>& other : m_watch.others) {
        m_modem.ports.push_back(other.get());
    }
    m_unasked.assign(m_modem.ports.size(), std::string());
    for (std::size_t i = 0; i < m_modem.ports.size(); ++i) {
        std::string& unasked = m_unasked[i];
        WatchPortInput(m_modem.ports[i]->GetDevPath(), [&unasked](const std::string& text) { unasked += text; });
    }
}

void CModemWatcher::LetGo()
{
    for (CComPortBase* p : m_modem.ports) {
        WatchPortInput(p->GetDevPath(), PortInputSink_t());
    }
    // At once: a tty held open keeps the kernel from giving a modem that
    // comes back its old number.
    m_modem.UsePort(nullptr);
    m_watch.others.clear();
    m_watch.port.reset();
    m_watch.lock.reset();
}

bool CModemWatcher::Lend()
{
    LetGo();
    SayModem("lent");
    if (m_handover.Grant(m_nLendId) && !m_handover.WaitForReturn(m_nLendId)) {
        return false;  // a stop came while it was lent
    }
    std::shared_ptr<CWatchLease> none;  // a watch borrows nothing
    if (!CCheckManager::TakeWorkPort(m_watch.record, m_watch.port, m_watch.others, m_watch.lock, none, false) ||
        m_watch.port == nullptr || m_watch.port->IsOpened() != 1) {
        return false;
    }
    UseHeldPorts();
    ApplyIndications();  // the borrower's initialisation may have set its own
    SayModem("back");
    return FullPass();   // what arrived while it was lent
}

void CModemWatcher::ApplyIndications()
{
    if (m_bAnnounces) {
        CCheckManager::RunComCmdSetIndication(Model(), Port(), m_chosen);
    }
}

bool CModemWatcher::Report(const SmsRecvStruct_t& sms, SmsStorage_t storage)
{
    const std::string id = SmsWatchId(SimOf(m_modem.record), sms);
    if (m_reportedLeft.count(PlaceKey(id, sms, storage)) != 0) {
        return true;  // reported before; its delete did not go through
    }
    Json::Value line = WatchLine("sms", m_modem.record);
    const Json::Value msg = CCheckManager::SmsToJson(sms, storage != SMS_STORAGE_ME);
    for (const std::string& key : msg.getMemberNames()) {
        line[key] = msg[key];
    }
    line["storage"] = StorageWord(storage);
    line["kind"] = SmsKindName(sms.kind);
    line["id"] = id;
    return m_out.Write(line);
}

bool CModemWatcher::FullPass()
{
    if (!Going()) {
        return true;
    }
    CCheckManager::PortReadClear_t result = m_manager.ListReadyMessages(m_modem, m_journal, true);
    if (result.read.me == CCheckManager::STORAGE_UNAVAILABLE && result.read.sm == CCheckManager::STORAGE_UNAVAILABLE &&
        Going() && !CCheckManager::RunComCmdAT(Model(), Port())) {
        return false;
    }
    ApplyIndications();
    // In the order of result.left.
    const std::pair<std::vector<SmsRecvStruct_t>*, SmsStorage_t> lists[] = {
        {&result.me, SMS_STORAGE_ME}, {&result.sm, SMS_STORAGE_SM}, {&result.sr, SMS_STORAGE_SR}};
    bool any = false;
    for (const auto& list : lists) {
        for (const SmsRecvStruct_t& sms : *list.first) {
            const SmsStorage_t storage = sms.storage == SMS_STORAGE_LISTED ? list.second : sms.storage;
            if (!Report(sms, storage)) {
                return true;  // the output failed: nothing is deleted
            }
            any = true;
        }
    }
    if (!any || !Going()) {
        return true;
    }
    m_manager.DeleteReported(m_modem, result);
    // Only what a delete left is kept from being reported again: an id
    // suppressed otherwise could be a new message's, deleted unseen.
    m_reportedLeft.clear();
    std::size_t i = 0;
    for (const auto& list : lists) {
        for (const SmsRecvStruct_t& sms : *list.first) {
            if (i < result.left.size() && result.left[i]) {
                const SmsStorage_t storage = sms.storage == SMS_STORAGE_LISTED ? list.second : sms.storage;
                m_reportedLeft.insert(PlaceKey(SmsWatchId(SimOf(m_modem.record), sms), sms, storage));
            }
            ++i;
        }
    }
    return true;
}

void CModemWatcher::OnAnnounced(const NewMessage_t& announced)
{
    if (!Going()) {
        return;
    }
    if (announced.storage == SMS_STORAGE_LISTED || announced.index < 0) {
        m_bGone = !FullPass();
        return;
    }
    // A fresh model: the read below is then its only entry.
    m_modem.RemakeModel();
    const bool selected = announced.storage == SMS_STORAGE_ME   ? CCheckManager::RunComCmdReadME_Sms(Model(), Port())
                          : announced.storage == SMS_STORAGE_SR ? CCheckManager::RunComCmdReadSR_Sms(Model(), Port())
                                                                : CCheckManager::RunComCmdReadSM_Sms(Model(), Port());
    const bool read = selected && CCheckManager::RunComCmdReadOneSms(Model(), Port(), announced.index);
    const std::vector<SmsRecvStruct_t> list = read ? Model()->GetReadSms() : std::vector<SmsRecvStruct_t>();
    const bool single = list.size() == 1 && list[0].complete && list[0].partCount <= 1 &&
                        list[0].kind != SMS_KIND_UNREADABLE;
    if (single && Report(list[0], announced.storage) && Going() &&
        !CCheckManager::RunComCmdDelSms(Model(), Port(), announced.index)) {
        // Still there: not reported again.
        m_reportedLeft.insert(PlaceKey(SmsWatchId(SimOf(m_modem.record), list[0]), list[0], announced.storage));
    }
    if (selected && announced.storage != SMS_STORAGE_SM) {
        CCheckManager::RunComCmdReadSM_Sms(Model(), Port());  // the storage the initialisation selects
    }
    if (!single) {
        m_bGone = !FullPass();
    }
}

void CModemWatcher::Run()
{
    CComPortBase* const port = Port();
    if (Model() == nullptr || port == nullptr) {
        LetGo();
        return;
    }
    std::vector<std::string> paths = m_modem.record.modem.all;
    paths.push_back(m_modem.record.strPortName);
    m_nLendId = m_handover.Hold(paths);
    // The modem's own setting before the initialisation, which may set its own.
    m_bOwnKnown = CCheckManager::RunComCmdGetIndicationSetting(Model(), port) &&
                  ReadIndicationSetting(Model()->GetIndicationSetting(), m_own) && m_own.count > 0;
    CCheckManager::RunComCmdInitPhone(Model(), port);
    m_bAnnounces = CCheckManager::RunComCmdGetIndicationOffer(Model(), port) &&
                   ChooseIndicationSetting(Model()->GetIndicationOffer(), m_chosen) &&
                   CCheckManager::RunComCmdSetIndication(Model(), port, m_chosen);
    SayModem(m_watch.back ? "back" : "watched");
    m_bGone = !FullPass();  // what arrived before the watch began

    const int64_t pollUsec = static_cast<int64_t>(g_nWatchPollSec) * 1000000;
    int64_t nextPoll = MonotonicUsec() + pollUsec;
    while (Going() && !m_bGone) {
        // Announcements first, also those an exchange read meanwhile.
        bool announced = false;
        for (std::string& text : m_unasked) {
            for (const NewMessage_t& one : Model()->TakeNewMessages(text)) {
                OnAnnounced(one);
                announced = true;
            }
        }
        // Between two messages, never between a message's line and its delete.
        if (m_handover.Wanted(m_nLendId)) {
            if (!Lend()) {
                m_bGone = Going();
            }
            continue;
        }
        const int64_t now = MonotonicUsec();
        if (now >= nextPoll) {
            m_bGone = !FullPass();
            nextPoll = MonotonicUsec() + pollUsec;
        } else if (!announced && !m_modem.ListenOnPorts(m_unasked, std::min(nextPoll, now + kLookUsec),
                                                        m_handover.WakeDescriptor(m_nLendId))) {
            m_bGone = true;
        }
        m_bGone = m_bGone || Port()->HasGoneAway() == 1;
    }
    CComPortBase* const held = Port();  // null when lent at the stop or not taken back
    if (held != nullptr && !m_bGone && m_bAnnounces && m_bOwnKnown) {
        // The modem's own setting back, also after a stop request.
        held->ReadPastStop();
        CCheckManager::RunComCmdSetIndication(Model(), held, m_own);
    }
    if (m_bGone) {
        SayModem("gone", held == nullptr                ? "not taken back"
                         : held->HasGoneAway() == 1 ? "port gone"
                                                    : "not answering");
    }
    m_handover.Forget(m_nLendId);
    LetGo();
}

}  // namespace

void CCheckManager::OnSmsWatch(const std::string& portList, bool extraArguments)
{
    WatchOutput out;
    std::vector<PortItem_t> items;
    std::string error;
    if (extraArguments) {
        error = "too many arguments: sms watch [ports]";
    } else {
        ParsePortList(portList, items, error);
    }
    if (!error.empty()) {
        Json::Value line(Json::objectValue);
        line["event"] = "error";
        line["error"] = error;
        out.Write(line);
        return;
    }
    SmsJournal journal(g_strJournalDir);
    // Made before the first modem is taken and kept until the last is let
    // go; without a socket the watch runs on, lending nothing.
    CHandoverServer handover;
    std::vector<std::unique_ptr<ModemWatch_t>> watches;
    std::set<std::string> goneModems;            // IdentityOf the modems that went away
    std::map<std::string, std::string> busySaid;  // path -> the reason last said
    bool first = true;
    while (!StopRequested() && !out.Failed()) {
        // The watches that ended let their modems be found again.
        for (auto it = watches.begin(); it != watches.end();) {
            if ((*it)->ended) {
                goneModems.insert(IdentityOf((*it)->record));
                it = watches.erase(it);  // joins its worker
            } else {
                ++it;
            }
        }
        // Every tty of a watched modem is left alone by the scan.
        std::set<std::string> watched;
        for (const std::unique_ptr<ModemWatch_t>& w : watches) {
            watched.insert(w->record.strPortName);
            watched.insert(w->record.modem.all.begin(), w->record.modem.all.end());
        }
        std::vector<std::string> paths;
        for (const std::string& path : portList.empty() ? GetAllComPort() : PathsOfItems(items)) {
            if (watched.count(path) == 0) {
                paths.push_back(path);
            }
        }
        std::vector<ComPortBaseInfo_t> records;
        if (!paths.empty() || first) {
            ScanPorts(paths);
            if (portList.empty()) {
                GetPortList(records);
            } else {
                InputToSendPduSmsComPort(portList, records);
            }
        }
        if (!m_strSelectionError.empty()) {
            // A list item that could mean two modems: nothing is watched.
            Json::Value line(Json::objectValue);
            line["event"] = "error";
            line["error"] = m_strSelectionError;
            out.Write(line);
            ReleasePorts();
            break;
        }
        std::vector<ComPortBaseInfo_t> taken;
        for (const ComPortBaseInfo_t& record : records) {
            if (watched.count(record.strPortName) != 0) {
                continue;
            }
            if (record.Unavailable()) {
                const std::string why = PortUnavailableText(record, false);
                if (busySaid[record.strPortName] != why) {
                    busySaid[record.strPortName] = why;
                    Json::Value line = WatchLine("modem", record);
                    line["state"] = "busy";
                    line["reason"] = why;
                    out.Write(line);
                }
            } else if (IsUsablePort(record) && record.bInTable) {
                busySaid.erase(record.strPortName);
                taken.push_back(record);
            }
        }
        WorkPorts_t ports = TakeWorkPorts(taken);
        for (std::size_t i = 0; i < taken.size(); ++i) {
            if (!ports.Of(i) || ports.Of(i)->IsOpened() != 1) {
                continue;
            }
            std::unique_ptr<ModemWatch_t> w = std::make_unique<ModemWatch_t>();
            w->record = taken[i];
            w->back = goneModems.erase(IdentityOf(taken[i])) != 0;
            w->lock = ports.locks[ports.slot[i]];
            w->port = std::move(ports.Of(i));
            w->others = std::move(ports.others[ports.slot[i]]);
            ModemWatch_t* const watch = w.get();
            w->worker = std::make_unique<CPortWorkers>(std::vector<std::string>{taken[i].strPortName},
                                                       [this, watch, &out, &journal, &handover](std::size_t) {
                                                           CModemWatcher(*this, *watch, out, journal, handover).Run();
                                                           watch->ended = true;
                                                       });
            watches.push_back(std::move(w));
        }
        first = false;
        // The next look for modems busy before, plugged in since, or back.
        const int64_t next = MonotonicUsec() + static_cast<int64_t>(g_nWatchPollSec) * 1000000;
        while (!StopRequested() && !out.Failed() && MonotonicUsec() < next) {
            SleepUnlessStopped(std::min<int64_t>(kLookUsec, next - MonotonicUsec()));
        }
    }
    watches.clear();  // each watcher puts its modem's setting back and lets go
}
