#ifndef TARNEL_NEWMESSAGEINDICATION_H
#define TARNEL_NEWMESSAGEINDICATION_H

// New-message indications: the "AT+CNMI" setting that has a modem store
// every message and status report and announce it ("+CMTI:", "+CDSI:"),
// chosen from what the modem offers, and the announcements themselves.

#include <string>
#include <vector>

#include "SmsRecv.h"

// The five values of "AT+CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>".
struct IndicationSetting_t
{
    int mode = 0;
    int mt = 0;
    int bm = 0;
    int ds = 0;
    int bfr = 0;
    int count = 0;  // values the modem gave (a setting read back may have fewer than five)
};

// The setting a watch asks for, from the values a "+CNMI: (..),(..),..." line
// (the answer to "AT+CNMI=?", token stripped) offers: mode 2, else 1, else 3
// (2 buffers indications in the modem while the line is busy); mt 1 (stored and
// announced; never routed to the terminal, where a message is lost when no
// program listens); bm 0 (no cell broadcast); ds 2 (status reports stored
// and announced), else 0 (ds 1 would route them); bfr 0 (indications
// buffered so far are delivered), else the first offered. False when the
// modem offers no mode 1 to 3, no mt 1, no bm 0, or the line cannot be read: it then
// announces nothing and only the listings find messages.
bool ChooseIndicationSetting(const std::string& offer, IndicationSetting_t& chosen);

// The setting a "+CNMI: 2,1,0,0,0" line (the answer to "AT+CNMI?", token
// stripped) reports; false for a line that is not a list of 1 to 5 numbers.
bool ReadIndicationSetting(const std::string& value, IndicationSetting_t& setting);

// "AT+CNMI=" and the setting's values, as many as it has, then "\r".
std::string IndicationSettingCmd(const IndicationSetting_t& setting);

// One announcement: a message stored at `index` of `storage`.
struct NewMessage_t
{
    SmsStorage_t storage = SMS_STORAGE_LISTED;  // SMS_STORAGE_LISTED: a storage this program cannot select
    std::string storageName;                   // as the modem named it ("SM", "ME", "SR", "MT"...)
    int index = -1;
    bool statusReport = false;  // "+CDSI:"
};

// The storage a modem's name stands for: "SM", "ME", "SR"; "MT" is the
// modem's memory and its SIM seen as one, listed as "ME" by the modems that
// name it. SMS_STORAGE_LISTED for any other.
SmsStorage_t StorageOfName(const std::string& name);

// Takes the complete lines of `pending` (text read from a modem, in
// arrival order) and returns the announcements among them in order:
// "+CMTI: \"<mem>\",<index>" and "+CDSI: \"<mem>\",<index>" (blanks allowed
// around the values, the storage name with or without quotes). Other lines
// are dropped; an incomplete last line stays in `pending` for the next call,
// unless it has grown past any announcement's length (then it is dropped).
std::vector<NewMessage_t> TakeNewMessageIndications(std::string& pending);

#endif
