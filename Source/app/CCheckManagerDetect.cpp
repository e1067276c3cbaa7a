#include "CCheckManager.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
#include "PortWorkers.h"
#include "StopSignal.h"
#include "StringUtil.h"
#include "basic.h"

namespace {

using Builder = std::string (CPhoneCardBase::*)() const;
using Judge = int (CPhoneCardBase::*)(std::string);

// What an exchange needs of its port before it may write.
enum class PortNeed
{
    Open,         // opens a closed port
    AlreadyOpen,  // the caller opened it; never opened here
};

// The line speeds detection tries, in order.
const int kDetectRates[] = {9600, 115200};
// The rate a port is listed with when no modem was recognised on it.
const int kUnrecognisedRate = 115200;
// Extra pause of the delete-all exchange after each undecided read.
const int64_t kDelAllPauseUsec = 100000;
// Read passes that may go by before detection's "ATE0" is given up; its
// answer only tells that echo is off.
const int kEchoOffPasses = 1;
// Resynchronising: at most this many passes of a late answer are waited out,
// then "AT" gets this many nominal passes to bring its own "OK".
const int kSettlePasses = 10;
const int kResyncAtPasses = 2;

// What the exchanges know of a modem, kept by device path so that it outlives
// the port objects of one run (reading, then clearing).
struct PortState
{
    bool answered = false;  // the last detection recognised a modem on it
    bool stopped = false;   // it then let an exchange run out of time without a byte
};

// Guards g_portStates: one worker per port may run exchanges at once.
std::mutex g_portStateMutex;
std::map<std::string, PortState> g_portStates;

PortState StateOf(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(g_portStateMutex);
    const auto it = g_portStates.find(path);
    return it == g_portStates.end() ? PortState() : it->second;
}

template <typename Change>
void ChangeState(const std::string& path, Change change)
{
    const std::lock_guard<std::mutex> lock(g_portStateMutex);
    change(g_portStates[path]);
}

bool PortReady(CPhoneCardBase* model, CComPortBase* port, PortNeed need)
{
    if (model == nullptr || port == nullptr) {
        return false;
    }
    return need == PortNeed::Open ? port->Open() == 1 : port->IsOpened() == 1;
}

// Writes `command` and hands the growing answer to `judge` after every read
// pass until it gives a verdict or `passes` nominal pass lengths have gone by
// on the monotonic clock, however many pieces the answer comes in. Returns
// RSP_OK, RSP_ERROR (also when the command could not be written or the
// device failed), or RSP_MORE when time ran out; `heard` tells whether any
// byte came back.
int Converse(CPhoneCardBase& model, CComPortBase& port, const std::string& command, Judge judge, int passes,
             bool delAllPause, bool& heard)
{
    heard = false;
    if (StopRequested()) {
        return RSP_ERROR;  // the run is ending: no new command
    }
    // Unsolicited lines and the rest of an abandoned answer are no part of this one.
    port.DiscardInput();
    if (port.Write(command) != 1) {
        return RSP_ERROR;
    }
    const int64_t deadline = MonotonicUsec() + static_cast<int64_t>(passes) * ReadPassUsec();
    std::string answer;
    for (;;) {
        const bool alive = port.ReadAll(answer, deadline) == 1;
        heard = heard || !answer.empty();
        const int verdict = (model.*judge)(answer);
        if (verdict == RSP_OK || verdict == RSP_ERROR) {
            return verdict;
        }
        if (!alive || StopRequested()) {
            return RSP_ERROR;  // the device went away, or the run is ending
        }
        if (MonotonicUsec() >= deadline) {
            return RSP_MORE;
        }
        if (delAllPause) {
            // Deleting a full store takes the modem a while.
            usleep_until2(static_cast<uint64_t>(MonotonicUsec() + kDelAllPauseUsec));
        }
    }
}

// Before a command on a port whose last exchange ended without a verdict:
// waits until a whole pass goes by without input, so that a late answer is
// not taken for the next one, and after an answer that could not be judged
// checks with "AT" that the modem takes commands again.
void Resynchronise(CPhoneCardBase& model, CComPortBase& port)
{
    const LineState_t state = port.GetLineState();
    if (state == LineState_t::SETTLED) {
        return;
    }
    port.SetLineState(LineState_t::SETTLED);
    for (int i = 0; i < kSettlePasses; ++i) {
        std::string late;
        if (port.ReadAll(late, MonotonicUsec() + ReadPassUsec()) != 1 || late.empty()) {
            break;
        }
    }
    if (state == LineState_t::CONFUSED) {
        bool heard = false;
        Converse(model, port, model.GetATCmd(), &CPhoneCardBase::OnGetAtCmdRsp, kResyncAtPasses, false, heard);
    }
}

// The command exchange: every command of the program goes through here. A
// port whose modem stopped answering after detection fails at once.
int Exchange(CPhoneCardBase& model, CComPortBase& port, const std::string& command, Judge judge, int passes,
             bool delAllPause = false)
{
    const std::string& path = port.GetDevPath();
    if (StateOf(path).stopped) {
        return RSP_ERROR;
    }
    Resynchronise(model, port);
    bool heard = false;
    const int verdict = Converse(model, port, command, judge, passes, delAllPause, heard);
    if (verdict == RSP_MORE) {
        port.SetLineState(heard ? LineState_t::CONFUSED : LineState_t::LATE_ANSWER_POSSIBLE);
        if (!heard) {
            ChangeState(path, [](PortState& state) { state.stopped = state.answered; });
        }
    }
    return verdict;
}

// An exchange whose command text the model builds.
bool ModelExchange(CPhoneCardBase* model, CComPortBase* port, PortNeed need, Builder build, Judge judge,
                   int attempts, bool delAllPause = false)
{
    if (!PortReady(model, port, need)) {
        return false;
    }
    return Exchange(*model, *port, (model->*build)(), judge, attempts, delAllPause) == RSP_OK;
}

// Bounded copy into a fixed field of DeviceBaseComInfo: truncated, always
// zero-terminated, whatever the modem sent.
template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Examines one port: recognises the modem at the first rate where it answers
// AT twice and its ATI answer names a model, then reads IMEI, SIM number and
// (with a SIM) signal with the recognised model object. The port is taken
// once and kept across the rates. `port` may hold the port already taken;
// otherwise it is taken here without waiting for another program. On return
// `port` holds the port where a modem was recognised, else it is null.
DeviceBaseComInfo ExaminePort(const std::string& path, std::unique_ptr<CComPortBase>& port)
{
    DeviceBaseComInfo record;
    CopyField(record.szPortName, path);
    record.bChecked = true;
    record.nBaudRate = kUnrecognisedRate;

    const std::vector<std::unique_ptr<CPhoneCardBase>> models = CreateModelList(ModelOrder::Detection);
    // AT and ATI are spoken alike by every model: the first one asks.
    CPhoneCardBase* const speaker = models.empty() ? nullptr : models.front().get();
    for (const int rate : kDetectRates) {
        if (!port) {
            port = std::make_unique<CComPortBase>(path, rate);
        } else {
            port->SetBaudRate(rate);
            // Whatever the line carried at the other rate means nothing at this one.
            port->SetLineState(LineState_t::SETTLED);
        }
        const bool opened = port->Open() == 1;
        if (port->IsBusy() == 1) {
            // Another program's port: not a byte, not a setting.
            record.bBusy = true;
            record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
            break;
        }
        if (!opened || speaker == nullptr) {
            continue;
        }
        record.bOpened = true;
        // Only to switch echo off: the answer is judged like AT's, so that it
        // cannot be left over for the AT exchanges that follow.
        Exchange(*speaker, *port, "ATE0\r\n", &CPhoneCardBase::OnGetAtCmdRsp, kEchoOffPasses);
        if (!CCheckManager::RunComCmdAT(speaker, port.get()) || !CCheckManager::RunComCmdAT(speaker, port.get())) {
            continue;
        }
        // Its verdict only says whether the first model matched; the answer is what counts.
        CCheckManager::RunComCmdATI(speaker, port.get());
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
        CCheckManager::RunComCmdGetSerialNumber(found, port.get());
        // Without a SIM card there is no signal worth asking for.
        if (CCheckManager::RunComCmdGetSmsCardNumber(found, port.get())) {
            CCheckManager::RunComCmdGetSignalStrength(found, port.get());
        }
        CopyField(record.szSmsCardNumber, found->GetSmsCardNumber());
        CopyField(record.szSerialNumber, found->GetSerialNumber());
        CopyField(record.szSignal, found->GetSignalStrength());
        // From now on a modem that stops answering is given up on at once.
        ChangeState(path, [](PortState& state) { state.answered = true; });
        return record;
    }
    port.reset();  // nothing recognised: let go of it at once
    return record;
}

// The progress line of a scan on the menu's terminal.
void ShowScanProgress(std::size_t done, std::size_t total)
{
    char line[128];
    std::snprintf(line, sizeof line, Lang::SCAN_PROGRESS, static_cast<unsigned>(total), static_cast<unsigned>(done));
    CColorCout::WriteProgress(line);
}

// The device paths that `ls pattern` lists, in its order.
void AppendListedPorts(const char* command, std::vector<std::string>& ports)
{
    for (const std::string& line : SplitStringByChar(cmd_system(command), '\n')) {
        if (line.find("dev") != std::string::npos) {
            ports.push_back(line);
        }
    }
}

}  // namespace

