#ifndef TARNEL_BASIC_H
#define TARNEL_BASIC_H

// The values of set.ini, the clocks and the waits built on them.

#include <cstdint>
#include <string>

// The values of set.ini (section "comm"). Each is one row of SETTING_KEYS
// (Settings.h), which holds its default and bounds; LoadSettings writes them
// once at start-up, before any port is opened or any worker starts, and
// nothing writes them afterwards.

// "def" and, only when it is 1, "time1".."time10" (element 0 is time1, the
// length of a serial read pass that receives nothing, in 0.5 ms units, when
// above 0).
extern int32_t g_nWinUserSet;
extern int32_t g_nWinUserValue[10];

// "partwait", in minutes: how long after its newest part read-and-clear
// leaves a long message that still misses a part on the modem. 0 or less
// means the built-in limit (10 minutes).
extern int32_t g_nPartWaitMinutes;

// "busywait": how long, in seconds, a send, read or clear waits for a port
// that another program holds (0: not at all).
extern int32_t g_nBusyWaitSec;

// "fixedports": 0 leaves /dev/ttyS0 and /dev/ttyS1 out of every scan; 1
// examines them.
extern int32_t g_nFixedPorts;

// "acmports": 1 examines every /dev/ttyACM*; 0 only those a modem table or a
// port list names.
extern int32_t g_nAcmPorts;

// "regwait": seconds a send waits for a modem to register with a network.
extern int32_t g_nRegWaitSec;

// "ussdwait": seconds to wait for the network's reply to a USSD code.
extern int32_t g_nUssdWaitSec;

// "watchpoll": seconds between two full listings while watching for messages.
extern int32_t g_nWatchPollSec;

// "encoding": how a sent text is encoded. UCS-2 always, or GSM 7-bit where
// the whole text fits its alphabet (CDMA modems keep their own encoding).
enum SMS_ENCODING_t : int32_t
{
    SMS_ENCODING_UCS2 = 0,
    SMS_ENCODING_AUTO = 1,
};
extern int32_t g_nSmsEncoding;

// "journaldir": the folder of the message journal.
extern std::string g_strJournalDir;

// Quiet gap that ends a read pass once input has arrived, in microseconds.
// 0 (the default) means the built-in rule of ReadQuietGapUsec. Tests set it
// before opening ports; nothing else writes it.
extern int64_t g_nReadQuietGapUsec;

// The nominal length of one read pass in microseconds: time1 x 500 when time1
// is above 0, else 600 x 500 (0.3 s).
int64_t ReadPassUsec();

// Once input has arrived, a read pass ends at the latest this long after it
// began, whatever time1 says (1000 x 0.5 ms), so a device that never stops
// talking cannot hold it.
const int64_t READ_PASS_CAP_USEC = 500000;

// The quiet gap after the last byte that ends a read pass at `baudRate`:
// g_nReadQuietGapUsec when set, else 4 character times but at least 3 ms.
int64_t ReadQuietGapUsec(int32_t baudRate);

// Wall-clock time in microseconds since the epoch.
int64_t time_usec2();

// Monotonic time in microseconds (CLOCK_MONOTONIC): a clock step neither
// stalls nor shortens a wait measured on it.
int64_t MonotonicUsec();

// Sleeps until MonotonicUsec() reaches `until`; returns 0 at once when
// `until` is already past.
int32_t usleep_until2(uint64_t until);

#endif
