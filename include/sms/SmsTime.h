#ifndef TARNEL_SMSTIME_H
#define TARNEL_SMSTIME_H

// Absolute instants of the time stamps an SMS carries (3GPP TS 23.040,
// 9.2.3.11) and of the clock a modem reports (TS 27.007 "+CCLK"), as seconds
// since 1970-01-01 00:00:00 UTC. Always 64 bits: time_t and long are 32 bits
// on the ARM boards.

#include <cstdint>

// Seconds since 1970-01-01 UTC of a date and time of the proleptic Gregorian
// calendar given in UTC. The fields are not checked: pass valid ones.
int64_t gsmCivilToUtc(int year, int month, int day, int hour, int minute, int second);

// True when the fields name a real date and time (month 1..12, day within the
// month, hour < 24, minute and second < 60).
bool gsmCivilIsValid(int year, int month, int day, int hour, int minute, int second);

// The most a time zone may differ from UTC, in quarter hours (14 hours).
constexpr int GSM_MAX_ZONE_QUARTERS = 56;

// The instant of a time stamp as the decoder writes it (tp_scts, tp_dt): 14
// characters, year, month, day, hour, minute and second as two decimal
// digits each, then the two semi-octets of the time-zone octet as they stand
// after swapping: first the tens of quarter hours with the zone's sign in
// its bit 3 (so '8'..'F' for a zone behind UTC), then the units. The time is
// the zone's local time. "23051708300032" is 2023-05-17 08:30:00 at UTC+8
// (32 quarter hours), 00:30:00 UTC; "230517083000A0" is 08:30:00 at UTC-5.
// Two-digit years 69..99 are 1969..1999, 00..68 are 2000..2068.
// False, leaving `utc` alone, for fewer than 14 characters, a field that is
// not decimal or out of range, or a zone beyond GSM_MAX_ZONE_QUARTERS.
bool gsmTimeStampToUtc(const char* digits, int64_t* utc);

#endif
