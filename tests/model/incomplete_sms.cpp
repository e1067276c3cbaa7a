// When read-and-clear may report and delete a long message that still
// misses a part, with the board's clock right, far behind or far ahead, the
// modem's clock believed or not, other messages' stamps, and the time tarnel
// first saw it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "IncompleteSms.h"

namespace {

constexpr int64_t T = 1684283400;  // the newest part's time stamp: 2023-05-17 00:30:00 UTC
constexpr int64_t NONE = INT64_MIN;
constexpr int64_t TEN_YEARS = 10 * 365 * 86400LL;
constexpr int64_t FIRMWARE_DATE = 315964800;  // 1980-01-06, a modem without network time

struct ReadinessCase
{
    const char* name;
    bool complete;
    bool hasStamp;
    int64_t board;   // NONE: no such clock
    int64_t modem;
    int64_t newest;  // newest time stamp of the other messages on the port
    int64_t limit;
    SmsReadiness_t expected;
    int64_t firstSeen = NONE;  // when tarnel first saw it, by the board's clock
};

std::ostream& operator<<(std::ostream& os, const ReadinessCase& c)
{
    return os << c.name;
}

const ReadinessCase READINESS_CASES[] = {
    {"CompleteMessage", true, true, T, NONE, NONE, 600, SMS_READY},
    {"NoTimeStampIsNotHeldForEver", false, false, T, NONE, NONE, 600, SMS_READY},
    {"BoardRightRecent", false, true, T + 300, NONE, NONE, 600, SMS_STILL_ARRIVING},
    {"BoardRightJustUnderTheLimit", false, true, T + 599, NONE, NONE, 600, SMS_STILL_ARRIVING},
    {"BoardRightAtTheLimit", false, true, T + 600, NONE, NONE, 600, SMS_READY},
    {"NoLimitIsTenMinutesRecent", false, true, T + 599, NONE, NONE, 0, SMS_STILL_ARRIVING},
    {"NoLimitIsTenMinutesOld", false, true, T + 600, NONE, NONE, 0, SMS_READY},
    {"ShorterLimit", false, true, T + 60, NONE, NONE, 60, SMS_READY},
    // A board booted at 1970: not believed, so nothing is flushed at once...
    {"BoardAt1970Alone", false, true, 0, NONE, NONE, 600, SMS_STILL_ARRIVING},
    // ...and a later message on the port stands in for the clock.
    {"BoardAt1970LaterMessage", false, true, 0, NONE, T + 700, 600, SMS_READY},
    {"BoardBehindModemOld", false, true, T - 3 * 86400, T + 700, NONE, 600, SMS_READY},
    {"BoardBehindModemRecent", false, true, T - 3 * 86400, T + 100, NONE, 600, SMS_STILL_ARRIVING},
    // A board far ahead is outvoted by a believed modem clock.
    {"BoardFarAheadModemRight", false, true, T + TEN_YEARS, T + 100, NONE, 600, SMS_STILL_ARRIVING},
    // A modem at its firmware's date must not hold the parts.
    {"ModemAtFirmwareDateBoardRight", false, true, T + 700, FIRMWARE_DATE, NONE, 600, SMS_READY},
    // A board a little behind is believed: the parts wait that much longer.
    {"BoardLittleBehindBelieved", false, true, T - 1800, NONE, T + 700, 600, SMS_STILL_ARRIVING},
    // Another message stamped 3 h ahead (a centre with a wrong zone) changes
    // nothing for this one: the board is still believed for it.
    {"OtherStampFarAheadYoungPartHeld", false, true, T + 120, NONE, T + 3 * 3600, 600, SMS_STILL_ARRIVING},
    {"OtherStampFarAheadOldPartReady", false, true, T + 700, NONE, T + 3 * 3600, 600, SMS_READY},
    {"OtherStampFarAheadModemStillBelieved", false, true, T - 3 * 86400, T + 120, T + 3 * 3600, 600,
     SMS_STILL_ARRIVING},
    // Its own stamp 3 h ahead of every clock: it alone waits for later traffic.
    {"OwnStampFarAheadWaits", false, true, T - 3 * 3600, T - 3 * 3600, NONE, 600, SMS_STILL_ARRIVING},
    // Held no longer than the limit after tarnel first saw it, whatever the stamps say.
    {"FirstSeenAtTheLimitBoardAt1970", false, true, 1000, NONE, NONE, 600, SMS_READY, 400},
    {"FirstSeenJustUnderTheLimit", false, true, 1000, NONE, NONE, 600, SMS_STILL_ARRIVING, 401},
    {"StampTenYearsAheadFirstSeenLongAgo", false, true, T - TEN_YEARS, NONE, NONE, 600, SMS_READY,
     T - TEN_YEARS - 86400},
    {"FirstSeenDefaultLimit", false, true, 1000, NONE, NONE, 0, SMS_READY, 400},
    // A first-seen time after the board's clock (set back since) proves nothing.
    {"FirstSeenAfterTheBoardClock", false, true, T - 3 * 3600, NONE, NONE, 600, SMS_STILL_ARRIVING,
     T + 86400},
    {"FirstSeenWithoutBoardClock", false, true, NONE, NONE, NONE, 600, SMS_STILL_ARRIVING, 0},
    // A recent first sighting does not hold back what the stamps call old.
    {"FirstSeenRecentStampOld", false, true, T + 700, NONE, NONE, 600, SMS_READY, T + 650},
};

class IncompleteSmsReadiness : public ::testing::TestWithParam<ReadinessCase>
{
};

TEST_P(IncompleteSmsReadiness, Judged)
{
    const ReadinessCase& c = GetParam();
    SmsRecvStruct_t message;
    message.complete = c.complete;
    message.hasStamp = c.hasStamp;
    message.stampUtc = c.hasStamp ? T : 0;
    SmsClocks_t clocks;
    clocks.hasBoard = c.board != NONE;
    clocks.boardUtc = clocks.hasBoard ? c.board : 0;
    clocks.hasModem = c.modem != NONE;
    clocks.modemUtc = clocks.hasModem ? c.modem : 0;
    if (c.newest != NONE) {
        SmsRecvStruct_t other;
        other.hasStamp = true;
        other.stampUtc = c.newest;
        clocks.AddStamps({other, SmsRecvStruct_t()});
    }
    SmsFirstSeen_t firstSeen;
    firstSeen.known = c.firstSeen != NONE;
    firstSeen.utc = firstSeen.known ? c.firstSeen : 0;
    EXPECT_EQ(JudgeSmsReadiness(message, clocks, c.limit, firstSeen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IncompleteSmsReadiness, ::testing::ValuesIn(READINESS_CASES),
                         [](const ::testing::TestParamInfo<ReadinessCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
