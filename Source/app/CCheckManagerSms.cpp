// The "sms" sub-commands: read, clear or read-and-clear every usable port
// without a dialogue and report in one JSON document on standard output.
#include <json/json.h>

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "CCheckManager.h"
#include "DocumentOutput.h"
#include "Lang.h"
#include "ModemDocuments.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "SmsCharset.h"
#include "SmsJournal.h"
#include "WatchLines.h"
#include "basic.h"

namespace {

// What a sub-command does and how its document is printed.
struct SmsSubCommand_t
{
    const char* name;
    bool read;
    bool clear;
    bool compact;
};

const SmsSubCommand_t SMS_SUB_COMMANDS[] = {
    {"read", true, false, false},   {"clear", false, true, false},  {"readclear", true, true, false},
    {"sread", true, false, true},   {"sclear", false, true, true},  {"sreadclear", true, true, true},
};

}  // namespace

Json::Value CCheckManager::SmsToJson(const SmsRecvStruct_t& sms, bool fromSim)
{
    Json::Value msg(Json::objectValue);
    msg["time"] = sms.time;
    msg["from"] = sms.from;
    msg["text"] = sms.text;
    msg["storage"] = fromSim ? "SIM" : "DEV";
    if (!sms.complete) {
        msg["incomplete"] = true;
    }
    if (sms.kind != SMS_KIND_MESSAGE) {
        msg["kind"] = SmsKindName(sms.kind);
    }
    if (sms.kind == SMS_KIND_STATUS_REPORT) {
        msg["status"] = sms.status;
        msg["reference"] = sms.reference;
    } else if (sms.kind == SMS_KIND_UNREADABLE) {
        // What the modem gave may hold any bytes; a document must stay UTF-8.
        std::wstring wide;
        const bool text = sms.raw.find('\0') == std::string::npos && Utf8ToWide(sms.raw.data(), sms.raw.size(), wide);
        msg["raw"] = text ? sms.raw : string_to_hex(sms.raw);
        if (!text) {
            msg["rawhex"] = true;
        }
    }
    return msg;
}

Json::Value CCheckManager::SmsReadPortToJson(const std::string& portPath, const std::vector<SmsRecvStruct_t>& me,
                                             const std::vector<SmsRecvStruct_t>& sm)
{
    Json::Value port(Json::objectValue);
    port["name"] = ShortPortName(portPath);
    port["msgcount"] = static_cast<Json::UInt64>(sm.size() + me.size());
    for (const SmsRecvStruct_t& sms : sm) {
        port["msgs"].append(SmsToJson(sms, true));
    }
    for (const SmsRecvStruct_t& sms : me) {
        port["msgs"].append(SmsToJson(sms, false));
    }
    return port;
}

Json::Value CCheckManager::SmsPortReport(ModemWork_t& modem, bool read, bool clear, SmsJournal& journal)
{
    const std::string& path = modem.record.strPortName;
    Json::Value port(Json::objectValue);
    if (!read) {
        port["name"] = ShortPortName(path);
        port["clear"] = DelPortSMS(modem);
    } else if (clear) {
        const PortReadClear_t done = ReadAndClearPort(modem, journal);
        port = SmsReadPortToJson(path, done.me, done.sm);
        port["clear"] = done.cleared;
        const Json::Value held = SmsReadPortToJson(path, done.heldMe, done.heldSm)["msgs"];
        if (!held.isNull()) {
            port["held"] = held;
        }
    } else {
        std::vector<SmsRecvStruct_t> me;
        std::vector<SmsRecvStruct_t> sm;
        GetPortSMS(modem, me, sm);
        port = SmsReadPortToJson(path, me, sm);
    }
    AddIdentityMembers(port, modem.record.strSerialNumber, modem.record.strSmsCardNumber,
                       modem.record.modem.usb.position);
    return port;
}

namespace {

// Puts the messages that earlier runs journalled in front of their port's
// messages; a port not in this document gets an object of its own, which
// "portcount" does not count.
void AddJournalled(Json::Value& root, const std::vector<SmsJournal::Entry_t>& entries)
{
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        Json::Value* port = nullptr;
        for (Json::Value& p : root["ports"]) {
            if (p["name"].asString() == entry->port) {
                port = &p;
            }
        }
        if (port == nullptr) {
            Json::Value added(Json::objectValue);
            added["name"] = entry->port;
            added["msgcount"] = 0;
            root["ports"].append(added);
            port = &root["ports"][root["ports"].size() - 1];
        }
        Json::Value msgs = entry->msgs;
        for (const Json::Value& msg : (*port)["msgs"]) {
            msgs.append(msg);
        }
        (*port)["msgs"] = msgs;
        (*port)["msgcount"] = static_cast<Json::UInt64>(msgs.size());
    }
}

