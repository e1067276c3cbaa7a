// Sending: the interactive flow and the send engine it shares with the
// command-line mode.
#include "CCheckManager.h"

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <unistd.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "StopSignal.h"
#include "StringUtil.h"
#include "basic.h"

namespace {

// Attempts of one message when the modem reports a retryable error.
constexpr int MAX_SEND_ATTEMPTS = 3;
// Pause after the time line, so the results stay visible before the table returns.
constexpr useconds_t RESULT_PAUSE_USEC = 3000000;
// Shortest message that gets the time stamp appended.
constexpr std::size_t MIN_STAMPED_MESSAGE = 5;
// The JSON documents' reasons for a modem that stopped answering and for a
// send cut short by a stop request, the same in both builds like every other
// message they carry.
const char* const MODEM_STOPPED_JSON = "Modem stopped answering";
const char* const INTERRUPTED_JSON = "Interrupted";
// The reason of a send whose device went away, with how many of the
// message's parts the modem had accepted when the parts are known.
std::string DeviceWentAwayText(std::size_t accepted, std::size_t parts, bool catalogue)
{
    std::string text = catalogue ? Lang::DEVICE_WENT_AWAY : "Device went away";
    if (parts > 0) {
        text += (catalogue ? Lang::DEVICE_WENT_AWAY_AFTER : " after ") + std::to_string(accepted) +
                (catalogue ? Lang::DEVICE_WENT_AWAY_OF : " of ") + std::to_string(parts) +
                (catalogue ? Lang::DEVICE_WENT_AWAY_PARTS : " parts");
    }
    return text;
}

// Ends a pending send prompt: the modem drops the PDU typed so far.
const char* const ESCAPE = "\x1b";

bool HasEnv(const char* name)
{
    return std::getenv(name) != nullptr;
}

// Trace lines of the send engine, only with VT-DEBUG in the environment.
// Lines of a port's worker begin with the port's name ("ttyUSB0: "), as the
// lines of several ports arrive mixed.
void Debug(const std::string& text)
{
    if (HasEnv("VT-DEBUG")) {
        CColorCout::WriteLines(text + "\n");
    }
}

}  // namespace

void CCheckManager::OnSendPDUSms()
{
    Debug("to input phone number");
    std::vector<std::string> numbers;
    if (!InputCheckSendPduSmsPhoneNumbers(numbers)) {
        return;
    }
    Debug("to check com ports");
    std::vector<ComPortBaseInfo_t> ports;
    if (!InputCheckSendPduSmsComPorts(ports)) {
        return;
    }
    Debug("to check pdu");
    std::string message;
    InputCheckSendPduSmsContext(message);
    StringReplace(message, "\\n", "\n");
    StringReplace(message, "\\r", "\r");

    if (StopRequested()) {
        return;
    }
    Debug("to send pdu process");
    const time_t start = time(nullptr);
    HandleSendPduSmsProcess(ports, numbers, message);
    const time_t end = time(nullptr);
    std::cout << Lang::SEND_TIME_USED << static_cast<long long>(end - start + 1) << Lang::SEND_SECONDS
              << std::endl;
    usleep(RESULT_PAUSE_USEC);
}

void CCheckManager::HandleSendPduSmsProcess(const std::vector<ComPortBaseInfo_t>& ports,
                                            const std::vector<std::string>& numbers,
                                            const std::string& message)
{
    Debug("to send pdu start");
    m_vecSendResult.clear();
    // One slot per port record, sized before the workers start.
    std::vector<std::vector<SendSmsResult_t>> results(ports.size());
    RunOnPorts(ports, TAKE_FOR_SENDING,
               [&](std::size_t i, ModemWork_t& modem) { SendFromPort(modem, numbers, message, results[i]); });
    for (const std::vector<SendSmsResult_t>& slot : results) {
        m_vecSendResult.insert(m_vecSendResult.end(), slot.begin(), slot.end());
    }
}