std::string cmd_system(const char* cmd)
{
    std::string out;
    FILE* const pipe = popen(cmd, "r");
    if (pipe == nullptr) {
        return out;
    }
    char buf[1024];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
        out += buf;
    }
    pclose(pipe);
    return out;
}

std::string GetPortId(const std::string& path)
{
    const std::string::size_type at = path.find("tty");
    return at == std::string::npos ? path : path.substr(at + 3);
}

std::vector<std::string> CCheckManager::GetAllComPort()
{
    std::vector<std::string> ports;
    AppendListedPorts("ls /dev/ttyUSB* 2> /dev/null", ports);
    AppendListedPorts("ls /dev/ttyAMA* 2> /dev/null", ports);
    // On-board UARTs: listed whether or not they exist, unless set.ini says
    // they have nothing attached (a silent one costs a scan its whole bound).
    if (g_nFixedPorts != 0) {
        ports.push_back("/dev/ttyS0");
        ports.push_back("/dev/ttyS1");
    }
    return ports;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectDevices(const std::vector<std::string>& ports)
{
    g_comVec.clear();
    // The ports of an earlier pass go first: this pass takes them again.
    ReleasePorts();
    // A new run: what earlier runs found out about the modems is forgotten.
    {
        const std::lock_guard<std::mutex> lock(g_portStateMutex);
        g_portStates.clear();
    }
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

bool CCheckManager::ModemStoppedAnswering(const std::string& path)
{
    return StateOf(path).stopped;
}

std::string CCheckManager::ExchangeFailureReason(const std::string& path, CPhoneCardBase& model,
                                                 const CComPortBase* port, const std::string& stoppedText)
{
    if (ModemStoppedAnswering(path)) {
        return stoppedText;
    }
    const std::string modemError = model.GetErrorMessage();
    if (!modemError.empty()) {
        return modemError;
    }
    if (port != nullptr && port->IsComError()) {
        return port->GetErrorMsg();
    }
    return GetSmsCodeChineseStr(SMS_DEVICE_NOT_AT);
}

void CCheckManager::ReleasePorts()
{
    m_heldPorts.clear();
}

CCheckManager::WorkPorts_t::WorkPorts_t() = default;
CCheckManager::WorkPorts_t::~WorkPorts_t() = default;
CCheckManager::WorkPorts_t::WorkPorts_t(WorkPorts_t&&) noexcept = default;

CCheckManager::WorkPorts_t CCheckManager::TakeWorkPorts(const std::vector<ComPortBaseInfo_t>& records)
{
    WorkPorts_t work;
    std::map<std::string, std::size_t> slotOf;
    for (const ComPortBaseInfo_t& record : records) {
        const auto found = slotOf.emplace(record.strPortName, work.ports.size());
        if (found.second) {
            const auto held = m_heldPorts.find(record.strPortName);
            work.ports.push_back(held == m_heldPorts.end() ? nullptr : std::move(held->second));
        }
        work.paths.push_back(record.strPortName);
        work.slot.push_back(found.first->second);
    }
    // Ports the workflow does not use are given back to other programs now.
    ReleasePorts();
    return work;
}

void CCheckManager::RunOnPorts(const std::vector<ComPortBaseInfo_t>& records,
                               const std::function<void(std::size_t, std::unique_ptr<CComPortBase>&)>& work,
                               const std::function<void(std::size_t)>& done)
{
    WorkPorts_t ports = TakeWorkPorts(records);
    CPortWorkers workers(ports.paths, [&](std::size_t i) { work(i, ports.Of(i)); });
    for (std::size_t i = 0; i < records.size(); ++i) {
        workers.WaitFor(i);
        if (done) {
            done(i);
        }
    }
}

bool CCheckManager::TakeWorkPort(ComPortBaseInfo_t& record, std::unique_ptr<CComPortBase>& port)
{
    if (port && port->IsOpened() == 1) {
        return true;  // held since the scan
    }
    const int rate = record.bBusy ? kDetectRates[0] : record.nBaudRate;
    port = std::make_unique<CComPortBase>(record.strPortName, rate, g_nBusyWaitSec * 1000);
    if (port->IsBusy() == 1) {
        record.bBusy = true;
        record.nBusyPid = static_cast<int32_t>(port->GetBusyPid());
        port.reset();
        return false;
    }
    if (record.bBusy) {
        // The scan could not look at it: now that it is ours, it is examined
        // as the scan would have done.
        const bool inTable = record.bInTable;
        record = RecordFromDetection(ExaminePort(record.strPortName, port));
        record.bInTable = inTable;
    }
    return true;
}

std::string CCheckManager::PortBusyText(int32_t pid, bool catalogue)
{
    if (catalogue) {
        return pid > 0 ? Lang::PORT_BUSY_HELD_BY + std::to_string(pid) : std::string(Lang::PORT_BUSY);
    }
    return pid > 0 ? "port busy: held by process " + std::to_string(pid) : std::string("port busy");
}

// ---- the exchanges of the command table

bool CCheckManager::RunComCmdAT(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::Open, &CPhoneCardBase::GetATCmd, &CPhoneCardBase::OnGetAtCmdRsp, 10);
}

bool CCheckManager::RunComCmdATI(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetAtiCmd,
                         &CPhoneCardBase::OnGetAtiCmdRsp, 1400);
}

