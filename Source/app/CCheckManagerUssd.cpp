// "ussd" and "sussd": a USSD code (a balance, the own number) on every modem
// of the bank at once, the replies decoded, in one JSON document.
#include <json/json.h>

#include <iostream>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "DocumentOutput.h"
#include "ModemDocuments.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "StopSignal.h"
#include "basic.h"

namespace {

// The longest code: 182 characters, what one USSD string of 160 octets packs.
constexpr std::size_t USSD_CODE_MAX = 182;
// The +CUSD status of a modem that has no USSD: "operation not supported".
constexpr int USSD_STATUS_NOT_SUPPORTED = 4;
// A modem an earlier exchange of this run gave up, as the send document says it.
const char* const MODEM_STOPPED = "Modem stopped answering";
// The +CUSD status of a menu waiting for the user's answer.
constexpr int USSD_STATUS_MENU = 1;

Json::Value UssdModemObject(const ComPortBaseInfo_t& record)
{
    Json::Value object(Json::objectValue);
    object["name"] = ShortPortName(record.strPortName);
    AddIdentityMembers(object, record.strSerialNumber, record.strSmsCardNumber, record.modem.usb.position);
    object["code"] = static_cast<int>(SMS_FAILED_UNKNOWN);
    object["message"] = "";
    object["status"] = -1;
    object["text"] = "";
    object["dcs"] = -1;
    return object;
}

void SetResult(Json::Value& object, SMS_CODE_ENUM code, const std::string& message)
{
    object["code"] = static_cast<int>(code);
    object["message"] = message;
}

void PrintDocument(const Json::Value& root, bool compact)
{
    std::string text;
    if (compact) {
        Json::FastWriter writer;
        text = writer.write(root) + "\n";
    } else {
        text = root.toStyledString() + "\n";
    }
    std::string error;
    if (!WriteDocument(text, error)) {
        MarkDocumentLost();
    }
}

}  // namespace

bool CCheckManager::IsUssdCode(const std::string& code)
{
    return !code.empty() && code.size() <= USSD_CODE_MAX &&
           code.find_first_not_of("0123456789*#") == std::string::npos;
}

void CCheckManager::RunUssd(ModemWork_t& modem, const std::string& code, Json::Value& object)
{
    CPhoneCardBase* const model = modem.model.get();
    CComPortBase* const port = modem.Port();
    if (model == nullptr || port == nullptr || port->Open() != 1) {
        SetResult(object, SMS_DEVICE_NOT_AT, GetSmsCodeEnglishStr(SMS_DEVICE_NOT_AT));
        return;
    }
    if (!model->SupportsUssd()) {
        object["status"] = USSD_STATUS_NOT_SUPPORTED;
        SetResult(object, SMS_FAILED_UNKNOWN, "USSD not supported");
        return;
    }
    const SendHealth_t health = CheckUssdHealth(model, port);
    if (health.code != SMS_SUCCEED) {
        SetResult(object, health.code, SendHealthText(health, false));
        return;
    }
    // Whether the code goes as typed or packed, where a firmware setting says.
    RunComCmdGetUssdMode(model, port);
    const UssdSevenBitForm_t form = model->GetUssdSevenBitForm();
    // Where the modem converts the code by its character set, "GSM" reads it
    // as typed; the set in force comes back afterwards.
    RunComCmdGetUssdCharset(model, port);
    const std::string before = model->GetUssdCharset();
    std::string inForce = before;
    const bool setGsm = form == USSD_7BIT_CHARSET && !before.empty() && before != "GSM";
    if (setGsm && RunComCmdSetCharset(model, port, "GSM")) {
        inForce = "GSM";
    }
    // Some modems send the reply only to their primary AT port: every held one is heard.
    std::size_t answeredOn = 0;
    const int verdict = RunComCmdUssdRequest(model, modem.ports, code, g_nUssdWaitSec, answeredOn);
    const UssdLine_t reply = model->GetUssdReply();
    if (verdict == RSP_OK) {
        object["status"] = reply.status;
        object["dcs"] = reply.dcs;
        // A reply on another port is in that port's own character set.
        std::string replyCharset = inForce;
        if (answeredOn != 0 && form == USSD_7BIT_CHARSET) {
            RunComCmdGetUssdCharset(model, modem.ports[answeredOn]);
            replyCharset = model->GetUssdCharset();
        }
        std::string text;
        DecodeUssdText(reply, replyCharset, form, text);
        object["text"] = text;
        SetResult(object, SMS_SUCCEED, GetSmsCodeEnglishStr(SMS_SUCCEED));
    } else if (verdict == RSP_ERROR) {
        SetResult(object, SMS_FAILED_UNKNOWN,
                  StopRequested() ? std::string("stopped")
                                  : ExchangeFailureReason(port->GetDevPath(), *model, port, MODEM_STOPPED));
    } else {
        SetResult(object, SMS_FAILED_UNKNOWN, model->GetUssdReplyStarted() ? "USSD reply incomplete" : "USSD timed out");
    }
    // A menu left open, or a request the network still works on, would make
    // the modem refuse the next command.
    if (verdict == RSP_MORE || (verdict == RSP_OK && reply.status == USSD_STATUS_MENU)) {
        RunComCmdUssdCancel(model, port);
    }
    if (inForce != before) {
        RunComCmdSetCharset(model, port, before);
    }
}

void CCheckManager::OnCmdUssd(bool compact, const std::string& code, const std::string& portList, bool extraArguments)
{
    Json::Value root(Json::objectValue);
    root["code"] = 0;
    root["message"] = "param is ok";
    root["modems"] = Json::Value(Json::arrayValue);
    std::vector<PortItem_t> items;
    std::string error;
    if (code.empty() || extraArguments) {
        root["code"] = 3;
        root["message"] = "param count error";
        root["error"] = "usage: ussd <code> [ports]";
    } else if (!IsUssdCode(code)) {
        root["code"] = 3;
        root["message"] = "ussd code error";
        root["error"] = "a USSD code is 1 to 182 characters of 0-9, * and #";
    } else if (!ParsePortList(portList, items, error)) {
        root["code"] = 1;
        root["message"] = "com port error";
        root["error"] = error;
    } else {
        m_bSayWaits = true;
        std::vector<ComPortBaseInfo_t> ports;
        if (!ScanChosenModems(portList, items, ports)) {
            root["code"] = 1;
            root["message"] = "com port error";
            root["error"] = m_strSelectionError;
        }
        // One slot per modem, sized before the workers start.
        std::vector<Json::Value> objects;
        for (const ComPortBaseInfo_t& record : ports) {
            objects.push_back(UssdModemObject(record));
        }
        RunOnPorts(ports, TAKE_ALWAYS, [&](std::size_t i, ModemWork_t& modem) {
            Json::Value& object = objects[i];
            if (modem.taken == PORTS_BUSY) {
                SetResult(object, SMS_DEVICE_NOT_AT, PortUnavailableText(modem.record, false));
            } else if (!IsUsablePort(modem.record)) {
                const SMS_CODE_ENUM why = GetSmsErrorCode(modem.record);
                SetResult(object, why, GetSmsCodeEnglishStr(why));
            } else {
                RunUssd(modem, code, object);
            }
        });
        for (const Json::Value& object : objects) {
            root["modems"].append(object);
        }
    }
    PrintDocument(root, compact);
}
