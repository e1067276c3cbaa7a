// Reading and clearing the SMS stored on a modem: menu key 2, the hidden
// key "d", and the per-port reading and clearing of the "sms" sub-commands.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "CCheckManager.h"
#include "CColorCout.h"
#include "ComPortBase.h"
#include "IncompleteSms.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "SmsJournal.h"
#include "SmsDecode.h"
#include "StopSignal.h"
#include "StringUtil.h"
#include "basic.h"

namespace {

const int MAX_READ_NEXT_COMMANDS = 100;  // follow-up commands of one listing
const int MAX_READ_AGAIN_COMMANDS = 100;  // entries of one listing read again by index

// The word after a storage's name in the lines of menu key "d".
const char* ClearOutcomeText(CCheckManager::StorageClear_t outcome)
{
    switch (outcome) {
    case CCheckManager::CLEAR_DONE: return Lang::CLEAR_DONE;
    case CCheckManager::CLEAR_FAILED: return Lang::CLEAR_FAILED;
    default: return Lang::CLEAR_UNAVAILABLE;
    }
}

bool IsListed(CCheckManager::StorageRead_t read)
{
    return read == CCheckManager::STORAGE_READ || read == CCheckManager::STORAGE_PARTLY_READ;
}

// The red line of a port that could not be read.
void PrintReadFailure(std::ostream& out, const std::string& name, const std::string& reason)
{
    out << CColorCout::Red(std::string(Lang::READ_PORT) + name + Lang::READ_FAILED)
        << CColorCout::Red(Lang::READ_REASON) << CColorCout::Red(reason) << "\n";
}

// Why neither storage of a modem could be read, most telling first.
std::string ReadFailureReason(const ModemWork_t& modem)
{
    if (modem.record.strSmsCardNumber.empty()) {
        return GetSmsCodeChineseStr(SMS_NO_SIM_CARD);
    }
    if (!modem.model) {
        return GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
    }
    return CCheckManager::ExchangeFailureReason(modem.record.strPortName, *modem.model, modem.Port(),
                                                Lang::MODEM_STOPPED);
}

// How the deletes of read-and-clear went, worst last.
enum DeleteOutcome_t
{
    DELETE_DONE,        // every message asked for was deleted
    DELETE_INCOMPLETE,  // some message was left: unknown index, refused delete, storage not selected
    DELETE_STOPPED,     // a stop request ended the deletes
};

// Whether `sms` can be deleted by index: every part's index is known.
bool Deletable(const SmsRecvStruct_t& sms)
{
    return !sms.indices.empty() &&
           std::none_of(sms.indices.begin(), sms.indices.end(), [](int index) { return index < 0; });
}

// The clocks that tell a long message still arriving from an abandoned one.
// The modem is asked only when some listed message is missing a part and
// has a time stamp: no other message needs judging.
SmsClocks_t PortClocks(CPhoneCardBase* phone, CComPortBase* port, const std::vector<SmsRecvStruct_t>& me,
                       const std::vector<SmsRecvStruct_t>& sm)
{
    SmsClocks_t clocks;
    auto judged = [](const SmsRecvStruct_t& sms) { return !sms.complete && sms.hasStamp; };
    if (std::none_of(me.begin(), me.end(), judged) && std::none_of(sm.begin(), sm.end(), judged)) {
        return clocks;
    }
    clocks.hasBoard = true;
    clocks.boardUtc = static_cast<int64_t>(time(nullptr));
    // A modem that refuses, or answers without a zone, simply has no clock.
    clocks.hasModem = CCheckManager::RunComCmdGetClock(phone, port) && phone->GetModemClock(clocks.modemUtc);
    clocks.AddStamps(me);
    clocks.AddStamps(sm);
    return clocks;
}

// The key of a long message's parts in the first-seen record of its SIM card.
std::string FirstSeenKey(const SmsRecvStruct_t& sms)
{
    return sms.from + "/" + std::to_string(sms.partReference) + "/" + std::to_string(sms.partCount);
}

// Whether a recorded first sighting of `sms` can be taken. One later than
// now proves nothing (the clock was set back); nor does one from before the
// centre stamped the message while the clock is believed for it now: it was
// recorded by a clock not yet set (a board without a real-time clock before
// its time came from the network).
bool Believable(int64_t firstSeen, const SmsRecvStruct_t& sms, int64_t now)
{
    if (firstSeen > now) {
        return false;
    }
    const int64_t earliestPresent = sms.stampUtc - SMS_CLOCK_TOLERANCE;
    return !(sms.hasStamp && now >= earliestPresent && firstSeen < earliestPresent);
}

// Sorts `listed` into the messages to report now (`ready`) and those still
// arriving (`held`). `seen` is when tarnel first saw each long message
// missing a part (by FirstSeenKey); a message seen for the first time counts
// from `now`. `stillSeen` gets the entries of the messages held.
void TakeReady(const std::vector<SmsRecvStruct_t>& listed, const SmsClocks_t& clocks,
               const std::map<std::string, int64_t>& seen, int64_t now, std::vector<SmsRecvStruct_t>& ready,
               std::vector<SmsRecvStruct_t>& held, std::map<std::string, int64_t>& stillSeen)
{
    const int64_t limit = static_cast<int64_t>(g_nPartWaitMinutes) * 60;
    for (const SmsRecvStruct_t& sms : listed) {
        SmsFirstSeen_t first;
        const bool keyed = !sms.complete && sms.partReference >= 0;
        if (keyed) {
            const auto it = seen.find(FirstSeenKey(sms));
            first.known = true;
            first.utc = it != seen.end() && Believable(it->second, sms, now) ? it->second : now;
        }
        if (JudgeSmsReadiness(sms, clocks, limit, first) == SMS_READY) {
            ready.push_back(sms);
        } else {
            held.push_back(sms);
            if (keyed) {
                stillSeen[FirstSeenKey(sms)] = first.utc;
            }
        }
    }
}

// Which SIM card a modem holds, for the first-seen record: its number, else
// the modem's IMEI, else its port.
std::string SimKey(const ComPortBaseInfo_t& record)
{
    if (!record.strSmsCardNumber.empty()) {
        return record.strSmsCardNumber;
    }
    return record.strSerialNumber.empty() ? ShortPortName(record.strPortName) : record.strSerialNumber;
}

// The messages of `list` that read-and-clear deletes.
std::vector<SmsRecvStruct_t> DeletableOf(const std::vector<SmsRecvStruct_t>& list)
{
    std::vector<SmsRecvStruct_t> out;
    std::copy_if(list.begin(), list.end(), std::back_inserter(out), Deletable);
    return out;
}

// One line on standard error, written at once (workers write side by side).
void ErrorLine(const std::string& text)
{
    const std::string line = text + "\n";
    if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // Nowhere left to say it: the port's "clear" false still does.
    }
}

