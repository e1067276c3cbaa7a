// The lines of "sms watch" and the id of a received message.
#include "WatchLines.h"

#include <json/json.h>

#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "DocumentOutput.h"
#include "Lang.h"
#include "ModemDocuments.h"
#include "PortDiscovery.h"

namespace {

const uint64_t kFnvOffset = 14695981039346656037ULL;
const uint64_t kFnvPrime = 1099511628211ULL;

void HashBytes(uint64_t& hash, const std::string& bytes)
{
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnvPrime;
    }
}

// A field of the canonical text: its length, ":", its bytes; no field can
// run into the next.
void HashField(uint64_t& hash, const std::string& field)
{
    HashBytes(hash, std::to_string(field.size()) + ":");
    HashBytes(hash, field);
}

}  // namespace

const char* SmsKindName(SmsKind_t kind)
{
    switch (kind) {
    case SMS_KIND_STATUS_REPORT: return "status-report";
    case SMS_KIND_UNDECODABLE: return "undecodable";
    case SMS_KIND_UNREADABLE: return "unreadable";
    default: return "message";
    }
}

std::string SmsWatchId(const std::string& sim, const SmsRecvStruct_t& sms)
{
    uint64_t hash = kFnvOffset;
    HashBytes(hash, "tarnel-sms-1");
    for (const std::string& field :
         {sim, std::string(SmsKindName(sms.kind)), sms.from, sms.time, sms.text, std::to_string(sms.partReference),
          std::to_string(sms.partCount), std::to_string(sms.status), std::to_string(sms.reference), sms.raw}) {
        HashField(hash, field);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

bool WatchOutput::Write(const Json::Value& line)
{
    Json::FastWriter writer;
    const std::string text = writer.write(line);
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bFailed) {
        return false;
    }
    std::string error;
    if (WriteDocument(text, error)) {
        return true;
    }
    m_bFailed = true;
    MarkDocumentLost();
    std::cerr << Lang::WATCH_NOT_WRITTEN << error << Lang::WATCH_NOTHING_MORE_DELETED << std::endl;
    return false;
}

Json::Value WatchLine(const char* event, const ComPortBaseInfo_t& record)
{
    Json::Value line(Json::objectValue);
    line["event"] = event;
    line["name"] = ShortPortName(record.strPortName);
    AddIdentityMembers(line, record.strSerialNumber, record.strSmsCardNumber, record.modem.usb.position);
    return line;
}
