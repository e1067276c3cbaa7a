// Sending: the interactive flow and the send engine it shares with the
// command-line mode.
#include "CCheckManager.h"

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <unistd.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "StringUtil.h"

namespace {

// Attempts of one message when the modem reports a retryable error.
constexpr int MAX_SEND_ATTEMPTS = 3;
// Pause after the time line, so the results stay visible before the table returns.
constexpr useconds_t RESULT_PAUSE_USEC = 3000000;
// Shortest message that gets the time stamp appended.
constexpr std::size_t MIN_STAMPED_MESSAGE = 5;
// The JSON documents' reason for a modem that stopped answering, the same in
// both builds like every other message they carry.
const char* const MODEM_STOPPED_JSON = "Modem stopped answering";

bool HasEnv(const char* name)
{
    return std::getenv(name) != nullptr;
}

// Trace lines of the send engine, only with VT-DEBUG in the environment.
void Debug(const std::string& text)
{
    if (HasEnv("VT-DEBUG")) {
        std::cout << text << std::endl;
    }
}

// "/dev/ttyUSB0" -> "ttyUSB0", as the result lines and the JSON show ports.
std::string ShortPortName(const std::string& path)
{
    return path.size() > 5 ? path.substr(5) : std::string();
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
    for (const ComPortBaseInfo_t& record : ports) {
        SendFromPort(record, numbers, message);
    }
}

void CCheckManager::SendFromPort(const ComPortBaseInfo_t& record, const std::vector<std::string>& numbers,
                                 const std::string& message)
{
    const std::unique_ptr<CPhoneCardBase> phone(GetPhoneByType(record.nPhoneType));
    // The port is opened only when something will be sent through it: a
    // port without SIM number (a typed name that is not in the table, say)
    // or without a model object would only be opened to be reconfigured.
    std::unique_ptr<CComPortBase> port;
    if (!record.strSmsCardNumber.empty() && phone) {
        port = std::make_unique<CComPortBase>(record.strPortName, record.nBaudRate);
    }
    SendSmsResult_t result;
    result.com = record.strPortName;
    Debug("to send pdu for com:" + record.strPortName);
    Debug("to send pdu for phone type:" + std::to_string(static_cast<int>(record.nPhoneType)));

    for (const std::string& number : numbers) {
        result.number = number;
        result.time = GetCurTimeStr();
        result.code = SMS_DEVICE_NOT_AT;
        result.message.clear();
        Debug("to send pdu for phone:" + number);

        if (record.strSmsCardNumber.empty()) {
            result.code = SMS_NO_SIM_CARD;
        } else if (!phone) {
            Debug("to send pdu phoneptr not found.");
            SMS_CODE_ENUM code = GetSmsErrorCode(record);
            if (code == SMS_SUCCEED) {
                code = SMS_NOT_SUPPORTED_SMS_DEVICE;
            }
            result.code = code;
            result.message = GetSmsCodeChineseStr(code);
        } else {
            Debug("to send pdu phoneptr found to send pdu");
            std::string text = message;
            if (message.size() >= MIN_STAMPED_MESSAGE && !HasEnv("VT-STAMP")) {
                text = AddTimeStampToSmsContextByPhoneNum(message, number, result.time);
            }
            Debug("to send pdu with init phone");
            RunComCmdInitPhone(phone.get(), port.get());
            Debug("to send pdu working...");

            // Kept across the attempts: a retry goes on from the refused part.
            std::vector<PDU_LONG_SMS_Base_t> steps;
            std::size_t next = 0;
            int attempts = 0;
            do {
                if (SendPduSmsByPhone(phone.get(), port.get(), number, text, steps, next)) {
                    result.code = SMS_SUCCEED;
                    result.message = "succeed";
                } else {
                    result.code = SMS_FAILED_UNKNOWN;
                    result.message = phone->GetErrorMessage();
                }
                ++attempts;
            } while (phone->IsSendPduSmsRetry() && attempts < MAX_SEND_ATTEMPTS);

            Debug("to send pdu phoneptr check err code");
            const std::string reason = phone->GetErrorMessage();
            if (result.code != SMS_SUCCEED && ModemStoppedAnswering(record.strPortName)) {
                result.message = m_bPlainText ? Lang::MODEM_STOPPED : MODEM_STOPPED_JSON;
            } else if (!reason.empty()) {
                result.message = reason;
            } else if (port->IsComError()) {
                result.message = port->GetErrorMsg();
            } else {
                result.message = GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
            }
        }
        Debug("to send pdu for phone handle result");
        HandleSendSmsResultByMode(result);
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
                                      std::size_t& next)
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

void CCheckManager::HandleSendSmsResultByMode(SendSmsResult_t result)
{
    if (!m_bPlainText) {
        m_vecSendResult.push_back(result);
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
    if (result.code == SMS_SUCCEED) {
        CColorCout::CoutGreenMessage(Lang::SEND_RESULT_PORT);
        CColorCout::CoutGreenMessage(port);
        CColorCout::CoutGreenMessage(Lang::SEND_RESULT_SEND_TO);
        CColorCout::CoutGreenMessage(result.number);
        CColorCout::CoutGreenMessage(Lang::SEND_RESULT_SUCCESS);
    } else {
        CColorCout::CoutRedMessage(Lang::SEND_RESULT_PORT);
        CColorCout::CoutGreenMessage(port);
        CColorCout::CoutRedMessage(Lang::SEND_RESULT_SEND_TO);
        CColorCout::CoutRedMessage(result.number);
        CColorCout::CoutRedMessage(Lang::SEND_RESULT_FAILED);
        CColorCout::CoutRedMessage(result.message);
    }
    std::cout << std::endl;
}