void CCheckManager::SendFromPort(ModemWork_t& modem, const std::vector<std::string>& numbers,
                                 const std::string& message, std::vector<SendSmsResult_t>& results) const
{
    const ComPortBaseInfo_t& record = modem.record;
    CPhoneCardBase* const phone = modem.model.get();
    CComPortBase* const port = modem.Port();
    if (phone != nullptr) {
        phone->SetSendEncoding(static_cast<SMS_ENCODING_t>(g_nSmsEncoding));
    }
    const std::string name = ShortPortName(record.strPortName) + ": ";
    SendSmsResult_t result;
    result.com = record.strPortName;
    result.imei = record.strSerialNumber;
    result.iccid = record.strSmsCardNumber;
    result.usb = record.modem.usb.position;
    Debug(name + "to send pdu for com:" + record.strPortName);
    Debug(name + "to send pdu for phone type:" + std::to_string(static_cast<int>(record.nPhoneType)));

    // A port without a SIM number is asked why once; a SIM that was only
    // busy gives its number and the port sends after all.
    SendHealth_t noSimNumber;
    noSimNumber.code = SMS_NO_SIM_CARD;
    if (!numbers.empty() && modem.NeedsPorts(TAKE_FOR_SENDING) && record.strSmsCardNumber.empty()) {
        noSimNumber = WhyNoSimNumber(modem);
    }
    // Asked before the port's first number, after its init.
    bool healthAsked = false;
    SendHealth_t health;

    for (const std::string& number : numbers) {
        // A stop request ends the run: what is not begun is not reported.
        if (StopRequested()) {
            break;
        }
        result.number = number;
        result.time = GetCurTimeStr();
        result.code = SMS_DEVICE_NOT_AT;
        result.message.clear();
        Debug(name + "to send pdu for phone:" + number);

        if (record.bInTable && record.Unavailable()) {
            result.code = SMS_FAILED_UNKNOWN;
            result.message = PortUnavailableText(record, m_bPlainText);
        } else if (!record.bInTable || !record.bOpened) {
            // Nothing there to send through (a typed name not found, a listed path that does not open).
            result.code = SMS_NO_SUCH_PORT;
            result.message = GetSmsCodeChineseStr(SMS_NO_SUCH_PORT);
        } else if (!record.bAtOk) {
            result.code = SMS_DEVICE_NOT_AT;
            result.message = GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
        } else if (record.strSmsCardNumber.empty()) {
            result.code = noSimNumber.code;
            if (noSimNumber.code != SMS_NO_SIM_CARD) {
                result.message = SendHealthText(noSimNumber, m_bPlainText);
            }
        } else if (phone == nullptr || port == nullptr) {
            Debug(name + "to send pdu phoneptr not found.");
            SMS_CODE_ENUM code = GetSmsErrorCode(record);
            if (code == SMS_SUCCEED) {
                code = SMS_NOT_SUPPORTED_SMS_DEVICE;
            }
            result.code = code;
            result.message = GetSmsCodeChineseStr(code);
        } else {
            Debug(name + "to send pdu phoneptr found to send pdu");
            std::string text = message;
            if (message.size() >= MIN_STAMPED_MESSAGE && !HasEnv("VT-STAMP")) {
                text = AddTimeStampToSmsContextByPhoneNum(message, number, result.time);
            }
            // After a failed health step the port's other numbers fail unsent, without init.
            if (!healthAsked || health.code == SMS_SUCCEED) {
                Debug(name + "to send pdu with init phone");
                RunComCmdInitPhone(phone, port);
            }
            if (!healthAsked) {
                healthAsked = true;
                health = CheckSendHealth(phone, port);
            }
            if (health.code != SMS_SUCCEED) {
                // Sending could not succeed: every number of the port fails at once, unsent.
                result.code = StopRequested() ? SMS_FAILED_UNKNOWN : health.code;
                result.message = StopRequested() ? (m_bPlainText ? Lang::SEND_INTERRUPTED : INTERRUPTED_JSON)
                                                 : SendHealthText(health, m_bPlainText);
                HandleSendSmsResultByMode(result, results);
                continue;
            }
            Debug(name + "to send pdu working...");

            // Kept across the attempts: a retry goes on from the refused part.
            std::vector<PDU_LONG_SMS_Base_t> steps;
            std::size_t next = 0;
            int attempts = 0;
            do {
                if (SendPduSmsByPhone(phone, port, number, text, steps, next)) {
                    result.code = SMS_SUCCEED;
                    result.message = "succeed";
                } else {
                    result.code = SMS_FAILED_UNKNOWN;
                    result.message = phone->GetErrorMessage();
                }
                ++attempts;
            } while (phone->IsSendPduSmsRetry() && attempts < MAX_SEND_ATTEMPTS && !StopRequested());

            Debug(name + "to send pdu phoneptr check err code");
            if (result.code != SMS_SUCCEED && StopRequested()) {
                // The modem may sit at the send prompt with half a PDU: ESC drops it.
                port->Write(ESCAPE);
                result.message = m_bPlainText ? Lang::SEND_INTERRUPTED : INTERRUPTED_JSON;
            } else if (result.code != SMS_SUCCEED && port->HasGoneAway()) {
                // Not a modem that refused: parts already out reach the recipient.
                result.message = DeviceWentAwayText(next, steps.size(), m_bPlainText);
            } else {
                // A modem marked stopped fails every exchange, so a send that
                // succeeded never finds it so.
                result.message = ExchangeFailureReason(record.strPortName, *phone, port,
                                                       m_bPlainText ? Lang::MODEM_STOPPED : MODEM_STOPPED_JSON);
            }
        }
        Debug(name + "to send pdu for phone handle result");
        HandleSendSmsResultByMode(result, results);
    }
}

