// The "sms" sub-commands: read, clear or read-and-clear every usable port
// without a dialogue and report in one JSON document on standard output.
#include <json/json.h>

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "CCheckManager.h"
#include "CreatePhone.h"

namespace {

// What a sub-command does and how its document is printed.
struct SmsSubCommand_t
{
    const char* name;
    bool read;
    bool clear;
    bool compact;
};

const SmsSubCommand_t SMS_SUB_COMMANDS[] = {
    {"read", true, false, false},   {"clear", false, true, false},  {"readclear", true, true, false},
    {"sread", true, false, true},   {"sclear", false, true, true},  {"sreadclear", true, true, true},
};

// "/dev/ttyUSB0" -> "ttyUSB0".
std::string ShortPortName(const std::string& path)
{
    return path.size() > 5 ? path.substr(5) : std::string();
}

}  // namespace

Json::Value CCheckManager::SmsToJson(const SmsRecvStruct_t& sms, bool fromSim)
{
    Json::Value msg(Json::objectValue);
    msg["time"] = sms.time;
    msg["from"] = sms.from;
    msg["text"] = sms.text;
    msg["storage"] = fromSim ? "SIM" : "DEV";
    if (!sms.complete) {
        msg["incomplete"] = true;
    }
    if (sms.kind == SMS_KIND_STATUS_REPORT) {
        msg["kind"] = "status-report";
        msg["status"] = sms.status;
        msg["reference"] = sms.reference;
    }
    return msg;
}

Json::Value CCheckManager::SmsReadPortToJson(const std::string& portPath, const std::vector<SmsRecvStruct_t>& me,
                                             const std::vector<SmsRecvStruct_t>& sm)
{
    Json::Value port(Json::objectValue);
    port["name"] = ShortPortName(portPath);
    port["msgcount"] = static_cast<Json::UInt64>(sm.size() + me.size());
    for (const SmsRecvStruct_t& sms : sm) {
        port["msgs"].append(SmsToJson(sms, true));
    }
    for (const SmsRecvStruct_t& sms : me) {
        port["msgs"].append(SmsToJson(sms, false));
    }
    return port;
}

Json::Value CCheckManager::SmsPortReport(const ComPortBaseInfo_t& info, bool read, bool clear)
{
    Json::Value port(Json::objectValue);
    if (!read) {
        port["name"] = ShortPortName(info.strPortName);
        port["clear"] = DelPortSMS(info);
        return port;
    }
    if (clear) {
        const PortReadClear_t done = ReadAndClearPort(info);
        port = SmsReadPortToJson(info.strPortName, done.me, done.sm);
        port["clear"] = done.cleared;
        return port;
    }
    std::vector<SmsRecvStruct_t> me;
    std::vector<SmsRecvStruct_t> sm;
    GetPortSMS(info, me, sm);
    return SmsReadPortToJson(info.strPortName, me, sm);
}

void CCheckManager::OnCmdSMS(const std::string& subcommand)
{
    const SmsSubCommand_t* command = nullptr;
    for (const SmsSubCommand_t& known : SMS_SUB_COMMANDS) {
        if (subcommand == known.name) {
            command = &known;
            break;
        }
    }

    const time_t start = time(nullptr);
    Json::Value root(Json::objectValue);
    root["type"] = subcommand;
    root["check"] = command != nullptr ? 1 : 0;

    if (command != nullptr) {
        OnScanPort();
        std::vector<ComPortBaseInfo_t> ports;
        GetPortList(ports);
        root["portcount"] = static_cast<Json::UInt64>(ports.size());
        for (const ComPortBaseInfo_t& info : ports) {
            root["ports"].append(SmsPortReport(info, command->read, command->clear));
        }
    }

    const time_t end = time(nullptr);
    root["seconds"] = static_cast<Json::Int64>(end - start);
    if (command != nullptr && command->compact) {
        Json::FastWriter writer;
        std::cout << writer.write(root) << std::endl;
    } else {
        std::cout << root.toStyledString() << std::endl;
    }
}

void CCheckManager::GetPortList(std::vector<ComPortBaseInfo_t>& ports)
{
    ports.clear();
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        if (!entry.bAtOk || entry.strSerialNumber.empty() || entry.strSignal.empty() ||
            entry.strSmsCardNumber.empty()) {
            continue;
        }
        ComPortBaseInfo_t info;
        info.strPortName = entry.strPortName;
        info.nBaudRate = std::atoi(entry.strBaudRate.c_str());
        info.bAtOk = entry.bAtOk;
        info.strSmsCardNumber = entry.strSmsCardNumber;
        info.strSignal = entry.strSignal;
        info.strSerialNumber = entry.strSerialNumber;
        info.nPhoneType = RecogniseModel(entry.strAtiRsp, ModelOrder::Selection);
        ports.push_back(info);
    }
}
