// The "pdu" command-line form: prints the send steps two models would use
// for a number and a message, without opening any port.
#include "CCheckManager.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include "CreatePhone.h"
#include "PhoneCardBase.h"

namespace {

// Builds the steps of one model and, when `print`, prints them under
// `label`, each body without the terminator the model appends; `asHex` for
// bodies of raw bytes. The steps are built either way, so that the model's
// own diagnostics (VT-OUT) appear for both passes.
void PrintSendSteps(int type, const char* label, const std::string& number, const std::string& message,
                    bool asHex, bool print)
{
    const std::unique_ptr<CPhoneCardBase> phone(GetPhoneByType(type));
    if (!phone) {
        return;
    }
    const std::vector<PDU_LONG_SMS_Base_t> steps = phone->GetSendPduSmsCmdArray(number, message);
    if (!print) {
        return;
    }
    if (steps.empty()) {
        // The model refused the number or the text; say why instead of printing nothing.
        std::cout << label << "\n" << phone->GetErrorMessage() << "\n";
        return;
    }
    for (const PDU_LONG_SMS_Base_t& step : steps) {
        std::string body = step.pduContent;
        if (!body.empty()) {
            body.pop_back();
        }
        std::cout << label << "\n" << step.lenCmd << "\n";
        if (asHex) {
            std::cout << "<HEX>" << "\n" << string_to_hex(body) << "\n";
        } else {
            std::cout << body << "\n";
        }
    }
}

}  // namespace

void CCheckManager::OnCmdPduTest(const std::string& number, const std::string& message)
{
    PrintSendSteps(PHONE_TYPE_MC323_ON, "MC323:", number, message, true, std::getenv("VT-MC323") != nullptr);
    PrintSendSteps(PHONE_TYPE_K2210_ME, "NORMAL:", number, message, false, true);
    std::cout.flush();
}

std::string string_to_hex(const std::string& s)
{
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(2 * s.size());
    for (const char c : s) {
        const unsigned char byte = static_cast<unsigned char>(c);
        hex.push_back(DIGITS[byte >> 4]);
        hex.push_back(DIGITS[byte & 0x0F]);
    }
    return hex;
}
