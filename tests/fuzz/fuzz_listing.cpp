// The "AT+CMGL=4" listing parser, its judgement of whole entries and the
// joining of parts, on any text.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "PhoneCardBase.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string rsp(reinterpret_cast<const char*>(data), size);

    CPhoneCardBase waiting;
    const int verdict = waiting.OnReadAllSmsCmdRsp(rsp);
    fuzz::Require(verdict == RSP_OK || verdict == RSP_ERROR || verdict == RSP_MORE);

    CPhoneCardBase parser;
    const std::vector<SmsInfo> entries = parser.SmsRspToSmsInfoVec(rsp);
    const std::vector<SmsRecvStruct_t> complete = CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(entries, false);
    const std::vector<SmsRecvStruct_t> all = CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(entries, true);
    // Joining never makes messages out of nothing, and asking for incomplete
    // ones never hides a complete one.
    fuzz::Require(complete.size() <= entries.size());
    fuzz::Require(all.size() >= complete.size() && all.size() <= entries.size());
    if (verdict != RSP_ERROR) {
        fuzz::Require(waiting.GetReadSms().size() == complete.size());
    }
    for (const SmsRecvStruct_t& r : all) {
        fuzz::Require(r.time.empty() || r.time.size() == 17);
    }
    // Every stored entry is in exactly one record, by its index: what a run
    // reports is what it may delete, no more and no less; an entry not read
    // whole is reported by where it is, and nothing of it may be deleted.
    std::vector<int> listed;
    std::vector<int> unread;
    for (const SmsInfo& e : entries) {
        listed.push_back(e.mode.index);
        if (e.state != SMS_ENTRY_WHOLE) {
            unread.push_back(e.mode.index);
        }
    }
    std::vector<int> reported;
    std::vector<int> unreadable;
    for (const SmsRecvStruct_t& r : all) {
        if (r.kind == SMS_KIND_UNREADABLE) {
            fuzz::Require(r.indices.empty() && r.state != SMS_ENTRY_WHOLE && r.from.empty() && r.text.empty());
            unreadable.push_back(r.entryIndex);
            reported.push_back(r.entryIndex);
            continue;
        }
        fuzz::Require(!r.indices.empty() && r.state == SMS_ENTRY_WHOLE);
        reported.insert(reported.end(), r.indices.begin(), r.indices.end());
    }
    std::sort(listed.begin(), listed.end());
    std::sort(reported.begin(), reported.end());
    fuzz::Require(listed == reported);
    std::sort(unread.begin(), unread.end());
    std::sort(unreadable.begin(), unreadable.end());
    fuzz::Require(unread == unreadable);
    // Without incomplete messages, what is left out is only ever incomplete.
    for (const SmsRecvStruct_t& r : complete) {
        fuzz::Require(r.complete || r.indices.size() == 1);
    }
    return 0;
}
