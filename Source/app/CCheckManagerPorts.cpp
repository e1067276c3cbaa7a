// The dialogues and the port selection shared by the send, read and
// command-line workflows: numbers, ports, message text.
#include "CCheckManager.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "CColorCout.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "PortSelection.h"
#include "StopSignal.h"
#include "StringUtil.h"

namespace {

// One typed line. The stream state is cleared so that end of input (or a
// closed terminal) makes the later prompts read empty lines instead of
// skipping them.
std::string ReadInputLine()
{
    std::string line;
    std::getline(std::cin, line);
    std::cin.clear();
    return line;
}

// Items of a typed list: spaces and semicolons count as commas.
std::vector<std::string> SplitTypedList(const std::string& text)
{
    return SplitStringByChar(StringReplaceChar(StringReplaceChar(text, ' ', ','), ';', ','), ',');
}

void PrintTooManyTries()
{
    CColorCout::CoutRedMessage(Lang::SEND_TOO_MANY_TRIES);
    std::cout << "\n\n\n";
    std::cout.flush();
}

}  // namespace

bool CCheckManager::InputCheckSendPduSmsPhoneNumbers(std::vector<std::string>& numbers)
{
    numbers.clear();
    for (int attempt = 0; attempt < MAX_INPUT_TRY_COUNT; ++attempt) {
        std::cout << "\n";
        CColorCout::CoutGreenMessage(Lang::SEND_INPUT_PHONE);
        const std::string line = ReadInputLine();
        if (StopRequested()) {
            return false;
        }
        std::cout << "\n";
        numbers = SplitUserPhoneNumber(line);
        if (!numbers.empty()) {
            return true;
        }
        CColorCout::CoutRedMessage(Lang::SEND_INVALID_PHONE);
        std::cout << "\n";
    }
    PrintTooManyTries();
    return false;
}

std::vector<std::string> CCheckManager::SplitUserPhoneNumber(std::string text)
{
    std::vector<std::string> numbers;
    for (const std::string& item : SplitTypedList(text)) {
        if (item.empty()) {
            continue;
        }
        if (!CheckReceiveNumber(item)) {
            return {};
        }
        numbers.push_back(item);
    }
    return numbers;
}

bool CCheckManager::CheckReceiveNumber(const std::string& number)
{
    if (number.size() < 5 || number.size() >= static_cast<std::size_t>(MAX_PHONE_LEN)) {
        return false;
    }
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if ((c < '0' || c > '9') && !(i == 0 && c == '+')) {
            return false;
        }
    }
    return true;
}

bool CCheckManager::InputCheckSendPduSmsComPorts(std::vector<ComPortBaseInfo_t>& ports)
{
    for (int attempt = 0; attempt < MAX_INPUT_TRY_COUNT; ++attempt) {
        ports.clear();
        std::cout << "\n";
        CColorCout::CoutGreenMessage(Lang::SEND_INPUT_PORT);
        const std::string line = ReadInputLine();
        if (StopRequested()) {
            return false;
        }
        std::cout << "\n";
        if (InputToSendPduSmsComPort(line, ports)) {
            return true;
        }
        CColorCout::CoutRedMessage(m_strSelectionError.empty() ? std::string(Lang::SEND_INVALID_PORT)
                                                               : m_strSelectionError);
        std::cout << "\n";
    }
    PrintTooManyTries();
    return false;
}

std::string CCheckManager::CandidateOfItem(const std::string& item, const std::vector<std::string>& candidates)
{
    // An empty item would name "/dev/tty", the controlling terminal.
    if (item.empty()) {
        return std::string();
    }
    for (const std::string& path : candidates) {
        if (GetPortId(path) == item) {
            return path;
        }
    }
    // Another name of a listed device: the device under its listed name.
    return CandidateOfPath(PortPathOfId(item), candidates);
}

std::string CCheckManager::CandidateOfPortItem(const PortItem_t& item, const std::vector<std::string>& candidates)
{
    switch (item.kind) {
    case PortItem_t::BY_NAME: return CandidateOfItem(item.value, candidates);
    case PortItem_t::BY_PATH: return CandidateOfPath(item.value, candidates);
    default: return std::string();
    }
}

std::vector<std::string> CCheckManager::NamedPorts(const std::string& typed,
                                                  const std::vector<std::string>& candidates)
{
    std::vector<PortItem_t> items;
    std::string error;
    if (!ParsePortList(typed, items, error)) {
        return {};
    }
    return PathsToExamine(items, candidates, candidates, &CandidateOfPortItem);
}

std::vector<std::string> CCheckManager::PathsOfItems(const std::vector<PortItem_t>& items)
{
    return PathsToExamine(items, ListCandidatePorts(), GetAllComPort(), &CandidateOfPortItem);
}

const Win32::CommInfo* CCheckManager::TableEntryOfItem(const std::string& item) const
{
    std::vector<std::string> paths;
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        paths.push_back(entry.strPortName);
    }
    const std::string path = CandidateOfItem(item, paths);
    if (path.empty()) {
        return nullptr;
    }
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        if (entry.strPortName == path) {
            return &entry;
        }
    }
    return nullptr;
}