// Selects `storage` for reading and deleting.
bool SelectStorage(CPhoneCardBase* phone, CComPortBase* port, SmsStorage_t storage)
{
    switch (storage) {
    case SMS_STORAGE_ME: return CCheckManager::RunComCmdReadME_Sms(phone, port);
    case SMS_STORAGE_SR: return CCheckManager::RunComCmdReadSR_Sms(phone, port);
    default: return CCheckManager::RunComCmdReadSM_Sms(phone, port);
    }
}

// Selects `storage` and deletes from it, by index, the parts of `messages`
// that lie there. A message with a refused part (`refused`, by position,
// shared by the calls for both storages) keeps the rest of its parts.
DeleteOutcome_t DeleteMessages(CPhoneCardBase* phone, CComPortBase* port, SmsStorage_t storage,
                               const std::vector<SmsRecvStruct_t>& messages, std::vector<bool>& refused)
{
    auto here = [storage](const SmsRecvStruct_t& sms) {
        return Deletable(sms) && std::find(sms.storages.begin(), sms.storages.end(), storage) != sms.storages.end();
    };
    const bool undeletable = !std::all_of(messages.begin(), messages.end(), Deletable);
    if (std::none_of(messages.begin(), messages.end(), here)) {
        return undeletable ? DELETE_INCOMPLETE : DELETE_DONE;
    }
    if (StopRequested()) {
        return DELETE_STOPPED;
    }
    // The other storage was listed since: deletes act on the selected one.
    if (!SelectStorage(phone, port, storage)) {
        return DELETE_INCOMPLETE;
    }
    DeleteOutcome_t outcome = undeletable ? DELETE_INCOMPLETE : DELETE_DONE;
    // An index is deleted once: what a second delete met would be a message
    // stored there since, which nobody has read.
    std::set<int> deleted;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (!here(messages[i]) || refused[i]) {
            continue;
        }
        for (std::size_t part = 0; part < messages[i].indices.size(); ++part) {
            const int index = messages[i].indices[part];
            if (messages[i].storages[part] != storage || !deleted.insert(index).second) {
                continue;
            }
            if (StopRequested()) {
                return DELETE_STOPPED;
            }
            if (!CCheckManager::RunComCmdDelSms(phone, port, index)) {
                // The rest of this message stays with the refused part.
                refused[i] = true;
                outcome = DELETE_INCOMPLETE;
                break;
            }
        }
    }
    return outcome;
}

