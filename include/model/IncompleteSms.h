#ifndef TARNEL_INCOMPLETESMS_H
#define TARNEL_INCOMPLETESMS_H

// Read-and-clear and the long messages still arriving. A concatenated
// message whose missing part may still be on its way stays on the modem,
// unreported, so that a later run reports it whole; one whose newest part is
// old enough is reported as incomplete and deleted, so that no part is held
// for ever. `sms read` and the menu show incomplete messages regardless.

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
    // list of the port, incomplete messages included.
    void AddStamps(const std::vector<SmsRecvStruct_t>& messages);
};

enum SmsReadiness_t
{
    SMS_READY = 0,          // report it (and, in read-and-clear, delete it)
    SMS_STILL_ARRIVING = 1  // leave it on the modem, unreported
};

// Whether read-and-clear reports `message` now. `limitSeconds` <= 0 means
// INCOMPLETE_SMS_DEFAULT_LIMIT.
//
// - A complete message is ready.
// - An incomplete one whose newest part has no readable time stamp is ready:
//   nothing will ever tell it from an abandoned one, so holding it would
//   hold it for ever.
// - Otherwise it is still arriving while now - its newest part < the limit,
//   where "now" is chosen thus. A clock is believed when it is not earlier
//   than the newest time stamp on the port (this message's own included)
//   minus SMS_CLOCK_TOLERANCE: the centre stamped those messages, so the
//   present is not before them. Boards without a real-time clock that boot
//   at 1970 or at a saved time, and modems without network time at their
//   firmware's date, fail this test.
//   * Both clocks believed: the earlier one. A clock running ahead is
//     outvoted and flushes nothing at once; a believed clock lags at most
//     the tolerance, so parts are held at most that much longer.
//   * One believed: that one.
//   * Neither: the newest time stamp on the port, the centre's clock
//     standing in for the board's. The parts then stay until a message
//     stamped at least the limit after their newest part has reached the
//     port. They are not lost meanwhile: they stay on the modem, and
//     `sms read` shows them. Reporting them at once would split the
//     message for good if its last part is on its way: the greater harm.
//
// Not caught: a believed board clock far ahead with no modem clock to
// outvote it makes every incomplete message look old, so each is reported
// (split, not lost) at once; a centre that stamps a wrong time zone shifts
// every age by that error.
SmsReadiness_t JudgeSmsReadiness(const SmsRecvStruct_t& message, const SmsClocks_t& clocks, int64_t limitSeconds);

#endif