ComPortBaseInfo_t CCheckManager::RecordFromEntry(const Win32::CommInfo& entry, bool recognise)
{
    ComPortBaseInfo_t record;
    record.strPortName = entry.strPortName;
    record.nBaudRate = BaudRateOf(entry.strBaudRate);
    record.bAtOk = entry.bAtOk;
    record.strSmsCardNumber = entry.strSmsCardNumber;
    record.strSignal = entry.strSignal;
    record.strSerialNumber = entry.strSerialNumber;
    record.bOpened = entry.bOpened;
    record.bBusy = entry.bBusy;
    record.nBusyPid = entry.nBusyPid;
    record.strLockError = entry.strLockError;
    record.modem = entry.modem;
    if (recognise) {
        record.nPhoneType = RecogniseModel(entry.strAtiRsp, ModelOrder::Selection);
    }
    return record;
}

ComPortBaseInfo_t CCheckManager::RecordFromDetection(const DeviceBaseComInfo& found)
{
    return RecordFromEntry(TableEntryOf(found), true);
}

bool CCheckManager::ScanChosenModems(const std::string& portList, const std::vector<PortItem_t>& items,
                                     std::vector<ComPortBaseInfo_t>& ports)
{
    if (portList.empty()) {
        OnScanPort();
        GetPortList(ports);
    } else {
        ScanPorts(PathsOfItems(items));
        InputToSendPduSmsComPort(portList, ports);
    }
    if (m_strSelectionError.empty()) {
        return true;
    }
    ReleasePorts();
    ports.clear();
    return false;
}

bool CCheckManager::InputToSendPduSmsComPort(const std::string& text, std::vector<ComPortBaseInfo_t>& ports)
{
    ports.clear();
    m_strSelectionError.clear();

    if (text.empty()) {
        for (const Win32::CommInfo& entry : m_vecComInfo) {
            if (entry.bAtOk && !entry.strSerialNumber.empty() && !entry.strSignal.empty() &&
                !entry.strSmsCardNumber.empty()) {
                ports.push_back(RecordFromEntry(entry, true));
            }
        }
        if (ports.empty()) {
            for (const Win32::CommInfo& entry : m_vecComInfo) {
                if (entry.bAtOk) {
                    ports.push_back(RecordFromEntry(entry, true));
                }
            }
        }
        if (ports.empty()) {
            for (const Win32::CommInfo& entry : m_vecComInfo) {
                ports.push_back(RecordFromEntry(entry, false));
            }
        }
        return true;
    }

    std::vector<PortItem_t> items;
    if (!ParsePortList(text, items, m_strSelectionError)) {
        return false;
    }
    std::vector<std::string> ttys;
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        ttys.push_back(entry.strPortName);
        ttys.insert(ttys.end(), entry.modem.all.begin(), entry.modem.all.end());
    }
    bool matched = false;
    std::vector<int> chosen;
    for (const PortItem_t& item : items) {
        const int modem = ModemOfItem(item, CandidateOfPortItem(item, ttys), m_vecComInfo, m_strSelectionError);
        if (modem == -2) {
            ports.clear();  // an item that could mean two modems: nothing is done
            return false;
        }
        if (modem >= 0) {
            matched = true;
            // Two items naming one modem choose it once: one SIM, one sender.
            if (std::find(chosen.begin(), chosen.end(), modem) == chosen.end()) {
                chosen.push_back(modem);
                ports.push_back(RecordFromEntry(m_vecComInfo[static_cast<std::size_t>(modem)], true));
            }
            continue;
        }
        ComPortBaseInfo_t record;
        // Named in the result as typed: a short name as its path, an identity as itself.
        record.strPortName = item.kind == PortItem_t::BY_NAME   ? PortPathOfId(item.value)
                             : item.kind == PortItem_t::BY_PATH ? item.value
                                                                : "/dev/" + item.text;
        record.nBaudRate = 115200;
        record.bAtOk = false;
        record.bInTable = false;
        ports.push_back(record);
    }
    return matched;
}

bool CCheckManager::InputCheckSendPduSmsContext(std::string& message)
{
    std::cout << "\n";
    CColorCout::CoutGreenMessage(Lang::SEND_INPUT_MESSAGE);
    message = ReadInputLine();
    std::cout << "\n";
    return InputToSendPduSmsContext(message);
}

bool CCheckManager::InputToSendPduSmsContext(std::string& message)
{
    if (message.empty()) {
        message = Lang::SEND_DEFAULT_MESSAGE;
    }
    return true;
}

SMS_CODE_ENUM CCheckManager::GetSmsErrorCode(ComPortBaseInfo_t port)
{
    if (!port.bInTable || !port.bOpened) {
        return SMS_NO_SUCH_PORT;
    }
    if (!port.bAtOk) {
        return SMS_DEVICE_NOT_AT;
    }
    if (port.strSerialNumber.empty()) {
        return SMS_NOT_SUPPORTED_SMS_DEVICE;
    }
    if (port.strSmsCardNumber.empty()) {
        return SMS_NO_SIM_CARD;
    }
    if (port.strSignal.empty()) {
        return SMS_NO_SIGNAL;
    }
    return SMS_SUCCEED;
}