// Names `storage` wherever the listing of `list` left it unnamed.
void NameStorage(std::vector<SmsRecvStruct_t>& list, SmsStorage_t storage)
{
    for (SmsRecvStruct_t& sms : list) {
        if (sms.storage == SMS_STORAGE_LISTED) {
            sms.storage = storage;
        }
        sms.storages.resize(sms.indices.size(), storage);
        std::replace(sms.storages.begin(), sms.storages.end(), SMS_STORAGE_LISTED, storage);
    }
}

// The parts of a long message may lie in both storages (a modem files
// incoming messages in one until it is full, then in the other): the
// entries of both listings are joined as one listing would be, and each
// message is reported from the storage of its first part.
void JoinAcrossStorages(std::vector<SmsInfo> meEntries, const std::vector<SmsInfo>& smEntries,
                        std::vector<SmsRecvStruct_t>& me, std::vector<SmsRecvStruct_t>& sm)
{
    if (meEntries.empty() || smEntries.empty()) {
        return;  // nothing to join across
    }
    for (SmsInfo& e : meEntries) {
        e.storage = SMS_STORAGE_ME;
    }
    for (SmsInfo e : smEntries) {
        e.storage = SMS_STORAGE_SM;
        meEntries.push_back(e);
    }
    me.clear();
    sm.clear();
    for (const SmsRecvStruct_t& sms : CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(meEntries, true)) {
        (sms.storage == SMS_STORAGE_SM ? sm : me).push_back(sms);
    }
}

// How many records of the model's received list were not read whole.
std::size_t UnreadableCount(const CPhoneCardBase& phone)
{
    const std::vector<SmsRecvStruct_t> list = phone.GetReadSms();
    return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), [](const SmsRecvStruct_t& sms) {
        return sms.kind == SMS_KIND_UNREADABLE;
    }));
}

// Reads again, by its index, every entry the last listing did not show whole,
// each index once: a line that lost bytes on the way usually comes whole the
// second time. What still does not stays an unreadable record: reported,
// never deleted. False when the listing showed an index twice: whatever is
// stored there, one of the two was another message, which this run has not
// read.
bool ReadAgainUnreadable(CPhoneCardBase* phone, CComPortBase* port)
{
    std::set<int> indices;
    bool repeated = false;
    for (const SmsRecvStruct_t& sms : phone->GetReadSms()) {
        if (sms.kind == SMS_KIND_UNREADABLE && sms.entryIndex >= 0) {
            indices.insert(sms.entryIndex);
            repeated = repeated || sms.state == SMS_ENTRY_INDEX_REPEATED;
        }
    }
    int commands = 0;
    for (const int index : indices) {
        if (++commands > MAX_READ_AGAIN_COMMANDS || StopRequested()) {
            break;
        }
        CCheckManager::RunComCmdReadOneSms(phone, port, index);
    }
    return !repeated;
}

}  // namespace

