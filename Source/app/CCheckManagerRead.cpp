// Reading and clearing the SMS stored on a modem: menu key 2, the hidden
// key "d", and the per-port reading and clearing of the "sms" sub-commands.
#include <unistd.h>

#include <ctime>
#include <iostream>
#include <memory>

#include "CCheckManager.h"
#include "CColorCout.h"
#include "ComPortBase.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "StringUtil.h"

namespace {

const int MAX_READ_NEXT_COMMANDS = 100;  // follow-up commands of one listing

// "/dev/ttyUSB0" -> "ttyUSB0", as every result line shows a port.
std::string ShortPortName(const std::string& path)
{
    return path.size() > 5 ? path.substr(5) : std::string();
}

bool IsListed(CCheckManager::StorageRead_t read)
{
    return read == CCheckManager::STORAGE_READ || read == CCheckManager::STORAGE_PARTLY_READ;
}

// Why neither storage of a port could be read, most telling first.
std::string ReadFailureReason(const ComPortBaseInfo_t& info, CPhoneCardBase* phone, const CComPortBase& port)
{
    if (info.strSmsCardNumber.empty()) {
        return GetSmsCodeChineseStr(SMS_NO_SIM_CARD);
    }
    if (phone == nullptr) {
        return GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
    }
    const std::string modemError = phone->GetErrorMessage();
    if (!modemError.empty()) {
        return modemError;
    }
    if (port.IsComError()) {
        return port.GetErrorMsg();
    }
    return GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
}

}  // namespace

void CCheckManager::OnReadAllSms()
{
    std::vector<ComPortBaseInfo_t> ports;
    if (!InputReadAllSmsComPort(ports)) {
        return;
    }
    const time_t start = time(nullptr);
    HandleReadAllSms(ports);
    const time_t end = time(nullptr);
    std::cout << Lang::READ_TIME_USED << static_cast<long>(end - start + 1) << Lang::READ_SECONDS << std::endl;
    usleep(3000000);
}

void CCheckManager::OnDelAllSms()
{
    // The ports are asked for and then left alone on purpose: the menu key's
    // action on them has not been decided.
    std::vector<ComPortBaseInfo_t> ports;
    InputReadAllSmsComPort(ports);
}

bool CCheckManager::InputReadAllSmsComPort(std::vector<ComPortBaseInfo_t>& ports)
{
    return InputCheckSendPduSmsComPorts(ports);
}

void CCheckManager::HandleReadAllSms(const std::vector<ComPortBaseInfo_t>& ports)
{
    for (const ComPortBaseInfo_t& info : ports) {
        CComPortBase port(info.strPortName, info.nBaudRate);
        std::unique_ptr<CPhoneCardBase> phone(GetPhoneByType(info.nPhoneType));
        port.Open();
        RunComCmdInitPhone(phone.get(), &port);

        std::vector<SmsRecvStruct_t> me;
        std::vector<SmsRecvStruct_t> sm;
        const bool meRead = IsListed(ReadStoragePass(phone.get(), &port, true, me));
        const bool smRead = IsListed(ReadStoragePass(phone.get(), &port, false, sm));
        const std::string name = ShortPortName(info.strPortName);

        if (meRead || smRead) {
            CColorCout::CoutGreenMessage(std::string(Lang::READ_PORT) + name + Lang::READ_OK_TOTAL +
                                         std::to_string(me.size() + sm.size()) + Lang::READ_ITEMS);
            std::cout << std::endl;
            // The SIM card is shown first although the modem memory is read first.
            if (smRead) {
                CColorCout::CoutGreenMessage(std::string(Lang::READ_SIM_COUNT) + std::to_string(sm.size()) +
                                             Lang::READ_COUNT_SUFFIX);
                std::cout << std::endl;
                PrintRecvSms(sm);
            }
            if (meRead) {
                CColorCout::CoutGreenMessage(std::string(Lang::READ_DEV_COUNT) + std::to_string(me.size()) +
                                             Lang::READ_COUNT_SUFFIX);
                std::cout << std::endl;
                PrintRecvSms(me);
            }
            continue;
        }

        CColorCout::CoutRedMessage(std::string(Lang::READ_PORT) + name + Lang::READ_FAILED);
        CColorCout::CoutRedMessage(Lang::READ_REASON);
        CColorCout::CoutRedMessage(ReadFailureReason(info, phone.get(), port));
        std::cout << std::endl;
    }
}

