#include "SmsTime.h"

#include <cstring>

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// The value of two decimal digits, or -1.
int TwoDigits(const char* p)
{
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') {
        return -1;
    }
    return (p[0] - '0') * 10 + (p[1] - '0');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

int64_t gsmCivilToUtc(int year, int month, int day, int hour, int minute, int second)
{
    // Days since 1970-01-01 by counting from March, so the leap day ends a year.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool gsmCivilIsValid(int year, int month, int day, int hour, int minute, int second)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) && hour >= 0 && hour < 24 &&
           minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

bool gsmTimeStampToUtc(const char* digits, int64_t* utc)
{
    if (digits == nullptr || utc == nullptr || strnlen(digits, 14) < 14) {
        return false;
    }
    int f[6];
    for (int i = 0; i < 6; ++i) {
        f[i] = TwoDigits(digits + 2 * i);
        if (f[i] < 0) {
            return false;
        }
    }
    const int year = f[0] >= 69 ? 1900 + f[0] : 2000 + f[0];
    if (!gsmCivilIsValid(year, f[1], f[2], f[3], f[4], f[5])) {
        return false;
    }
    // The zone octet's first semi-octet: sign in bit 3, tens in bits 0-2.
    const int tensAndSign = HexValue(digits[12]);
    const int units = digits[13] >= '0' && digits[13] <= '9' ? digits[13] - '0' : -1;
    if (tensAndSign < 0 || units < 0) {
        return false;
    }
    const int quarters = (tensAndSign & 7) * 10 + units;
    if (quarters > GSM_MAX_ZONE_QUARTERS) {
        return false;
    }
    const int zoneSeconds = (tensAndSign & 8 ? -quarters : quarters) * 900;
    // Local time minus its zone's lead over UTC.
    *utc = gsmCivilToUtc(year, f[1], f[2], f[3], f[4], f[5]) - zoneSeconds;
    return true;
}