void CCheckManager::OnReadAllSms()
{
    std::vector<ComPortBaseInfo_t> ports;
    if (!InputReadAllSmsComPort(ports)) {
        return;
    }
    const time_t start = time(nullptr);
    HandleReadAllSms(ports);
    const time_t end = time(nullptr);
    std::cout << Lang::READ_TIME_USED << static_cast<long>(end - start + 1) << Lang::READ_SECONDS << std::endl;
    usleep(3000000);
}

void CCheckManager::OnDelAllSms()
{
    std::vector<ComPortBaseInfo_t> ports;
    if (!InputReadAllSmsComPort(ports)) {
        return;
    }
    // A key pressed by accident must lose nothing: only a typed "y" deletes.
    std::cout << "\n";
    CColorCout::CoutGreenMessage(Lang::CLEAR_CONFIRM);
    std::string answer;
    std::getline(std::cin, answer);
    std::cin.clear();
    if (StopRequested()) {
        return;
    }
    if (answer != "y" && answer != "Y") {
        std::cout << Lang::CLEAR_NOTHING << std::endl;
        return;
    }
    // Every port at once; the lines in the order the ports were named.
    std::vector<std::string> lines(ports.size());
    RunOnPorts(ports, TAKE_FOR_MODEL, [&](std::size_t i, ModemWork_t& modem) {
        const std::string name = std::string(Lang::READ_PORT) + ShortPortName(modem.record.strPortName) + ": ";
        if (modem.taken == PORTS_BUSY) {
            lines[i] = CColorCout::Red(name + PortUnavailableText(modem.record, true)) + "\n";
            return;
        }
        const PortClears_t cleared = ClearPortStorages(modem, true, true);
        const std::string line = name + Lang::CLEAR_MODEM_MEMORY + ClearOutcomeText(cleared.me) + ", " +
                                 Lang::CLEAR_SIM_CARD + ClearOutcomeText(cleared.sm);
        const bool both = cleared.me == CLEAR_DONE && cleared.sm == CLEAR_DONE;
        lines[i] = (both ? CColorCout::Green(line) : CColorCout::Red(line)) + "\n";
    }, [&](std::size_t i) { CColorCout::WriteLines(lines[i]); });
}

bool CCheckManager::InputReadAllSmsComPort(std::vector<ComPortBaseInfo_t>& ports)
{
    return InputCheckSendPduSmsComPorts(ports);
}

void CCheckManager::HandleReadAllSms(const std::vector<ComPortBaseInfo_t>& ports)
{
    // Every port at once; each port's lines are gathered in its own slot and
    // printed in list order as soon as it and the ports before it are done.
    std::vector<std::string> blocks(ports.size());
    RunOnPorts(ports, TAKE_ALWAYS, [&](std::size_t i, ModemWork_t& modem) {
        std::ostringstream out;
        if (modem.taken == PORTS_BUSY) {
            PrintReadFailure(out, ShortPortName(modem.record.strPortName), PortUnavailableText(modem.record, true));
        } else {
            ReadAndPrintPort(modem, out);
        }
        blocks[i] = out.str();
    }, [&](std::size_t i) { CColorCout::WriteLines(blocks[i]); });
}

void CCheckManager::ReadAndPrintPort(ModemWork_t& modem, std::ostream& out)
{
    std::vector<SmsRecvStruct_t> me;
    std::vector<SmsRecvStruct_t> sm;
    const PortStorages_t read = GetPortSMS(modem, me, sm);
    const bool meRead = IsListed(read.me);
    const bool smRead = IsListed(read.sm);
    const std::string name = ShortPortName(modem.record.strPortName);

    if (meRead || smRead) {
        out << CColorCout::Green(std::string(Lang::READ_PORT) + name + Lang::READ_OK_TOTAL +
                                 std::to_string(me.size() + sm.size()) + Lang::READ_ITEMS)
            << "\n";
        // The SIM card is shown first although the modem memory is read first.
        if (smRead) {
            out << CColorCout::Green(std::string(Lang::READ_SIM_COUNT) + std::to_string(sm.size()) +
                                     Lang::READ_COUNT_SUFFIX)
                << "\n";
            PrintRecvSms(sm, out);
        }
        if (meRead) {
            out << CColorCout::Green(std::string(Lang::READ_DEV_COUNT) + std::to_string(me.size()) +
                                     Lang::READ_COUNT_SUFFIX)
                << "\n";
            PrintRecvSms(me, out);
        }
        return;
    }
    PrintReadFailure(out, name, ReadFailureReason(modem));
}