bool CCheckManager::RunComCmdGetSerialNumber(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::Open, &CPhoneCardBase::GetIMEI_Cmd, &CPhoneCardBase::OnGetIMEI_Cmd,
                         5);
}

bool CCheckManager::RunComCmdGetSmsCardNumber(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetIMSI_Cmd,
                         &CPhoneCardBase::OnGetIMSI_CmdRsp, 5);
}

bool CCheckManager::RunComCmdGetSignalStrength(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetSignalStrengthCmd,
                         &CPhoneCardBase::OnGetSignalStrengthCmdRsp, 5);
}

bool CCheckManager::RunComCmdQuerySMSC(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetQuerySmsCenterCmd,
                         &CPhoneCardBase::OnGetQuerySmsCenterCmdRsp, 1400);
}

bool CCheckManager::RunComCmdSetPduMode(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::SetSmsPDUModeCmd,
                         &CPhoneCardBase::OnSetSmsPduModeCmdRsp, 1400);
}

bool CCheckManager::RunComCmdSetRecvSmsCompatibleMode(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetRecvSmsCompatibleModeCmd,
                         &CPhoneCardBase::OnGetRecvSmsCompatibleModeCmdRsp, 1400);
}

bool CCheckManager::RunComCmdReadAllSmsToPhone(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetReadAllSmsCmd,
                         &CPhoneCardBase::OnReadAllSmsCmdRsp, 1200);
}