bool CCheckManager::ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port)
{
    bool whole = false;
    return ReadAllSmsByPhoneSM(phone, port, whole);
}

bool CCheckManager::ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port, bool& whole)
{
    whole = false;
    if (phone == nullptr || port == nullptr || !port->Open()) {
        return false;
    }
    const bool listed = RunComCmdSetPduMode(phone, port) && RunComCmdSetRecvSmsCompatibleMode(phone, port) &&
                        RunComCmdReadAllSmsToPhone(phone, port);
    if (!listed) {
        return false;
    }
    whole = true;
    for (int command = 0; command < MAX_READ_NEXT_COMMANDS && phone->NotFinished(); ++command) {
        // False: the answer failed, never completed, or held no message.
        whole = RunComCmdReadNextSms(phone, port) && whole;
    }
    whole = whole && !phone->NotFinished();
    return true;
}

CCheckManager::StorageRead_t CCheckManager::ReadStoragePass(CPhoneCardBase* phone, CComPortBase* port,
                                                            bool modemMemory, std::vector<SmsRecvStruct_t>& out)
{
    if (phone == nullptr) {
        return STORAGE_UNAVAILABLE;
    }
    const bool selected = modemMemory ? RunComCmdReadME_Sms(phone, port) : RunComCmdReadSM_Sms(phone, port);
    if (!selected) {
        return STORAGE_UNAVAILABLE;
    }
    bool whole = false;
    if (!ReadAllSmsByPhoneSM(phone, port, whole)) {
        return STORAGE_UNREAD;
    }
    out = phone->GetReadSms();
    return whole ? STORAGE_READ : STORAGE_PARTLY_READ;
}

void CCheckManager::PrintRecvSms(std::vector<SmsRecvStruct_t> list)
{
    const std::string rule(50, '-');
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::cout << rule << "\n";
        std::cout << Lang::READ_ITEM_NO << (i + 1) << Lang::READ_ITEMS << "\n";
        // Sender and text come from strangers: no escape sequence reaches the terminal.
        std::cout << Lang::READ_SEND_TO << ToPrintableText(list[i].from) << "\n";
        std::cout << Lang::READ_SEND_TIME << ToPrintableText(list[i].time) << "\n";
        std::cout << Lang::READ_MESSAGE << ToPrintableText(list[i].text) << "\n";
    }
    std::cout << rule << std::endl;
}

CCheckManager::PortStorages_t CCheckManager::GetPortSMS(ComPortBaseInfo_t info, std::vector<SmsRecvStruct_t>& me,
                                                        std::vector<SmsRecvStruct_t>& sm, bool withIncomplete)
{
    CComPortBase port(info.strPortName, info.nBaudRate);
    std::unique_ptr<CPhoneCardBase> phone(GetPhoneByType(info.nPhoneType));
    if (phone) {
        // Storages about to be cleared: a concatenated message still missing
        // a part is reported with what arrived of it rather than lost unseen.
        phone->SetReportIncompleteSms(withIncomplete);
    }
    port.Open();
    RunComCmdInitPhone(phone.get(), &port);
    PortStorages_t storages;
    storages.me = ReadStoragePass(phone.get(), &port, true, me);
    storages.sm = ReadStoragePass(phone.get(), &port, false, sm);
    return storages;
}

bool CCheckManager::DelPortSMS(ComPortBaseInfo_t info, bool me, bool sm)
{
    std::unique_ptr<CPhoneCardBase> phone(GetPhoneByType(info.nPhoneType));
    if (!phone || !(me || sm)) {
        return false;
    }
    CComPortBase port(info.strPortName, info.nBaudRate);
    if (!port.Open()) {
        return false;
    }
    // The delete-all command acts on the selected storage only, so each
    // storage the read covers is selected and cleared in turn. A storage the
    // modem cannot select does not count against the result.
    bool anySelected = false;
    bool allCleared = true;
    if (me && RunComCmdReadME_Sms(phone.get(), &port)) {
        anySelected = true;
        allCleared = RunComCmdDelAllSms(phone.get(), &port) && allCleared;
    }
    if (sm && RunComCmdReadSM_Sms(phone.get(), &port)) {
        anySelected = true;
        allCleared = RunComCmdDelAllSms(phone.get(), &port) && allCleared;
    }
    port.Close();
    return anySelected && allCleared;
}
