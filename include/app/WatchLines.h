#ifndef TARNEL_WATCHLINES_H
#define TARNEL_WATCHLINES_H

// The lines of "sms watch": one JSON object per line on standard output,
// each written whole and at once, and the stable id of a received message.
//
// Threads: every modem's watcher writes through the one WatchOutput of the
// run; its mutex keeps lines whole and in one order, and once a write failed
// no line is written any more (Failed, read by every watcher before it
// deletes anything).

#include <atomic>
#include <mutex>
#include <string>

#include "PortRecords.h"
#include "SmsRecv.h"

namespace Json { class Value; }  // json/value.h

// The id of a message received on a SIM: 16 lower-case hex digits of the
// FNV-1a 64-bit hash of "tarnel-sms-1" followed by, for each of `sim` (the
// ICCID, else the IMEI), the kind, the sender, the centre time stamp, the
// text, the part reference and count (decimal), the status and reference of
// a status report (decimal) and the raw text of an entry not read whole:
// its length in decimal, ":", its bytes. The same message on the same SIM
// keeps its id across runs; two SIMs give two ids.
std::string SmsWatchId(const std::string& sim, const SmsRecvStruct_t& sms);

// The word of a message's "kind" member: "message", "status-report",
// "undecodable" or "unreadable".
const char* SmsKindName(SmsKind_t kind);

class WatchOutput
{
public:
    // Writes `line` as one compact line (WriteDocument), unless a write
    // failed before. False when it was not written; the first failure is
    // said on standard error and makes the run's exit status 1.
    bool Write(const Json::Value& line);
    // True once a write failed: nothing more may be deleted.
    bool Failed() const { return m_bFailed; }

private:
    std::mutex m_mutex;  // one line at a time
    std::atomic<bool> m_bFailed{false};
};

// The members every line about a modem has: "event", "name" (its AT port's
// short name), "imei", "iccid" and "usb".
Json::Value WatchLine(const char* event, const ComPortBaseInfo_t& record);

#endif
