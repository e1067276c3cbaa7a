#include "CCheckManager.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "ComPortBase.h"
#include "CreatePhone.h"
#include "Lang.h"
#include "PhoneCardBase.h"
#include "PortDiscovery.h"
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
        if (!alive) {
            return RSP_ERROR;  // the device went away: nothing more will come
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

template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// Examines one port: recognises the modem at the first rate where it answers
// AT twice and its ATI answer names a model, then reads IMEI, SIM number and
// (with a SIM) signal with the recognised model object.
DeviceBaseComInfo ExaminePort(const std::string& path)
{
    DeviceBaseComInfo record;
    CopyField(record.szPortName, path);
    record.bChecked = true;

    const std::vector<std::unique_ptr<CPhoneCardBase>> models = CreateModelList(ModelOrder::Detection);
    // AT and ATI are spoken alike by every model: the first one asks.
    CPhoneCardBase* const speaker = models.empty() ? nullptr : models.front().get();
    for (const int rate : kDetectRates) {
        CComPortBase port(path, rate);
        if (speaker == nullptr || port.Open() != 1) {
            continue;
        }
        // Only to switch echo off: the answer is judged like AT's, so that it
        // cannot be left over for the AT exchanges that follow.
        Exchange(*speaker, port, "ATE0\r\n", &CPhoneCardBase::OnGetAtCmdRsp, kEchoOffPasses);
        if (!CCheckManager::RunComCmdAT(speaker, &port) || !CCheckManager::RunComCmdAT(speaker, &port)) {
            continue;
        }
        // Its verdict only says whether the first model matched; the answer is what counts.
        CCheckManager::RunComCmdATI(speaker, &port);
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
        CCheckManager::RunComCmdGetSerialNumber(found, &port);
        // Without a SIM card there is no signal worth asking for.
        if (CCheckManager::RunComCmdGetSmsCardNumber(found, &port)) {
            CCheckManager::RunComCmdGetSignalStrength(found, &port);
        }
        CopyField(record.szSmsCardNumber, found->GetSmsCardNumber());
        CopyField(record.szSerialNumber, found->GetSerialNumber());
        CopyField(record.szSignal, found->GetSignalStrength());
        // From now on a modem that stops answering is given up on at once.
        ChangeState(path, [](PortState& state) { state.answered = true; });
        return record;
    }
    record.nBaudRate = kUnrecognisedRate;
    return record;
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
    // On-board UARTs: listed whether or not they exist.
    ports.push_back("/dev/ttyS0");
    ports.push_back("/dev/ttyS1");
    return ports;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectDevices(const std::vector<std::string>& ports)
{
    g_comVec.clear();
    // A new run: what earlier runs found out about the modems is forgotten.
    {
        const std::lock_guard<std::mutex> lock(g_portStateMutex);
        g_portStates.clear();
    }
    for (const std::string& path : ports) {
        g_comVec.push_back(ExaminePort(path));
    }
    return g_comVec;
}

std::vector<DeviceBaseComInfo> CCheckManager::DetectAllDevice()
{
    return DetectDevices(GetAllComPort());
}

void CCheckManager::OnScanPort()
{
    m_vecComInfo.clear();
    const std::time_t start = std::time(nullptr);
    const std::vector<DeviceBaseComInfo> records = DetectAllDevice();
    const std::time_t end = std::time(nullptr);
    for (const DeviceBaseComInfo& record : records) {
        Win32::CommInfo entry;
        entry.bAtOk = record.bAtOk;
        entry.bChecked = record.bChecked;
        entry.strPortName = FieldText(record.szPortName);
        entry.strSmsCardNumber = FieldText(record.szSmsCardNumber);
        entry.strBaudRate = std::to_string(record.nBaudRate);
        entry.strSerialNumber = FieldText(record.szSerialNumber);
        entry.strSignal = FieldText(record.szSignal);
        entry.strAtiRsp = FieldText(record.szAtiRsp);
        m_vecComInfo.push_back(entry);
    }
    // Whole seconds plus one: a pass within one second reports 1.
    m_strStatus = std::string(Lang::CHECK_USED) + std::to_string(static_cast<int64_t>(end - start) + 1) +
                  Lang::CHECK_SECONDS;
}

bool CCheckManager::ModemStoppedAnswering(const std::string& path)
{
    return StateOf(path).stopped;
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