bool CCheckManager::RunComCmdReadME_Sms(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetReadSmsOnMeCmd,
                         &CPhoneCardBase::OnGetReadSmsOnMeCmd, 5);
}

bool CCheckManager::RunComCmdReadSM_Sms(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetReadSmsOnSmCmd,
                         &CPhoneCardBase::OnGetReadSmsOnSmCmd, 5);
}

bool CCheckManager::RunComCmdDelAllSms(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetDelAllSmsCmd,
                         &CPhoneCardBase::OnDelAllSmsCmdRsp, 1400, true);
}

bool CCheckManager::RunComCmdDelSms(CPhoneCardBase* model, CComPortBase* port, int index)
{
    if (!PortReady(model, port, PortNeed::AlreadyOpen)) {
        return false;
    }
    const std::string command = model->GetDelSmsCmd(index);
    return !command.empty() && Exchange(*model, *port, command, &CPhoneCardBase::OnDelSmsCmdRsp, 100) == RSP_OK;
}

bool CCheckManager::RunComCmdGetClock(CPhoneCardBase* model, CComPortBase* port)
{
    return ModelExchange(model, port, PortNeed::AlreadyOpen, &CPhoneCardBase::GetClockCmd,
                         &CPhoneCardBase::OnGetClockCmdRsp, 5);
}

bool CCheckManager::RunComCmdSendPduLen(CPhoneCardBase* model, CComPortBase* port, const std::string& lenCmd)
{
    return PortReady(model, port, PortNeed::AlreadyOpen) &&
           Exchange(*model, *port, lenCmd, &CPhoneCardBase::OnSendPduSmsLenCmdRsp, 1400) == RSP_OK;
}

bool CCheckManager::RunComCmdSendPduContext(CPhoneCardBase* model, CComPortBase* port, const std::string& body)
{
    return PortReady(model, port, PortNeed::AlreadyOpen) &&
           Exchange(*model, *port, body, &CPhoneCardBase::OnSendPduSmsContextCmdRsp, 1400) == RSP_OK;
}

bool CCheckManager::RunComCmdReadNextSms(CPhoneCardBase* model, CComPortBase* port)
{
    // The command is taken from the model only once the port is ready: taking
    // it removes the message from the model's pending list.
    return PortReady(model, port, PortNeed::AlreadyOpen) &&
           Exchange(*model, *port, model->GetReadNextSmsCmd(), &CPhoneCardBase::OnReadNextSmsCmdRsp, 100) == RSP_OK;
}

void CCheckManager::RunComCmdInitPhone(CPhoneCardBase* model, CComPortBase* port)
{
    if (!PortReady(model, port, PortNeed::Open)) {
        return;
    }
    for (const std::string& command : model->GetInitAtCmd()) {
        if (port->IsOpened() != 1) {
            continue;
        }
        // An error stops the sequence; a command left without a verdict does not.
        if (Exchange(*model, *port, command, &CPhoneCardBase::OnInitAtCmdRsp, 5) == RSP_ERROR) {
            return;
        }
    }
}
