// The command-line send mode: ports, numbers and message from the arguments,
// one JSON document on standard output for the calling program.
#include "CCheckManager.h"

#include <iostream>

#include <json/json.h>

#include "DocumentOutput.h"
#include "Lang.h"
#include "ModemDocuments.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "StopSignal.h"
#include "StringUtil.h"

namespace {

// HandleCmdParams results.
constexpr int CMD_PORT_ERROR = 0;
constexpr int CMD_PHONE_ERROR = 1;
constexpr int CMD_COUNT_ERROR = 2;
constexpr int CMD_SENT = 3;

// The error documents, kept as the text the calling programs were written against.
const char* const JSON_PORT_ERROR = R"({"code": 1, "message": "com port error", "result": []})";
const char* const JSON_PHONE_ERROR = R"({"code": 2, "message": "phone number error", "result": []})";
const char* const JSON_COUNT_ERROR = R"({"code": 3, "message": "param count error", "result": []})";

void PrintDocument(const Json::Value& document)
{
    std::string error;
    if (!WriteDocument(document.toStyledString() + "\n", error)) {
        MarkDocumentLost();
        std::cerr << Lang::DOCUMENT_NOT_WRITTEN << error << Lang::DOCUMENT_SEND_RESULTS_LOST << std::endl;
    }
}

}  // namespace

void CCheckManager::OnCmdParams(int argc, char** argv)
{
    m_bPlainText = false;
    m_bSayWaits = true;
    switch (HandleCmdParams(argc, argv)) {
    case CMD_PHONE_ERROR:
        PrintCmdParamsErrorAsJson(2);
        break;
    case CMD_COUNT_ERROR:
        PrintCmdParamsErrorAsJson(3);
        break;
    case CMD_PORT_ERROR:
        PrintCmdParamsErrorAsJson(1, m_strSelectionError);
        break;
    default:
        PrintSendPduSmsResultAsJson();
        break;
    }
}

int CCheckManager::HandleCmdParams(int argc, char** argv)
{
    std::string portList;
    std::string phoneList;
    std::string message;
    if (argc == 3) {
        phoneList = argv[1];
        message = RemoveDoubleQuotationMarksOfStringBothSide(argv[2]);
    } else if (argc == 4) {
        portList = argv[1];
        phoneList = argv[2];
        message = RemoveDoubleQuotationMarksOfStringBothSide(argv[3]);
    } else {
        return CMD_COUNT_ERROR;
    }
    StringReplace(message, "\\n", "\n");
    StringReplace(message, "\\r", "\r");

    // Named ports: only those (and the other ttys of their modems) are
    // examined and taken; the others are left to other programs. A bad item
    // touches nothing.
    std::vector<PortItem_t> items;
    if (!ParsePortList(portList, items, m_strSelectionError)) {
        return CMD_PORT_ERROR;
    }
    if (portList.empty()) {
        OnScanPort();
    } else {
        ScanPorts(PathsOfItems(items));
    }
    // Interrupted during the scan: nothing was sent, and the results
    // document says so rather than a verdict on half-examined ports.
    if (StopRequested()) {
        return CMD_SENT;
    }

    const std::vector<std::string> numbers = SplitUserPhoneNumber(phoneList);
    if (numbers.empty()) {
        return CMD_PHONE_ERROR;
    }
    std::vector<ComPortBaseInfo_t> ports;
    if (!InputToSendPduSmsComPort(portList, ports)) {
        return CMD_PORT_ERROR;
    }
    InputToSendPduSmsContext(message);
    HandleSendPduSmsProcess(ports, numbers, message);
    return CMD_SENT;
}

std::string CCheckManager::RemoveDoubleQuotationMarksOfStringBothSide(std::string s)
{
    // Only a pair that wraps the whole message goes (the caller quoted it
    // once more for the shell); a quote inside the message is its text, so
    // "He said \"hi\"" and 'Code: "1234"' are sent as typed.
    const bool wrapped = s.size() > 5 && s.front() == '"' && s.back() == '"' &&
                         s.find('"', 1) == s.size() - 1;
    if (!wrapped) {
        return s;
    }
    return s.substr(1, s.size() - 2);
}

void CCheckManager::PrintSendPduSmsResultAsJson()
{
    Json::Value document;
    Json::ArrayIndex index = 0;
    for (const SendSmsResult_t& result : m_vecSendResult) {
        Json::Value element;
        element["com"] = ShortPortName(result.com);
        element["number"] = result.number;
        element["time"] = result.time;
        element["code"] = result.code;
        // Code 1 gives its own reason; codes 8..12 their text with what the modem said.
        const bool ownText = result.code == SMS_FAILED_UNKNOWN ||
                             (result.code >= SMS_SIM_LOCKED && result.code < SMS_CODE_COUNT && !result.message.empty());
        element["message"] = ownText ? result.message : GetSmsCodeEnglishStr(static_cast<SMS_CODE_ENUM>(result.code));
        AddIdentityMembers(element, result.imei, result.iccid, result.usb);
        document["result"][index++] = element;
    }
    document["code"] = 0;
    document["message"] = "param is ok";
    PrintDocument(document);
}

void CCheckManager::PrintCmdParamsErrorAsJson(int code, const std::string& error)
{
    const char* text = code == 1 ? JSON_PORT_ERROR : code == 2 ? JSON_PHONE_ERROR : JSON_COUNT_ERROR;
    Json::Reader reader;
    Json::Value document;
    if (reader.parse(text, document)) {
        if (!error.empty()) {
            document["error"] = error;
        }
        PrintDocument(document);
    }
}
