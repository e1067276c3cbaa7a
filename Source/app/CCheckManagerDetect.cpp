// Detection: which modem answers on each port, and what it says of itself.
#include "CCheckManager.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "CommandExchange.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "PortWorkers.h"

namespace {

// The rate a port is listed with when no modem was recognised on it.
const int kUnrecognisedRate = 115200;
// Only to switch echo off: the answer is judged like AT's, so that it cannot
// be left over for the AT exchanges that follow. One read pass may go by
// before it is given up; its answer only tells that echo is off.
const ExchangeRow_t ECHO_OFF_ROW{CallersText, &CPhoneCardBase::OnGetAtCmdRsp, 1, PORT_ALREADY_OPEN};
const char* const ECHO_OFF = "ATE0\r\n";

// Bounded copy into a fixed field of DeviceBaseComInfo: truncated, always
// zero-terminated, whatever the modem sent.
template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The progress line of a scan on the menu's terminal.
void ShowScanProgress(std::size_t done, std::size_t total)
{
    char line[128];
    std::snprintf(line, sizeof line, Lang::SCAN_PROGRESS, static_cast<unsigned>(total), static_cast<unsigned>(done));
    CColorCout::WriteProgress(line);
}

}  // namespace

DeviceBaseComInfo CCheckManager::ExaminePort(const std::string& path, std::unique_ptr<CComPortBase>& port)
{
    DeviceBaseComInfo record;
    CopyField(record.szPortName, path);
    record.bChecked = true;
    record.nBaudRate = kUnrecognisedRate;

    const std::vector<std::unique_ptr<CPhoneCardBase>> models = CreateModelList(ModelOrder::Detection);
    // AT and ATI are spoken alike by every model: the first one asks.
    CPhoneCardBase* const speaker = models.empty() ? nullptr : models.front().get();
    // Set when an exchange at the last rate gave up on its answer: a late
    // answer at that rate would otherwise pass for one at the next.
    bool answerOwed = false;
    for (const int rate : DETECT_RATES) {
        if (!port) {
            port = std::make_unique<CComPortBase>(path, rate);
        } else {
            if (answerOwed) {
                DrainLateAnswers(*port);
            }
            port->SetBaudRate(rate);
        }
        answerOwed = false;
        // Passes an exchange's verdict on, noting whether it ended without its answer.
        const auto exchanged = [&](bool verdict) {
            answerOwed = answerOwed || port->GetLineState() != LineState_t::SETTLED;
            return verdict;
        };
        const bool opened = port->Open() == 1;
        if (port->IsBusy() == 1) {
            // Another program's port: not a byte, not a setting.
            record.bBusy = true;
            record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
            break;
        }
        if (!port->GetLockError().empty()) {
            // Not a modem's answer: the lock folder is at fault, at every rate.
            record.strLockError = port->GetLockError();
            break;
        }
        if (!opened || speaker == nullptr) {
            continue;
        }
        record.bOpened = true;
        exchanged(RunExchange(ECHO_OFF_ROW, speaker, port.get(), {ECHO_OFF}) == RSP_OK);
        if (!exchanged(RunComCmdAT(speaker, port.get())) || !exchanged(RunComCmdAT(speaker, port.get()))) {
            continue;
        }
        // Its verdict only says whether the first model matched; the answer is what counts.
        exchanged(RunComCmdATI(speaker, port.get()));
        const std::string ati = speaker->GetAtiRspString();
        CPhoneCardBase* found = nullptr;
        for (const std::unique_ptr<CPhoneCardBase>& model : models) {
            if (model && model->IsATI_RspMatch(ati)) {
                found = model.get();
                break;
            }
        }
        if (found == nullptr) {
            continue;
        }
        record.nBaudRate = rate;
        record.nPhoneType = found->GetPhoneType();
        CopyField(record.szAtiRsp, ati);
        record.bAtOk = true;
        RunComCmdGetSerialNumber(found, port.get());
        // Without a SIM card there is no signal worth asking for.
        if (RunComCmdGetSmsCardNumber(found, port.get())) {
            RunComCmdGetSignalStrength(found, port.get());
        }
        CopyField(record.szSmsCardNumber, found->GetSmsCardNumber());
        CopyField(record.szSerialNumber, found->GetSerialNumber());
        CopyField(record.szSignal, found->GetSignalStrength());
        // From now on a modem that stops answering is given up on at once.
        MarkModemAnswered(path);
        return record;
    }
    port.reset();  // nothing recognised: let go of it at once
    return record;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectDevices(const std::vector<std::string>& ports)
{
    g_comVec.clear();
    // The ports of an earlier pass go first: this pass takes them again.
    ReleasePorts();
    // A new run: what earlier runs found out about the modems is forgotten.
    ForgetModemStates();
    // Slots sized before the workers start: each worker fills its own.
    std::vector<DeviceBaseComInfo> records(ports.size());
    std::vector<std::unique_ptr<CComPortBase>> held(ports.size());
    {
        CPortWorkers workers(ports, [&](std::size_t i) { records[i] = ExaminePort(ports[i], held[i]); });
        if (m_bShowScanProgress) {
            workers.WaitAll(ShowScanProgress);
            CColorCout::WriteProgress("");
        } else {
            workers.WaitAll();
        }
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (held[i]) {
            m_heldPorts[ports[i]] = std::move(held[i]);
        }
    }
    g_comVec = records;
    return records;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectAllDevice()
{
    return DetectDevices(GetAllComPort());
}

void CCheckManager::OnScanPort()
{
    ScanPorts(GetAllComPort());
}

void CCheckManager::ScanPorts(const std::vector<std::string>& paths)
{
    m_vecComInfo.clear();
    const std::time_t start = std::time(nullptr);
    const std::vector<DeviceBaseComInfo> records = DetectDevices(paths);
    const std::time_t end = std::time(nullptr);
    for (const DeviceBaseComInfo& record : records) {
        m_vecComInfo.push_back(TableEntryOf(record));
    }
    // Whole seconds plus one: a pass within one second reports 1.
    m_strStatus = std::string(Lang::CHECK_USED) + std::to_string(static_cast<int64_t>(end - start) + 1) +
                  Lang::CHECK_SECONDS;
}

