#include "IncompleteSms.h"

#include <algorithm>

void SmsClocks_t::AddStamps(const std::vector<SmsRecvStruct_t>& messages)
{
    for (const SmsRecvStruct_t& m : messages) {
        if (m.hasStamp && (!hasNewestStamp || m.stampUtc > newestStampUtc)) {
            hasNewestStamp = true;
            newestStampUtc = m.stampUtc;
        }
    }
}

SmsReadiness_t JudgeSmsReadiness(const SmsRecvStruct_t& message, const SmsClocks_t& clocks, int64_t limitSeconds,
                                 const SmsFirstSeen_t& firstSeen)
{
    if (message.complete || !message.hasStamp) {
        return SMS_READY;
    }
    const int64_t limit = limitSeconds > 0 ? limitSeconds : INCOMPLETE_SMS_DEFAULT_LIMIT;
    if (firstSeen.known && clocks.hasBoard && clocks.boardUtc - firstSeen.utc >= limit) {
        return SMS_READY;
    }
    // Believed for this message by its own stamp alone: another message's
    // stamp, right or wrong, changes nothing here.
    const int64_t earliestPresent = message.stampUtc - SMS_CLOCK_TOLERANCE;
    const bool board = clocks.hasBoard && clocks.boardUtc >= earliestPresent;
    const bool modem = clocks.hasModem && clocks.modemUtc >= earliestPresent;
    int64_t now = clocks.hasNewestStamp ? std::max(clocks.newestStampUtc, message.stampUtc) : message.stampUtc;
    if (board && modem) {
        now = std::min(clocks.boardUtc, clocks.modemUtc);
    } else if (board) {
        now = clocks.boardUtc;
    } else if (modem) {
        now = clocks.modemUtc;
    }
    return now - message.stampUtc >= limit ? SMS_READY : SMS_STILL_ARRIVING;
}
