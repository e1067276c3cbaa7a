// The parsers of the health answers: SIM state, registration, radio,
// operator, character set and signal.
#include "ModemHealth.h"

#include <cstddef>
#include <cstdlib>

#include "SmsCharset.h"
#include "StringUtil.h"

namespace {

constexpr std::string::size_type npos = std::string::npos;

std::string Trimmed(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    if (first == npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Unquoted(const std::string& text)
{
    std::string field = Trimmed(text);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = field.substr(1, field.size() - 2);
    }
    return field;
}

// A field that is only decimal digits (leading zeros as modems send them), of
// at most 4 digits: every value read here is small, and so never overflows.
bool SmallNumber(const std::string& field, int& number)
{
    const std::string digits = Trimmed(field);
    if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != npos) {
        return false;
    }
    number = 0;
    for (char c : digits) {
        number = number * 10 + (c - '0');
    }
    return true;
}

// The +CME and +CMS error numbers and words of 27.007 and 27.005 that say
// something of the SIM; `lock` names the lock where there is one.
struct SimErrorRow
{
    int cme;
    int cms;  // 0: none
    const char* words;
    SimState_t state;
    const char* lock;
};
const SimErrorRow kSimErrors[] = {
    {5, 312, "PH-SIM PIN required", SIM_STATE_OTHER_LOCK, "PH-SIM PIN"},
    {6, 0, "PH-FSIM PIN required", SIM_STATE_OTHER_LOCK, "PH-FSIM PIN"},
    {7, 0, "PH-FSIM PUK required", SIM_STATE_OTHER_LOCK, "PH-FSIM PUK"},
    {10, 310, "SIM not inserted", SIM_STATE_ABSENT, ""},
    {11, 311, "SIM PIN required", SIM_STATE_PIN, "SIM PIN"},
    {12, 316, "SIM PUK required", SIM_STATE_PUK, "SIM PUK"},
    {13, 313, "SIM failure", SIM_STATE_FAILURE, ""},
    {14, 314, "SIM busy", SIM_STATE_BUSY, ""},
    {15, 315, "SIM wrong", SIM_STATE_FAILURE, ""},
    {40, 0, "network personalization PIN required", SIM_STATE_OTHER_LOCK, "PH-NET PIN"},
    {41, 0, "network personalization PUK required", SIM_STATE_OTHER_LOCK, "PH-NET PUK"},
    {42, 0, "network subset personalization PIN required", SIM_STATE_OTHER_LOCK, "PH-NETSUB PIN"},
    {43, 0, "network subset personalization PUK required", SIM_STATE_OTHER_LOCK, "PH-NETSUB PUK"},
    {44, 0, "service provider personalization PIN required", SIM_STATE_OTHER_LOCK, "PH-SP PIN"},
    {45, 0, "service provider personalization PUK required", SIM_STATE_OTHER_LOCK, "PH-SP PUK"},
    {46, 0, "corporate personalization PIN required", SIM_STATE_OTHER_LOCK, "PH-CORP PIN"},
    {47, 0, "corporate personalization PUK required", SIM_STATE_OTHER_LOCK, "PH-CORP PUK"},
};

bool SameWords(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// <stat> of +CREG and its kin -> what it means here.
RegState_t RegStateOfStat(int stat)
{
    switch (stat) {
    case 1: case 6: case 9: return REG_STATE_HOME;
    case 5: case 7: case 10: return REG_STATE_ROAMING;
    case 2: return REG_STATE_SEARCHING;
    case 3: return REG_STATE_DENIED;
    case 0: case 8: return REG_STATE_NOT_REGISTERED;
    default: return REG_STATE_UNKNOWN;
    }
}

bool IsRegistered(RegState_t state)
{
    return state == REG_STATE_HOME || state == REG_STATE_ROAMING;
}

}  // namespace

RegState_t ConsolidatedRegistration(const ModemHealth_t& health)
{
    RegState_t best = REG_STATE_NO_ANSWER;
    for (const RegDomainHealth_t& domain : health.domains) {
        if (domain.state > best) {
            best = domain.state;
        }
    }
    return best;
}

bool RadioOffUnregistered(const ModemHealth_t& health)
{
    return health.radioOff && !IsRegistered(ConsolidatedRegistration(health));
}

int HealthTechnology(const ModemHealth_t& health)
{
    if (health.operatorAct >= 0) {
        return health.operatorAct;
    }
    // The newest radio first: an LTE modem registered in every domain is on LTE.
    for (int i = REG_DOMAIN_COUNT - 1; i >= 0; --i) {
        if (IsRegistered(health.domains[i].state) && health.domains[i].act >= 0) {
            return health.domains[i].act;
        }
    }
    return -1;
}

// AT+CPIN? -> "+CPIN: <code>", e.g. +CPIN: SIM PIN then OK
SimHealth_t ParseSimState(const std::string& value)
{
    const std::string code = Unquoted(value);
    SimHealth_t sim;
    if (code == "READY" || code == "SIM PIN2" || code == "SIM PUK2") {
        sim.state = SIM_STATE_READY;
    } else if (code == "SIM PIN" || code == "SIM PUK") {
        sim.state = code == "SIM PIN" ? SIM_STATE_PIN : SIM_STATE_PUK;
        sim.lock = code;
    } else if (code.compare(0, 3, "PH-") == 0 && code.size() <= 20 &&
               (code.find(" PIN") != npos || code.find(" PUK") != npos)) {
        sim.state = SIM_STATE_OTHER_LOCK;
        sim.lock = code;
    } else if (code == "NOT READY") {
        sim.state = SIM_STATE_NOT_READY;
    } else if (code == "NOT INSERTED") {
        sim.state = SIM_STATE_ABSENT;
    }
    return sim;
}

// e.g. +CME ERROR: 10, +CMS ERROR: 310, +CME ERROR: SIM not inserted
SimHealth_t SimStateOfError(const std::string& line)
{
    SimHealth_t sim;
    const std::string text = Trimmed(line);
    const bool cme = text.compare(0, 11, "+CME ERROR:") == 0;
    if (!cme && text.compare(0, 11, "+CMS ERROR:") != 0) {
        return sim;
    }
    const std::string detail = Trimmed(text.substr(11));
    int number = -1;
    const bool numeric = SmallNumber(detail, number);
    for (const SimErrorRow& row : kSimErrors) {
        const int rowNumber = cme ? row.cme : row.cms;
        if (numeric ? rowNumber != 0 && rowNumber == number : SameWords(detail, row.words)) {
            sim.state = row.state;
            sim.lock = row.lock;
            return sim;
        }
    }
    return sim;
}

// AT+CREG? -> "+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>]]", e.g. +CREG: 2,1,"1A2B","01C3",7 then OK
bool ParseRegistration(const std::string& value, RegDomainHealth_t& domain)
{
    const std::vector<std::string> fields = SplitStringByChar(value, ',');
    int mode = -1;
    int stat = -1;
    if (fields.size() < 2 || !SmallNumber(fields[0], mode) || mode > 5 || !SmallNumber(fields[1], stat)) {
        return false;
    }
    domain.state = RegStateOfStat(stat);
    domain.act = -1;
    int act = -1;
    if (fields.size() > 4 && SmallNumber(fields[4], act)) {
        domain.act = act;
    }
    return true;
}

// AT+CFUN? -> "+CFUN: <fun>", e.g. +CFUN: 1 then OK
bool ParseRadioOff(const std::string& value)
{
    int fun = -1;
    return SmallNumber(value, fun) && fun != 1;
}

// AT+COPS? -> "+COPS: <mode>[,<format>,<oper>[,<AcT>]]", e.g. +COPS: 0,0,"CHINA MOBILE",7 then OK
bool ParseOperator(const std::string& value, std::string& name, int& format, int& act)
{
    const std::string::size_type firstComma = value.find(',');
    if (firstComma == npos) {
        return false;  // "+COPS: 0": no operator
    }
    const std::string::size_type secondComma = value.find(',', firstComma + 1);
    int mode = -1;
    if (secondComma == npos || !SmallNumber(value.substr(0, firstComma), mode) ||
        !SmallNumber(value.substr(firstComma + 1, secondComma - firstComma - 1), format) || format > 2) {
        return false;
    }
    const std::string rest = value.substr(secondComma + 1);
    std::string tail;
    const std::string::size_type open = rest.find('"');
    const std::string::size_type close = rest.rfind('"');
    if (open != npos && close != npos && close > open && Trimmed(rest.substr(0, open)).empty()) {
        // Quoted: the name runs to the last quote, so commas and quotes inside it stay.
        name = rest.substr(open + 1, close - open - 1);
        tail = rest.substr(close + 1);
    } else {
        const std::string::size_type comma = rest.find(',');
        name = Trimmed(rest.substr(0, comma));
        tail = comma == npos ? std::string() : rest.substr(comma);
    }
    act = -1;
    int last = -1;
    if (Trimmed(tail).size() > 1 && Trimmed(tail)[0] == ',' && SmallNumber(Trimmed(tail).substr(1), last)) {
        act = last;
    }
    return !name.empty();
}

// AT+CSCS? -> "+CSCS: \"<chset>\"", e.g. +CSCS: "UCS2" then OK
bool ParseCharsetIsUcs2(const std::string& value)
{
    return ParseCharsetName(value) == "UCS2";
}

std::string ParseCharsetName(const std::string& value)
{
    return Unquoted(value);
}

bool DecodeUcs2Hex(const std::string& hex, std::string& utf8)
{
    if (hex.empty() || hex.size() % 4 != 0 || hex.find_first_not_of("0123456789ABCDEFabcdef") != npos) {
        return false;
    }
    std::wstring units;
    bool highPending = false;  // a high surrogate waits for its low one
    for (std::size_t i = 0; i < hex.size(); i += 4) {
        const unsigned long unit = std::strtoul(hex.substr(i, 4).c_str(), nullptr, 16);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        // Text only: a NUL unit, or a surrogate out of its pair, makes it no name.
        if (unit == 0 || low != highPending) {
            return false;
        }
        highPending = high;
        units += static_cast<wchar_t>(unit);
    }
    if (highPending) {
        return false;
    }
    utf8 = UnicodeToANSI(units);
    return true;
}

// at+csq -> "+CSQ: <rssi>,<ber>", e.g. +CSQ: 23,99 then OK
SignalHealth_t ParseSignal(const std::string& value)
{
    SignalHealth_t signal;
    int rssi = -1;
    if (!SmallNumber(value.substr(0, value.find(',')), rssi) || rssi > 31) {
        return signal;
    }
    signal.dbm = -113 + 2 * rssi;
    signal.quality = rssi <= 9 ? SIGNAL_POOR : rssi <= 14 ? SIGNAL_FAIR : rssi <= 19 ? SIGNAL_GOOD : SIGNAL_EXCELLENT;
    return signal;
}

const char* SimStateName(SimState_t state)
{
    switch (state) {
    case SIM_STATE_READY: return "ready";
    case SIM_STATE_PIN: return "PIN needed";
    case SIM_STATE_PUK: return "PUK needed";
    case SIM_STATE_OTHER_LOCK: return "locked";
    case SIM_STATE_NOT_READY: return "not ready";
    case SIM_STATE_ABSENT: return "absent";
    case SIM_STATE_BUSY: return "busy";
    case SIM_STATE_FAILURE: return "failure";
    case SIM_STATE_UNKNOWN: break;
    }
    return "unknown";
}

const char* RegStateName(RegState_t state)
{
    switch (state) {
    case REG_STATE_HOME: return "home";
    case REG_STATE_ROAMING: return "roaming";
    case REG_STATE_SEARCHING: return "searching";
    case REG_STATE_DENIED: return "denied";
    case REG_STATE_NOT_REGISTERED: return "not registered";
    case REG_STATE_UNKNOWN: case REG_STATE_NO_ANSWER: break;
    }
    return "unknown";
}

const char* RegistrationName(const ModemHealth_t& health)
{
    return RadioOffUnregistered(health) ? RADIO_OFF_NAME : RegStateName(ConsolidatedRegistration(health));
}

const char* TechnologyName(int act)
{
    // <AcT> of 27.007: 0 GSM, 1 GSM compact, 2 UTRAN, 3 EGPRS, 4 HSDPA, 5 HSUPA,
    // 6 HSDPA and HSUPA, 7 E-UTRAN, 8 EC-GSM-IoT, 9 E-UTRAN NB-S1, 10 E-UTRA
    // connected to a 5G core, 11 NR connected to a 5G core, 12 NG-RAN, 13 E-UTRA-NR dual.
    static const char* const kNames[] = {"gsm", "gsm", "umts", "edge", "hsdpa", "hsupa", "hspa",
                                         "lte", "ec-gsm", "nb-iot", "lte", "nr", "nr", "lte+nr"};
    const int count = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));
    return act >= 0 && act < count ? kNames[act] : "unknown";
}

const char* SignalQualityName(SignalQuality_t quality)
{
    switch (quality) {
    case SIGNAL_POOR: return "poor";
    case SIGNAL_FAIR: return "fair";
    case SIGNAL_GOOD: return "good";
    case SIGNAL_EXCELLENT: return "excellent";
    case SIGNAL_UNKNOWN: break;
    }
    return "unknown";
}
