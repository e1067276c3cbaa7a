// Deleting stored messages one by one, and the modem's clock that tells a
// long message still arriving from one whose missing part will not come.
#include "PhoneCardBase.h"

#include <cctype>

#include "SmsTime.h"

namespace {

// Reads a number of `minDigits` to `maxDigits` digits at `pos`, then the
// character `then` unless it is '\0'.
bool ReadNumber(const std::string& s, std::string::size_type& pos, int minDigits, int maxDigits, char then,
                int& value)
{
    int digits = 0;
    value = 0;
    while (pos < s.size() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits < minDigits) {
        return false;
    }
    if (then != '\0') {
        if (pos >= s.size() || s[pos] != then) {
            return false;
        }
        ++pos;
    }
    return true;
}

// "yy/MM/dd,hh:mm:ss±zz" (or a four-digit year) at `pos`, local time and its
// zone in quarter hours, as an instant.
bool ReadClock(const std::string& s, std::string::size_type pos, int64_t& utc)
{
    const std::string::size_type yearStart = pos;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadNumber(s, pos, 2, 4, '/', year)) {
        return false;
    }
    const std::string::size_type yearDigits = pos - yearStart - 1;
    if (yearDigits == 3) {
        return false;
    }
    if (yearDigits == 2) {
        year += year >= 69 ? 1900 : 2000;  // as a time stamp's two-digit year
    }
    if (!ReadNumber(s, pos, 1, 2, '/', month) || !ReadNumber(s, pos, 1, 2, ',', day) ||
        !ReadNumber(s, pos, 1, 2, ':', hour) || !ReadNumber(s, pos, 1, 2, ':', minute) ||
        !ReadNumber(s, pos, 1, 2, '\0', second)) {
        return false;
    }
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) {
        return false;
    }
    const bool behind = s[pos] == '-';
    ++pos;
    int quarters = 0;
    if (!ReadNumber(s, pos, 1, 2, '"', quarters) || quarters > GSM_MAX_ZONE_QUARTERS ||
        !gsmCivilIsValid(year, month, day, hour, minute, second)) {
        return false;
    }
    utc = gsmCivilToUtc(year, month, day, hour, minute, second) - (behind ? -quarters : quarters) * 900;
    return true;
}

}  // namespace

std::string CPhoneCardBase::GetDelSmsCmd(int index) const
{
    return index < 0 ? std::string() : "AT+CMGD=" + std::to_string(index) + "\r";
}

// AT+CMGD=<index> -> OK, or +CMS ERROR: 321 for an index holding nothing
int CPhoneCardBase::OnDelSmsCmdRsp(std::string rsp)
{
    return OnOkErrorRsp(rsp);
}

std::string CPhoneCardBase::GetClockCmd() const
{
    return "AT+CCLK?\r";
}

// AT+CCLK? -> +CCLK: "24/05/17,08:30:00+32" then OK (tests/fixtures/cclk/)
int CPhoneCardBase::OnGetClockCmdRsp(std::string rsp)
{
    m_bModemClock = false;
    const int verdict = OnOkErrorRsp(rsp);
    if (verdict != RSP_OK) {
        return verdict;
    }
    const std::string::size_type tag = rsp.find("+CCLK:");
    const std::string::size_type quote = tag == std::string::npos ? tag : rsp.find('"', tag);
    if (quote == std::string::npos || !ReadClock(rsp, quote + 1, m_nModemClockUtc)) {
        m_strErrorMessage = StripCrLf(rsp);
        return RSP_ERROR;
    }
    m_bModemClock = true;
    return RSP_OK;
}