std::string CCheckManager::AddTimeStampToSmsContextByPhoneNum(std::string message, std::string number,
                                                              std::string stamp)
{
    // Service numbers ("10086", "10010", any 5-character number) read the
    // text as a command, so it goes out unchanged.
    if (number == "10086" || number == "10010" || number.size() == 5) {
        return message;
    }
    return message + " " + stamp;
}

bool CCheckManager::SendPduSmsByPhone(CPhoneCardBase* phone, CComPortBase* port, const std::string& number,
                                      const std::string& text, std::vector<PDU_LONG_SMS_Base_t>& steps,
                                      std::size_t& next) const
{
    if (phone == nullptr || port == nullptr || port->Open() != 1) {
        return false;
    }
    if (!RunComCmdQuerySMSC(phone, port) || !RunComCmdSetPduMode(phone, port)) {
        return false;
    }
    if (steps.empty()) {
        // The PDUs carry the centre just queried. No steps means the model
        // could not build the message (text valid in no encoding, unusable
        // number); its reason is in GetErrorMessage().
        steps = phone->GetSendPduSmsCmdArray(number, text);
        next = 0;
    }
    if (steps.empty()) {
        return false;
    }
    for (; next < steps.size(); ++next) {
        if (!RunComCmdSendPduLen(phone, port, steps[next].lenCmd) ||
            !RunComCmdSendPduContext(phone, port, steps[next].pduContent)) {
            return false;
        }
    }
    return true;
}

void CCheckManager::HandleSendSmsResultByMode(SendSmsResult_t result, std::vector<SendSmsResult_t>& collected) const
{
    if (!m_bPlainText) {
        collected.push_back(result);
        return;
    }
    if (result.message.empty()) {
        result.message = GetSmsCodeChineseStr(static_cast<SMS_CODE_ENUM>(result.code));
    }
    PrintOneSendSmsResultPlainText(result);
}

void CCheckManager::PrintOneSendSmsResultPlainText(const SendSmsResult_t& result)
{
    const std::string port = ShortPortName(result.com);
    // Built whole and written at once: the workers of other ports print too.
    std::string line;
    if (result.code == SMS_SUCCEED) {
        line = CColorCout::Green(Lang::SEND_RESULT_PORT) + CColorCout::Green(port) +
               CColorCout::Green(Lang::SEND_RESULT_SEND_TO) + CColorCout::Green(result.number) +
               CColorCout::Green(Lang::SEND_RESULT_SUCCESS);
    } else {
        line = CColorCout::Red(Lang::SEND_RESULT_PORT) + CColorCout::Green(port) +
               CColorCout::Red(Lang::SEND_RESULT_SEND_TO) + CColorCout::Red(result.number) +
               CColorCout::Red(Lang::SEND_RESULT_FAILED) + CColorCout::Red(result.message);
    }
    CColorCout::WriteLines(line + "\n");
}