bool CCheckManager::ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port)
{
    bool whole = false;
    return ReadAllSmsByPhoneSM(phone, port, whole);
}

bool CCheckManager::ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port, bool& whole)
{
    whole = false;
    if (phone == nullptr || port == nullptr || !port->Open()) {
        return false;
    }
    const bool listed = RunComCmdSetPduMode(phone, port) && RunComCmdSetRecvSmsCompatibleMode(phone, port) &&
                        RunComCmdReadAllSmsToPhone(phone, port);
    if (!listed) {
        return false;
    }
    // A follow-up answer fails when it was refused, never completed, held
    // no message, or held one not read whole. Only the last kind is still
    // reported (as unreadable, to be read again by its index): the others
    // leave a message nobody has seen.
    const std::size_t unreadableBefore = UnreadableCount(*phone);
    std::size_t failed = 0;
    for (int command = 0; command < MAX_READ_NEXT_COMMANDS && phone->NotFinished(); ++command) {
        failed += RunComCmdReadNextSms(phone, port) ? 0 : 1;
    }
    whole = !phone->NotFinished() && unreadableBefore + failed == UnreadableCount(*phone);
    return true;
}

CCheckManager::StorageRead_t CCheckManager::ReadStoragePass(CPhoneCardBase* phone, CComPortBase* port,
                                                            SmsStorage_t storage, std::vector<SmsRecvStruct_t>& out)
{
    if (phone == nullptr) {
        return STORAGE_UNAVAILABLE;
    }
    if (!SelectStorage(phone, port, storage)) {
        return STORAGE_UNAVAILABLE;
    }
    bool whole = false;
    if (!ReadAllSmsByPhoneSM(phone, port, whole)) {
        return STORAGE_UNREAD;
    }
    const bool noneHidden = ReadAgainUnreadable(phone, port);
    out = phone->GetReadSms();
    return whole && noneHidden ? STORAGE_READ : STORAGE_PARTLY_READ;
}

void CCheckManager::PrintRecvSms(std::vector<SmsRecvStruct_t> list)
{
    std::ostringstream out;
    PrintRecvSms(list, out);
    CColorCout::WriteLines(out.str());
}

void CCheckManager::PrintRecvSms(const std::vector<SmsRecvStruct_t>& list, std::ostream& out)
{
    const std::string rule(50, '-');
    for (std::size_t i = 0; i < list.size(); ++i) {
        out << rule << "\n";
        out << Lang::READ_ITEM_NO << (i + 1) << Lang::READ_ITEMS << "\n";
        // Sender and text come from strangers: no escape sequence reaches the terminal.
        out << Lang::READ_SEND_TO << ToPrintableText(list[i].from) << "\n";
        out << Lang::READ_SEND_TIME << ToPrintableText(list[i].time) << "\n";
        // A status report's text is the catalogue's; the record's is the JSON report's English.
        std::string text =
            list[i].kind == SMS_KIND_STATUS_REPORT
                ? Lang::STATUS_REPORT_TEXTS[gsmStatusClass(static_cast<unsigned char>(list[i].status))]
                : list[i].text;
        std::string mark;
        if (list[i].kind == SMS_KIND_UNREADABLE) {
            mark = Lang::READ_UNREADABLE_MARK;
            text = list[i].raw;
        } else if (!list[i].complete) {
            mark = Lang::READ_INCOMPLETE_MARK;
        }
        out << Lang::READ_MESSAGE << mark << ToPrintableText(text) << "\n";
    }
    out << rule << "\n";
}

