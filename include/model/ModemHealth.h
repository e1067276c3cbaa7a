#ifndef TARNEL_MODEMHEALTH_H
#define TARNEL_MODEMHEALTH_H

// What a modem says of its SIM, its network and its signal (3GPP TS 27.007),
// and the pure parsers of those answers. Each parser takes one line's text
// after its token (as FindValueAnswer gives it) and reads only inside it:
// whatever a modem sends, a field it cannot read comes out unknown.

#include <string>

// SIM state, from "AT+CPIN?" or the +CME error it gets instead.
enum SimState_t
{
    SIM_STATE_UNKNOWN,     // not asked, refused, or an answer we cannot read
    SIM_STATE_READY,       // READY; SIM PIN2 and SIM PUK2 guard only a few files
    SIM_STATE_PIN,         // SIM PIN: the PIN is needed
    SIM_STATE_PUK,         // SIM PUK: the PUK is needed
    SIM_STATE_OTHER_LOCK,  // PH-SIM PIN, PH-NET PIN and the like (SimHealth_t::lock names it)
    SIM_STATE_NOT_READY,   // +CPIN: NOT READY
    SIM_STATE_ABSENT,      // +CME ERROR: 10, SIM not inserted
    SIM_STATE_BUSY,        // +CME ERROR: 14, SIM busy
    SIM_STATE_FAILURE,     // +CME ERROR: 13 (or 15), SIM failure
};

struct SimHealth_t
{
    SimState_t state = SIM_STATE_UNKNOWN;
    std::string lock;  // the lock as the modem names it ("SIM PIN", "PH-NET PIN"); empty when not locked
};

// The registration of one domain, ordered by how much it weighs when the
// domains are consolidated: the highest of the domains that answered wins.
enum RegState_t
{
    REG_STATE_NO_ANSWER,       // the query was refused or not asked: does not count
    REG_STATE_UNKNOWN,         // stat 4, or one we cannot read
    REG_STATE_NOT_REGISTERED,  // stat 0, and 8 (emergency services only)
    REG_STATE_DENIED,          // stat 3
    REG_STATE_SEARCHING,       // stat 2
    REG_STATE_ROAMING,         // stat 5, 7 and 10 (the last two for SMS only)
    REG_STATE_HOME,            // stat 1, 6 and 9 (the last two for SMS only)
};

// The three registration queries, by the domain each asks about.
enum RegDomain_t
{
    REG_DOMAIN_CS,   // AT+CREG?  circuit switched
    REG_DOMAIN_PS,   // AT+CGREG? packet switched (GPRS, UMTS)
    REG_DOMAIN_EPS,  // AT+CEREG? LTE
    REG_DOMAIN_COUNT
};

// One domain's solicited answer.
struct RegDomainHealth_t
{
    RegState_t state = REG_STATE_NO_ANSWER;
    int act = -1;  // its <AcT> field, -1 when there is none
};

// Signal strength from "+CSQ: <rssi>,<ber>".
enum SignalQuality_t
{
    SIGNAL_UNKNOWN,    // rssi 99, or outside 0..31
    SIGNAL_POOR,       // 0..9, -113..-95 dBm
    SIGNAL_FAIR,       // 10..14
    SIGNAL_GOOD,       // 15..19
    SIGNAL_EXCELLENT,  // 20..31
};

struct SignalHealth_t
{
    SignalQuality_t quality = SIGNAL_UNKNOWN;
    int dbm = 0;  // -113 + 2 * rssi; meaningless when quality is SIGNAL_UNKNOWN
};

// Everything the health queries learnt of one modem.
struct ModemHealth_t
{
    SimHealth_t sim;
    RegDomainHealth_t domains[REG_DOMAIN_COUNT];
    bool radioOff = false;       // AT+CFUN? said other than 1
    bool operatorKnown = false;  // an operator name was read
    std::string operatorName;    // UTF-8 where the modem gave it in UCS-2
    int operatorAct = -1;        // <AcT> of the +COPS answer, -1 when there is none
};

// The consolidated registration: home or roaming when any domain says so,
// else searching, else denied, else not registered, else unknown
// (REG_STATE_NO_ANSWER when no domain answered at all).
RegState_t ConsolidatedRegistration(const ModemHealth_t& health);
// True when the radio is off (AT+CFUN? other than 1) and no domain says
// registered: the registration is then told as the radio being off.
bool RadioOffUnregistered(const ModemHealth_t& health);
// The access technology: the operator's <AcT>, else that of a registered
// domain; -1 when none is known.
int HealthTechnology(const ModemHealth_t& health);

// ---- parsers

// The SIM state of a "+CPIN: <code>" line's value, e.g. " READY" or " SIM PIN".
SimHealth_t ParseSimState(const std::string& value);
// The SIM state a final error line says, in numbers ("+CME ERROR: 10",
// "+CMS ERROR: 310") or in words ("+CME ERROR: SIM not inserted");
// SIM_STATE_UNKNOWN for any other line.
SimHealth_t SimStateOfError(const std::string& line);
// A registration answer's value after "+CREG:", "+CGREG:" or "+CEREG:".
// True only for the solicited form "<n>,<stat>[,<lac>,<ci>[,<AcT>...]]", its
// first field 0..5 and its second an unquoted integer; the unsolicited form
// ("<stat>[,<lac>,<ci>...]") is not one, and leaves `domain` untouched.
bool ParseRegistration(const std::string& value, RegDomainHealth_t& domain);
// A "+CFUN: <fun>" value: true when it reads and is not 1.
bool ParseRadioOff(const std::string& value);
// A "+COPS: <mode>[,<format>,<oper>[,<AcT>]]" value. True when it names an
// operator (its quotes removed; commas and quotes inside it kept), with
// `format` 0 long, 1 short, 2 numeric, and `act` its last field or -1.
bool ParseOperator(const std::string& value, std::string& name, int& format, int& act);
// A "+CSCS: \"<chset>\"" value: true for UCS2.
bool ParseCharsetIsUcs2(const std::string& value);
// The character set an AT+CSCS? answer names, without its quotes.
std::string ParseCharsetName(const std::string& value);
// `hex` read as UCS-2 big-endian (4 hex digits a unit, surrogate pairs
// joined) into UTF-8; false, `utf8` untouched, when it is not such text.
bool DecodeUcs2Hex(const std::string& hex, std::string& utf8);
// The signal of a "+CSQ:" value such as " 23,99".
SignalHealth_t ParseSignal(const std::string& value);

// ---- names in English, the same in both builds (the JSON documents)

const char* SimStateName(SimState_t state);
const char* RegStateName(RegState_t state);
// The registration a modem's health tells: RADIO_OFF_NAME when
// RadioOffUnregistered, else RegStateName of the consolidated registration.
const char* RegistrationName(const ModemHealth_t& health);
constexpr const char* RADIO_OFF_NAME = "radio off";
// "gsm", "umts", "lte", ... for an <AcT> of 27.007; "unknown" otherwise.
const char* TechnologyName(int act);
const char* SignalQualityName(SignalQuality_t quality);

#endif