// The port object of a modem that is not worked on: its name, why, and who it is.
Json::Value PortErrorObject(const ComPortBaseInfo_t& record, const std::string& why)
{
    Json::Value port(Json::objectValue);
    port["name"] = ShortPortName(record.strPortName);
    port["error"] = why;
    AddIdentityMembers(port, record.strSerialNumber, record.strSmsCardNumber, record.modem.usb.position);
    return port;
}

}  // namespace

void CCheckManager::OnCmdSMS(const std::string& subcommand, const std::string& portList, bool extraArguments)
{
    if (subcommand == "watch") {
        OnSmsWatch(portList, extraArguments);
        return;
    }
    const SmsSubCommand_t* known = nullptr;
    for (const SmsSubCommand_t& row : SMS_SUB_COMMANDS) {
        if (subcommand == row.name) {
            known = &row;
            break;
        }
    }

    const time_t start = time(nullptr);
    Json::Value root(Json::objectValue);
    root["type"] = subcommand;
    // Whatever is wrong with the command line is said before anything is touched.
    std::vector<PortItem_t> items;
    std::string error;
    if (known != nullptr && extraArguments) {
        error = "too many arguments: sms <sub-command> [ports]";
    } else if (known != nullptr) {
        ParsePortList(portList, items, error);
    }
    const SmsSubCommand_t* const command = error.empty() ? known : nullptr;
    if (!error.empty()) {
        root["error"] = error;
    }
    root["check"] = command != nullptr ? 1 : 0;

    SmsJournal journal(g_strJournalDir);
    if (command != nullptr) {
        m_bSayWaits = true;
        // Messages an earlier run deleted but could not hand over come first.
        const std::vector<SmsJournal::Entry_t> left =
            command->read ? journal.TakeLeftEntries() : std::vector<SmsJournal::Entry_t>();
        std::vector<ComPortBaseInfo_t> ports;
        if (!ScanChosenModems(portList, items, ports)) {
            // An item that could mean two modems: nothing is read or cleared.
            root["check"] = 0;
            root["error"] = m_strSelectionError;
        }
        // A named modem that cannot be read says why instead of vanishing.
        std::vector<ComPortBaseInfo_t> work;
        std::vector<std::size_t> slotOfWork;
        std::vector<Json::Value> reports(ports.size());
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (ports[i].Unavailable() || IsUsablePort(ports[i])) {
                work.push_back(ports[i]);
                slotOfWork.push_back(i);
            } else {
                reports[i] = PortErrorObject(ports[i], GetSmsCodeEnglishStr(GetSmsErrorCode(ports[i])));
            }
        }
        // One slot per port, sized before the workers start; a port that
        // turns out unusable once a busy wait is over leaves its slot null.
        RunOnPorts(work, TAKE_ALWAYS, [&](std::size_t i, ModemWork_t& modem) {
            Json::Value& report = reports[slotOfWork[i]];
            if (modem.taken == PORTS_BUSY) {
                report = PortErrorObject(modem.record, PortUnavailableText(modem.record, false));
            } else if (IsUsablePort(modem.record)) {
                report = SmsPortReport(modem, command->read, command->clear, journal);
            }
        });
        Json::UInt64 usable = 0;
        for (const Json::Value& report : reports) {
            if (!report.isNull()) {
                root["ports"].append(report);
                // A port another program holds is listed (with its "error") but not counted.
                usable += report.isMember("error") ? 0 : 1;
            }
        }
        AddJournalled(root, left);
        root["portcount"] = usable;
    }

    const time_t end = time(nullptr);
    root["seconds"] = static_cast<Json::Int64>(end - start);
    std::string text;
    if (known != nullptr && known->compact) {
        Json::FastWriter writer;
        text = writer.write(root) + "\n";
    } else {
        text = root.toStyledString() + "\n";
    }
    std::string writeError;
    if (WriteDocument(text, writeError)) {
        // The messages reached the reader: their journal entries go.
        journal.RemoveHeldEntries();
        return;
    }
    MarkDocumentLost();
    const bool kept = journal.HoldsEntries();
    std::cerr << Lang::DOCUMENT_NOT_WRITTEN << writeError
              << (kept ? Lang::DOCUMENT_MESSAGES_KEPT + journal.Dir() : std::string(Lang::DOCUMENT_NOTHING_LOST))
              << std::endl;
}

void CCheckManager::GetPortList(std::vector<ComPortBaseInfo_t>& ports)
{
    ports.clear();
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        const ComPortBaseInfo_t info = RecordFromEntry(entry, true);
        if (info.Unavailable() || IsUsablePort(info)) {
            ports.push_back(info);
        }
    }
}

bool CCheckManager::IsUsablePort(const ComPortBaseInfo_t& info)
{
    return !info.Unavailable() && info.bAtOk && !info.strSerialNumber.empty() && !info.strSignal.empty() &&
           !info.strSmsCardNumber.empty();
}
