#ifndef TARNEL_CPHONEUSSDMODE_H
#define TARNEL_CPHONEUSSDMODE_H

#include <string>

#include "PhoneCardBase.h"
#include "UssdText.h"

// USSD on Huawei firmware and TD Tech's, which is built on it
// (CPhoneCaretIccid, CPhone_TD_ME901, CPhone_MG301_ON_KW40010): "AT^USSDMODE"
// chooses how USSD texts cross the AT interface, both ways: 0 converted by
// the modem into the character set in force, 1 ("transparent") passed as the
// septets packed into octets, as hex. The default differs by product and
// firmware, so the setting is read before each request and followed, never
// changed: another program on the modem may rely on it. A modem that knows no
// such command refuses the query and keeps the character-set form. `Family`
// is the class the model builds on; these operations are laid over it.
template <class Family>
class CPhoneUssdMode : public Family
{
public:
    UssdSevenBitForm_t GetUssdSevenBitForm() const override { return m_ussdForm; }
    std::string GetUssdModeCmd() const override { return "AT^USSDMODE?\r"; }
    // AT^USSDMODE? -> ^USSDMODE: 1 then OK (ME909s with packed USSD); older
    // Huawei firmware ends an unknown command with "COMMAND NOT SUPPORT".
    int OnGetUssdModeCmdRsp(std::string rsp) override
    {
        const CPhoneCardBase::ValueAnswer_t answer = CPhoneCardBase::FindValueAnswer(rsp, "^USSDMODE:");
        if (answer.verdict == RSP_MORE) {
            for (const CPhoneCardBase::AnswerLine_t& line : CPhoneCardBase::SplitAnswerLines(rsp)) {
                if (line.complete && !line.body && line.text == "COMMAND NOT SUPPORT") {
                    return RSP_ERROR;
                }
            }
        }
        if (answer.verdict == RSP_OK && answer.hasValue) {
            const std::size_t first = answer.value.find_first_not_of(' ');
            const std::string mode = first == std::string::npos ? std::string() : answer.value.substr(first);
            if (mode == "1") {
                m_ussdForm = USSD_7BIT_PACKED;
            } else if (mode == "0") {
                m_ussdForm = USSD_7BIT_CHARSET;
            }
        }
        return answer.verdict;
    }

private:
    UssdSevenBitForm_t m_ussdForm = USSD_7BIT_CHARSET;  // until the modem says otherwise
};

#endif