CCheckManager::PortStorages_t CCheckManager::GetPortSMS(ModemWork_t& modem, std::vector<SmsRecvStruct_t>& me,
                                                        std::vector<SmsRecvStruct_t>& sm,
                                                        std::vector<SmsRecvStruct_t>* sr)
{
    PortStorages_t storages;
    CPhoneCardBase* const phone = modem.model.get();
    CComPortBase* const port = modem.Port();
    if (phone == nullptr || port == nullptr) {
        return storages;
    }
    // A message missing a part is shown too, marked: a reader should know
    // its parts are there, and read-and-clear must judge it.
    phone->SetReportIncompleteSms(true);
    port->Open();
    RunComCmdInitPhone(phone, port);
    storages.me = ReadStoragePass(phone, port, SMS_STORAGE_ME, me);
    const std::vector<SmsInfo> meEntries = IsListed(storages.me) ? phone->GetReadEntries() : std::vector<SmsInfo>();
    storages.sm = ReadStoragePass(phone, port, SMS_STORAGE_SM, sm);
    const std::vector<SmsInfo> smEntries = IsListed(storages.sm) ? phone->GetReadEntries() : std::vector<SmsInfo>();
    NameStorage(me, SMS_STORAGE_ME);
    NameStorage(sm, SMS_STORAGE_SM);
    JoinAcrossStorages(meEntries, smEntries, me, sm);
    if (sr != nullptr) {
        storages.sr = ReadStoragePass(phone, port, SMS_STORAGE_SR, *sr);
        NameStorage(*sr, SMS_STORAGE_SR);
        if (storages.sr != STORAGE_UNAVAILABLE) {
            // The SIM card is the storage the initialisation selects.
            RunComCmdReadSM_Sms(phone, port);
        }
    }
    return storages;
}

CCheckManager::PortReadClear_t CCheckManager::ListReadyMessages(ModemWork_t& modem, SmsJournal& journal,
                                                                bool statusReports)
{
    PortReadClear_t result;
    CPhoneCardBase* const phone = modem.model.get();
    CComPortBase* const port = modem.Port();
    if (phone == nullptr || port == nullptr) {
        return result;
    }
    std::vector<SmsRecvStruct_t> me;
    std::vector<SmsRecvStruct_t> sm;
    std::vector<SmsRecvStruct_t> sr;
    result.read = GetPortSMS(modem, me, sm, statusReports ? &sr : nullptr);

    std::vector<SmsRecvStruct_t> all = me;
    all.insert(all.end(), sm.begin(), sm.end());
    const SmsClocks_t clocks = PortClocks(phone, port, all, sr);
    const std::string sim = SimKey(modem.record);
    // Only the messages held now keep their record: a sender reuses its
    // references, and a stale record would flush a new message at once.
    const std::map<std::string, int64_t> seen = journal.LoadFirstSeen(sim);
    std::map<std::string, int64_t> stillSeen;
    const int64_t now = static_cast<int64_t>(time(nullptr));
    TakeReady(me, clocks, seen, now, result.me, result.heldMe, stillSeen);
    TakeReady(sm, clocks, seen, now, result.sm, result.heldSm, stillSeen);
    std::vector<SmsRecvStruct_t> heldSr;  // a status report is never a part
    TakeReady(sr, clocks, seen, now, result.sr, heldSr, stillSeen);
    if (stillSeen != seen) {
        journal.SaveFirstSeen(sim, stillSeen);
    }
    return result;
}

