#ifndef TARNEL_PDULONGSMS_H
#define TARNEL_PDULONGSMS_H

#include <string>

// One send step: the command announcing a PDU, then the PDU itself.
struct PDU_LONG_SMS_Base_t
{
    std::string lenCmd;      // "AT+CMGS=<TPDU octets>\r"
    std::string pduContent;  // upper-case hex PDU followed by Ctrl-Z (0x1A)
};

// Whether a destination number carries the country code 86.
struct CountryCode_t
{
    bool hasCountryCode = false;
};

#endif
