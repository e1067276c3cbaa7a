#ifndef TARNEL_INCOMPLETESMS_H
#define TARNEL_INCOMPLETESMS_H

// Read-and-clear and the long messages still arriving. A concatenated
// message whose missing part may still be on its way stays on the modem,
// unreported, so that a later run reports it whole; one whose newest part is
// old enough, or that tarnel has held for the limit since it first saw it,
// is reported as incomplete and deleted, so that no part is held for ever.

#include <cstdint>
#include <vector>

#include "SmsRecv.h"

// How long after its newest part an incomplete message may still be arriving.
constexpr int64_t INCOMPLETE_SMS_DEFAULT_LIMIT = 600;  // seconds
// How far a clock may lag the newest time stamp on a port and still be believed.
constexpr int64_t SMS_CLOCK_TOLERANCE = 3600;  // seconds

// The clocks a read-and-clear run has on one port, as seconds since
// 1970-01-01 UTC; the controller fills them.
struct SmsClocks_t
{
    bool hasBoard = false;  // the board's own clock, time()
    int64_t boardUtc = 0;
    bool hasModem = false;  // CPhoneCardBase::GetModemClock after "AT+CCLK?"
    int64_t modemUtc = 0;
    bool hasNewestStamp = false;  // the newest time stamp of the port's messages
    int64_t newestStampUtc = 0;

    // Takes in the time stamps of `messages`: call it with each storage's
    // list of the port, incomplete messages included. Only the judgement of
    // a message no clock is believed for uses the newest stamp.
    void AddStamps(const std::vector<SmsRecvStruct_t>& messages);
};

enum SmsReadiness_t
{
    SMS_READY = 0,          // report it (and, in read-and-clear, delete it)
    SMS_STILL_ARRIVING = 1  // leave it on the modem, unreported
};

// When tarnel first saw a message missing a part (the earliest of its parts
// it saw), as seconds since 1970-01-01 UTC by the board's clock; kept across
// runs by the caller. Unknown for a message seen for the first time now.
struct SmsFirstSeen_t
{
    bool known = false;
    int64_t utc = 0;
};

// Whether read-and-clear reports `message` now. `limitSeconds` <= 0 means
// INCOMPLETE_SMS_DEFAULT_LIMIT.
//
// - A complete message is ready; so is every record that is no message
//   missing a part (SMS_KIND_UNREADABLE records are complete).
// - An incomplete one whose newest part has no readable time stamp is ready:
//   nothing will ever tell it from an abandoned one, so holding it would
//   hold it for ever.
// - An incomplete one tarnel first saw at least the limit ago by the board's
//   clock (`firstSeen`) is ready, whatever the stamps say: a part stamped in
//   2060, or one on a board with no clock to believe and no later traffic,
//   is held no longer than that. A first-seen time later than the board's
//   clock (the clock was set back) proves nothing; the caller should then
//   start the count again from the board's clock.
// - Otherwise it is still arriving while now - its newest part < the limit,
//   where "now" is chosen for this message alone. A clock is believed for
//   it when it is not earlier than its newest part's stamp minus
//   SMS_CLOCK_TOLERANCE: the centre stamped that part, so the present is not
//   before it. Boards without a real-time clock that boot at 1970 or at a
//   saved time, and modems without network time at their firmware's date,
//   fail this test. Another message's stamp plays no part in it, so one
//   stamp far ahead (a centre with a wrong zone) judges only its own
//   message: its clocks are not believed for it, and it waits as below.
//   * Both clocks believed: the earlier one. A clock running ahead is
//     outvoted and flushes nothing at once; a believed clock lags at most
//     the tolerance, so parts are held at most that much longer.
//   * One believed: that one.
//   * Neither: the newest time stamp on the port (this message's included),
//     the centre's clock standing in for the board's. The parts then stay
//     until a message stamped at least the limit after their newest part has
//     reached the port, or the first-seen bound above ends the wait. They
//     are not lost meanwhile: they stay on the modem, and `sms read` shows
//     them. Reporting them at once would split the message for good if its
//     last part is on its way: the greater harm.
//
// Not caught: a believed board clock far ahead with no modem clock to
// outvote it makes every incomplete message look old, so each is reported
// (split, not lost) at once; a centre that stamps a wrong time zone shifts
// its messages' ages by that error.
SmsReadiness_t JudgeSmsReadiness(const SmsRecvStruct_t& message, const SmsClocks_t& clocks, int64_t limitSeconds,
                                 const SmsFirstSeen_t& firstSeen = SmsFirstSeen_t());

#endif