void CCheckManager::DeleteReported(ModemWork_t& modem, PortReadClear_t& result)
{
    CPhoneCardBase* const phone = modem.model.get();
    CComPortBase* const port = modem.Port();
    std::vector<SmsRecvStruct_t> reported = result.me;
    reported.insert(reported.end(), result.sm.begin(), result.sm.end());
    reported.insert(reported.end(), result.sr.begin(), result.sr.end());
    std::vector<bool> refused(reported.size(), false);
    DeleteOutcome_t deleted = DELETE_DONE;
    for (const SmsStorage_t storage : {SMS_STORAGE_ME, SMS_STORAGE_SM, SMS_STORAGE_SR}) {
        if (deleted != DELETE_STOPPED) {
            deleted = std::max(deleted, DeleteMessages(phone, port, storage, reported, refused));
        }
    }
    if (!result.sr.empty()) {
        RunComCmdReadSM_Sms(phone, port);  // the storage the initialisation selects
    }
    result.left.clear();
    for (std::size_t i = 0; i < reported.size(); ++i) {
        result.left.push_back(refused[i] || !Deletable(reported[i]));
    }
    result.stopped = deleted == DELETE_STOPPED;
    // A storage the modem cannot select has nothing to clear; one that could
    // not be listed whole may hold messages nobody has seen.
    auto whole = [](StorageRead_t read) { return read == STORAGE_READ || read == STORAGE_UNAVAILABLE; };
    result.cleared = deleted == DELETE_DONE && whole(result.read.me) && whole(result.read.sm) &&
                     whole(result.read.sr) &&
                     (result.read.me != STORAGE_UNAVAILABLE || result.read.sm != STORAGE_UNAVAILABLE);
}

CCheckManager::PortReadClear_t CCheckManager::ReadAndClearPort(ModemWork_t& modem, SmsJournal& journal)
{
    PortReadClear_t result = ListReadyMessages(modem, journal, false);
    if (modem.model == nullptr || modem.Port() == nullptr) {
        return result;
    }
    // What is about to be deleted is kept on disk first: should the document
    // never reach its reader, the next read reports it from there.
    const std::vector<SmsRecvStruct_t> deleteMe = DeletableOf(result.me);
    const std::vector<SmsRecvStruct_t> deleteSm = DeletableOf(result.sm);
    const std::string name = ShortPortName(modem.record.strPortName);
    SmsJournal::Entry_t entry{name, SmsReadPortToJson(modem.record.strPortName, deleteMe, deleteSm)["msgs"]};
    std::string error;
    const bool safe = entry.msgs.isNull() || journal.Keep(entry, error);
    if (!safe) {
        ErrorLine(std::string(Lang::JOURNAL_NOT_WRITTEN) + journal.Dir() + ": " + error +
                  Lang::JOURNAL_NOTHING_DELETED + name);
        return result;  // nothing deleted: "cleared" stays false
    }
    DeleteReported(modem, result);
    return result;
}

CCheckManager::PortClears_t CCheckManager::ClearPortStorages(ModemWork_t& modem, bool me, bool sm)
{
    PortClears_t result;
    result.me = me ? CLEAR_UNAVAILABLE : CLEAR_NOT_ASKED;
    result.sm = sm ? CLEAR_UNAVAILABLE : CLEAR_NOT_ASKED;
    CPhoneCardBase* const phone = modem.model.get();
    CComPortBase* const port = modem.Port();
    if (phone == nullptr || !(me || sm)) {
        return result;
    }
    if (port == nullptr || !port->Open()) {
        return result;
    }
    // The delete-all command acts on the selected storage only, so each
    // storage is selected and cleared in turn.
    if (me && RunComCmdReadME_Sms(phone, port)) {
        result.me = RunComCmdDelAllSms(phone, port) ? CLEAR_DONE : CLEAR_FAILED;
    }
    if (sm && RunComCmdReadSM_Sms(phone, port)) {
        result.sm = RunComCmdDelAllSms(phone, port) ? CLEAR_DONE : CLEAR_FAILED;
    }
    return result;
}

bool CCheckManager::DelPortSMS(ModemWork_t& modem, bool me, bool sm)
{
    const PortClears_t cleared = ClearPortStorages(modem, me, sm);
    // A storage the modem cannot select does not count against the result.
    const bool anySelected = cleared.me == CLEAR_DONE || cleared.me == CLEAR_FAILED ||
                             cleared.sm == CLEAR_DONE || cleared.sm == CLEAR_FAILED;
    return anySelected && cleared.me != CLEAR_FAILED && cleared.sm != CLEAR_FAILED;
}
