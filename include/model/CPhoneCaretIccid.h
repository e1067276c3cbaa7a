#ifndef TARNEL_CPHONECARETICCID_H
#define TARNEL_CPHONECARETICCID_H

#include <string>
#include <vector>

#include "CPhoneCrLfDial.h"
#include "CPhoneUssdMode.h"
#include "PhoneCardBase.h"

// The Huawei-firmware models that read the SIM card number with "AT^ICCID?"
// and know no "AT+CCID" (CPhone_K2210_ME, CPhone_MH5000, CPhone_TD_ME909,
// CPhone_TD_MH5000). They dial with CR LF and hang up with AT+CHUP, and
// report ^RSSI/^MODE lines unasked until "AT^CURC=0", and carry USSD texts
// as "AT^USSDMODE" says (CPhoneUssdMode). A model deriving from
// here adds only its identity (the TD Tech ones lay CPhoneTdTechInit over it).
class CPhoneCaretIccid : public CPhoneUssdMode<CPhoneCrLfDial<CPhoneCardBase>>
{
public:
    // "AT^ICCID?\r\n".
    std::string GetIMSI_Cmd() const override;
    // The card number from the "^ICCID: " line; an answer finished without
    // one is RSP_ERROR.
    int OnGetIMSI_CmdRsp(std::string rsp) override;
    // The base list followed by "AT^CURC=0\r\n".
    std::vector<std::string> GetInitAtCmd() const override;
};

#endif
