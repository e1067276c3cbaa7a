// The command exchange and the table of the controller's exchanges: every
// RunComCmd wrapper is one row run by RunExchange.
#include "CommandExchange.h"

#include <map>
#include <mutex>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "ModemWork.h"
#include "PhoneCardBase.h"
#include "StopSignal.h"
#include "basic.h"

namespace {

// Extra pause of the delete-all exchange after each undecided read.
const int64_t kDelAllPauseUsec = 100000;
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

// Guards g_portStates and g_inputSinks: one worker per port may run exchanges at once.
std::mutex g_portStateMutex;
std::map<std::string, PortState> g_portStates;
// The watched ports' sinks by device path (WatchPortInput).
std::map<std::string, PortInputSink_t> g_inputSinks;

PortInputSink_t SinkOf(const std::string& path)
{
    const std::lock_guard<std::mutex> lock(g_portStateMutex);
    const auto it = g_inputSinks.find(path);
    return it == g_inputSinks.end() ? PortInputSink_t() : it->second;
}

// Input read outside any answer: a watched port's goes to its sink.
void HandOver(const PortInputSink_t& sink, const std::string& text)
{
    if (sink && !text.empty()) {
        sink(text);
    }
}

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

bool PortReady(CPhoneCardBase* model, CComPortBase* port, PortNeed_t need)
{
    if (model == nullptr || port == nullptr) {
        return false;
    }
    return need == OPENS_PORT ? port->Open() == 1 : port->IsOpened() == 1;
}

// Writes `command` to ports.front() and hands the growing answer to
// `row.judge` after every round of read passes until it gives a verdict or
// `row.passes` nominal pass lengths have gone by on the monotonic clock,
// however many pieces the answer comes in. With `row.elsewhere`, the other
// ports are read in the same round and an RSP_OK of `row.elsewhere` on one's
// input ends the exchange (`answeredOn`: that port's index, else 0). Returns
// RSP_OK, RSP_ERROR (also when the command could not be written or the device
// failed), or RSP_MORE when time ran out; `heard` tells whether any byte came
// back on ports.front(). What the command's port reads unasked, before the
// command and inside its answer, goes to `sink` when the port is watched.
int Converse(CPhoneCardBase& model, const std::vector<CComPortBase*>& ports, const std::string& command,
             const ExchangeRow_t& row, const PortInputSink_t& sink, bool& heard, std::size_t& answeredOn)
{
    heard = false;
    answeredOn = 0;
    if (StopRequested() && !row.afterStop) {
        return RSP_ERROR;  // the run is ending: no new command
    }
    CComPortBase& port = *ports.front();
    const std::vector<CComPortBase*> listened =
        row.elsewhere != nullptr ? ports : std::vector<CComPortBase*>{&port};
    // Unsolicited lines and the rest of an abandoned answer are no part of
    // this one: dropped, or handed to the port's watch.
    if (sink) {
        std::string unasked;
        port.TakeQueuedInput(unasked);
        HandOver(sink, unasked);
    } else {
        port.DiscardInput();
    }
    for (std::size_t i = 1; i < listened.size(); ++i) {
        if (listened[i] != nullptr) {
            listened[i]->DiscardInput();
        }
    }
    if (port.Write(command) != 1) {
        return RSP_ERROR;
    }
    const int64_t deadline = MonotonicUsec() + static_cast<int64_t>(row.passes) * ReadPassUsec();
    std::vector<PortInput_t> inputs;
    for (;;) {
        ReadEachPortOnce(listened, deadline, inputs);
        const PortInput_t& own = inputs.front();
        heard = heard || !own.input.empty();
        const int verdict = (model.*row.judge)(own.input);
        if (verdict == RSP_OK || verdict == RSP_ERROR) {
            // Announcements may come inside an answer.
            HandOver(sink, own.input);
            return verdict;
        }
        for (std::size_t i = 1; i < inputs.size(); ++i) {
            if (!inputs[i].input.empty() && (model.*row.elsewhere)(inputs[i].input) == RSP_OK) {
                answeredOn = i;
                HandOver(sink, own.input);
                return RSP_OK;
            }
        }
        if (!own.alive || (StopRequested() && !row.afterStop)) {
            HandOver(sink, own.input);
            return RSP_ERROR;  // the device went away, or the run is ending
        }
        if (MonotonicUsec() >= deadline) {
            HandOver(sink, own.input);
            return RSP_MORE;
        }
        if (row.delAllPause) {
            // Deleting a full store takes the modem a while.
            usleep_until2(static_cast<uint64_t>(MonotonicUsec() + kDelAllPauseUsec));
        }
    }
}

// Before a command on a port whose last exchange ended without a verdict:
// waits until a whole pass goes by without input, so that a late answer is
// not taken for the next one, and after an answer that could not be judged
// checks with "AT" that the modem takes commands again.
void Resynchronise(CPhoneCardBase& model, CComPortBase& port, const PortInputSink_t& sink)
{
    const LineState_t state = port.GetLineState();
    if (state == LineState_t::SETTLED) {
        return;
    }
    port.SetLineState(LineState_t::SETTLED);
    for (int i = 0; i < kSettlePasses; ++i) {
        std::string late;
        const bool alive = port.ReadAll(late, MonotonicUsec() + ReadPassUsec()) == 1;
        HandOver(sink, late);
        if (!alive || late.empty()) {
            break;
        }
    }
    if (state == LineState_t::CONFUSED) {
        bool heard = false;
        std::size_t answeredOn = 0;
        Converse(model, {&port}, model.GetATCmd(), ExchangeRow_t{nullptr, &CPhoneCardBase::OnGetAtCmdRsp,
                 kResyncAtPasses, PORT_ALREADY_OPEN}, sink, heard, answeredOn);
    }
}

// The builder of a row whose command the model gives without arguments.
template <std::string (CPhoneCardBase::*Command)() const>
std::string ModelCommand(CPhoneCardBase& model, const ExchangeInput_t& /*input*/)
{
    return (model.*Command)();
}

std::string DeleteAtIndex(CPhoneCardBase& model, const ExchangeInput_t& input)
{
    return model.GetDelSmsCmd(input.index);
}

std::string ReadAtIndex(CPhoneCardBase& model, const ExchangeInput_t& input)
{
    return model.GetReadOneSmsCmd(input.index);
}

// Taking the command removes the message from the model's pending list.
std::string TakeReadNext(CPhoneCardBase& model, const ExchangeInput_t& /*input*/)
{
    return model.GetReadNextSmsCmd();
}

// The registration query of the domain the caller gives as its index.
std::string RegistrationOfDomain(CPhoneCardBase& model, const ExchangeInput_t& input)
{
    return model.GetRegistrationCmd(static_cast<RegDomain_t>(input.index));
}

std::string SetCharsetTo(CPhoneCardBase& model, const ExchangeInput_t& input)
{
    return model.GetSetCharsetCmd(input.text);
}

std::string UssdRequestOf(CPhoneCardBase& model, const ExchangeInput_t& input)
{
    return model.GetUssdRequestCmd(input.text);
}

// ---- the controller's exchanges: command, judge, read passes, port need (and the delete-all pause)
using Model = CPhoneCardBase;
const ExchangeRow_t AT_ROW{ModelCommand<&Model::GetATCmd>, &Model::OnGetAtCmdRsp, 10, OPENS_PORT};
// As long as AT: a modem that answers AT but not ATI costs a scan no more than a silent port.
const ExchangeRow_t ATI_ROW{ModelCommand<&Model::GetAtiCmd>, &Model::OnGetAtiCmdRsp, 10, PORT_ALREADY_OPEN};
const ExchangeRow_t IMEI_ROW{ModelCommand<&Model::GetIMEI_Cmd>, &Model::OnGetIMEI_Cmd, 5, OPENS_PORT};
const ExchangeRow_t SIM_NUMBER_ROW{ModelCommand<&Model::GetIMSI_Cmd>, &Model::OnGetIMSI_CmdRsp, 5,
                                   PORT_ALREADY_OPEN};
const ExchangeRow_t SIGNAL_ROW{ModelCommand<&Model::GetSignalStrengthCmd>, &Model::OnGetSignalStrengthCmdRsp, 5,
                               PORT_ALREADY_OPEN};
const ExchangeRow_t SMS_CENTRE_ROW{ModelCommand<&Model::GetQuerySmsCenterCmd>, &Model::OnGetQuerySmsCenterCmdRsp,
                                   1400, PORT_ALREADY_OPEN};
const ExchangeRow_t PDU_MODE_ROW{ModelCommand<&Model::SetSmsPDUModeCmd>, &Model::OnSetSmsPduModeCmdRsp, 1400,
                                 PORT_ALREADY_OPEN};
const ExchangeRow_t COMPATIBLE_MODE_ROW{ModelCommand<&Model::GetRecvSmsCompatibleModeCmd>,
                                        &Model::OnGetRecvSmsCompatibleModeCmdRsp, 1400, PORT_ALREADY_OPEN};
const ExchangeRow_t LIST_ALL_ROW{ModelCommand<&Model::GetReadAllSmsCmd>, &Model::OnReadAllSmsCmdRsp, 1200,
                                 PORT_ALREADY_OPEN};
const ExchangeRow_t SELECT_ME_ROW{ModelCommand<&Model::GetReadSmsOnMeCmd>, &Model::OnGetReadSmsOnMeCmd, 5,
                                  PORT_ALREADY_OPEN};
const ExchangeRow_t SELECT_SM_ROW{ModelCommand<&Model::GetReadSmsOnSmCmd>, &Model::OnGetReadSmsOnSmCmd, 5,
                                  PORT_ALREADY_OPEN};
const ExchangeRow_t DELETE_ALL_ROW{ModelCommand<&Model::GetDelAllSmsCmd>, &Model::OnDelAllSmsCmdRsp, 1400,
                                   PORT_ALREADY_OPEN, true};
const ExchangeRow_t DELETE_ROW{DeleteAtIndex, &Model::OnDelSmsCmdRsp, 100, PORT_ALREADY_OPEN};
const ExchangeRow_t CLOCK_ROW{ModelCommand<&Model::GetClockCmd>, &Model::OnGetClockCmdRsp, 5, PORT_ALREADY_OPEN};
const ExchangeRow_t SEND_LENGTH_ROW{CallersText, &Model::OnSendPduSmsLenCmdRsp, 1400, PORT_ALREADY_OPEN};
const ExchangeRow_t SEND_BODY_ROW{CallersText, &Model::OnSendPduSmsContextCmdRsp, 1400, PORT_ALREADY_OPEN};
// The health queries answer at once: as long as the other status queries.
const ExchangeRow_t REPORT_ERRORS_ROW{ModelCommand<&Model::GetReportErrorsCmd>, &Model::OnReportErrorsCmdRsp, 5,
                                      PORT_ALREADY_OPEN};
const ExchangeRow_t SIM_STATE_ROW{ModelCommand<&Model::GetSimStateCmd>, &Model::OnGetSimStateCmdRsp, 5,
                                  PORT_ALREADY_OPEN};
const ExchangeRow_t REGISTRATION_ROW{RegistrationOfDomain, &Model::OnGetRegistrationCmdRsp, 5, PORT_ALREADY_OPEN};
const ExchangeRow_t RADIO_STATE_ROW{ModelCommand<&Model::GetRadioStateCmd>, &Model::OnGetRadioStateCmdRsp, 5,
                                    PORT_ALREADY_OPEN};
const ExchangeRow_t OPERATOR_FORMAT_ROW{ModelCommand<&Model::GetOperatorFormatCmd>,
                                        &Model::OnSetOperatorFormatCmdRsp, 5, PORT_ALREADY_OPEN};
const ExchangeRow_t OPERATOR_ROW{ModelCommand<&Model::GetOperatorCmd>, &Model::OnGetOperatorCmdRsp, 5,
                                 PORT_ALREADY_OPEN};
const ExchangeRow_t CHARSET_ROW{ModelCommand<&Model::GetCharsetCmd>, &Model::OnGetCharsetCmdRsp, 5,
                                PORT_ALREADY_OPEN};
// USSD: the form of 7-bit texts is read where a setting chooses it, the
// character set is read and set around the request; the request's own row is
// made per run (RunComCmdUssdRequest), its bound being ussdwait.
const ExchangeRow_t USSD_MODE_ROW{ModelCommand<&Model::GetUssdModeCmd>, &Model::OnGetUssdModeCmdRsp, 5,
                                  PORT_ALREADY_OPEN};
const ExchangeRow_t USSD_CHARSET_ROW{ModelCommand<&Model::GetUssdCharsetCmd>, &Model::OnGetUssdCharsetCmdRsp, 5,
                                     PORT_ALREADY_OPEN};
const ExchangeRow_t SET_CHARSET_ROW{SetCharsetTo, &Model::OnSetCharsetCmdRsp, 5, PORT_ALREADY_OPEN};
const ExchangeRow_t USSD_CANCEL_ROW{ModelCommand<&Model::GetUssdCancelCmd>, &Model::OnUssdCancelRsp, 10,
                                    PORT_ALREADY_OPEN};
const ExchangeRow_t READ_NEXT_ROW{TakeReadNext, &Model::OnReadNextSmsCmdRsp, 100, PORT_ALREADY_OPEN};
const ExchangeRow_t READ_ONE_ROW{ReadAtIndex, &Model::OnReadOneSmsCmdRsp, 100, PORT_ALREADY_OPEN};
// New-message indications: what the modem offers and has set, and setting
// them; putting the modem's own setting back is still written once a stop
// was requested, and has a longer bound: a setting not put back stays on
// the modem after the watch.
const ExchangeRow_t INDICATION_OFFER_ROW{ModelCommand<&Model::GetIndicationOfferCmd>, &Model::OnIndicationOfferRsp,
                                         5, PORT_ALREADY_OPEN};
const ExchangeRow_t INDICATION_SETTING_ROW{ModelCommand<&Model::GetIndicationSettingCmd>,
                                           &Model::OnIndicationSettingRsp, 5, PORT_ALREADY_OPEN};
const ExchangeRow_t SET_INDICATION_ROW{CallersText, &Model::OnSetIndicationRsp, 20, PORT_ALREADY_OPEN, false,
                                       false, nullptr, true};
const ExchangeRow_t SELECT_SR_ROW{ModelCommand<&Model::GetReadSmsOnSrCmd>, &Model::OnGetReadSmsOnSrCmd, 5,
                                  PORT_ALREADY_OPEN};
// The model's initialisation commands in turn, up to 5 passes each, on a port it opens.
const ExchangeSequence_t INIT_SEQUENCE{
    &Model::GetInitAtCmd, {CallersText, &Model::OnInitAtCmdRsp, 5, PORT_ALREADY_OPEN}, OPENS_PORT};

// The wrappers' answer: only a good answer counts.
bool Succeeded(const ExchangeRow_t& row, CPhoneCardBase* model, CComPortBase* port,
               const ExchangeInput_t& input = {})
{
    return RunExchange(row, model, port, input) == RSP_OK;
}

}  // namespace

std::string CallersText(CPhoneCardBase& /*model*/, const ExchangeInput_t& input)
{
    return input.text;
}

int RunExchange(const ExchangeRow_t& row, CPhoneCardBase* model, CComPortBase* port, const ExchangeInput_t& input)
{
    return RunExchange(row, model, std::vector<CComPortBase*>{port}, input);
}

int RunExchange(const ExchangeRow_t& row, CPhoneCardBase* model, const std::vector<CComPortBase*>& ports,
                const ExchangeInput_t& input, std::size_t* answeredOn)
{
    if (answeredOn != nullptr) {
        *answeredOn = 0;
    }
    CComPortBase* const port = ports.empty() ? nullptr : ports.front();
    if (!PortReady(model, port, row.need)) {
        return RSP_ERROR;
    }
    const std::string command = row.build(*model, input);
    if (command.empty()) {
        return RSP_ERROR;
    }
    const std::string& path = port->GetDevPath();
    if (StateOf(path).stopped) {
        return RSP_ERROR;
    }
    const PortInputSink_t sink = SinkOf(path);
    Resynchronise(*model, *port, sink);
    bool heard = false;
    std::size_t answeredAt = 0;
    const int verdict = Converse(*model, ports, command, row, sink, heard, answeredAt);
    if (answeredOn != nullptr) {
        *answeredOn = answeredAt;
    }
    if (verdict == RSP_MORE) {
        port->SetLineState(heard ? LineState_t::CONFUSED : LineState_t::LATE_ANSWER_POSSIBLE);
        if (!heard && !row.silenceIsAnswer) {
            ChangeState(path, [](PortState& state) { state.stopped = state.answered; });
        }
    } else if (answeredAt != 0 && !heard) {
        // The command's own final result may still be on its way.
        port->SetLineState(LineState_t::LATE_ANSWER_POSSIBLE);
    }
    return verdict;
}

void RunSequence(const ExchangeSequence_t& sequence, CPhoneCardBase* model, CComPortBase* port)
{
    if (!PortReady(model, port, sequence.need)) {
        return;
    }
    for (const std::string& command : (model->*sequence.commands)()) {
        // An error stops the sequence; a command left without a verdict does not.
        if (RunExchange(sequence.step, model, port, {command}) == RSP_ERROR) {
            return;
        }
    }
}

void DrainLateAnswers(CComPortBase& port)
{
    // As long as the AT probe waits for its answer: a modem slower than that
    // is taken for a silent one anyway.
    const int64_t end = MonotonicUsec() + static_cast<int64_t>(AT_ROW.passes) * ReadPassUsec();
    bool heard = false;
    std::string late;
    while (MonotonicUsec() < end && !StopRequested() && port.ReadAll(late, end) == 1) {
        heard = heard || !late.empty();
        late.clear();
    }
    // An answer still arriving when the time is up is waited out by the next exchange.
    port.SetLineState(heard ? LineState_t::LATE_ANSWER_POSSIBLE : LineState_t::SETTLED);
}

void WatchPortInput(const std::string& path, PortInputSink_t sink)
{
    const std::lock_guard<std::mutex> lock(g_portStateMutex);
    if (sink) {
        g_inputSinks[path] = std::move(sink);
    } else {
        g_inputSinks.erase(path);
    }
}

void ForgetModemStates()
{
    const std::lock_guard<std::mutex> lock(g_portStateMutex);
    g_portStates.clear();
}

void MarkModemAnswered(const std::string& path)
{
    ChangeState(path, [](PortState& state) { state.answered = true; });
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

// ---- the wrappers: one row each

bool CCheckManager::RunComCmdAT(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(AT_ROW, model, port);
}

bool CCheckManager::RunComCmdATI(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(ATI_ROW, model, port);
}

bool CCheckManager::RunComCmdGetSerialNumber(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(IMEI_ROW, model, port);
}

bool CCheckManager::RunComCmdGetSmsCardNumber(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SIM_NUMBER_ROW, model, port);
}

bool CCheckManager::RunComCmdGetSignalStrength(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SIGNAL_ROW, model, port);
}

bool CCheckManager::RunComCmdQuerySMSC(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SMS_CENTRE_ROW, model, port);
}

bool CCheckManager::RunComCmdSetPduMode(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(PDU_MODE_ROW, model, port);
}

bool CCheckManager::RunComCmdSetRecvSmsCompatibleMode(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(COMPATIBLE_MODE_ROW, model, port);
}

bool CCheckManager::RunComCmdReadAllSmsToPhone(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(LIST_ALL_ROW, model, port);
}

bool CCheckManager::RunComCmdReadME_Sms(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SELECT_ME_ROW, model, port);
}

bool CCheckManager::RunComCmdReadSM_Sms(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SELECT_SM_ROW, model, port);
}

bool CCheckManager::RunComCmdReadSR_Sms(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SELECT_SR_ROW, model, port);
}

bool CCheckManager::RunComCmdGetIndicationOffer(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(INDICATION_OFFER_ROW, model, port);
}

bool CCheckManager::RunComCmdGetIndicationSetting(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(INDICATION_SETTING_ROW, model, port);
}

bool CCheckManager::RunComCmdSetIndication(CPhoneCardBase* model, CComPortBase* port,
                                           const IndicationSetting_t& setting)
{
    return model != nullptr && Succeeded(SET_INDICATION_ROW, model, port, {model->GetSetIndicationCmd(setting)});
}

bool CCheckManager::RunComCmdDelAllSms(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(DELETE_ALL_ROW, model, port);
}

bool CCheckManager::RunComCmdDelSms(CPhoneCardBase* model, CComPortBase* port, int index)
{
    ExchangeInput_t input;
    input.index = index;
    return Succeeded(DELETE_ROW, model, port, input);
}

bool CCheckManager::RunComCmdGetClock(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(CLOCK_ROW, model, port);
}

bool CCheckManager::RunComCmdSendPduLen(CPhoneCardBase* model, CComPortBase* port, const std::string& lenCmd)
{
    return Succeeded(SEND_LENGTH_ROW, model, port, {lenCmd});
}

bool CCheckManager::RunComCmdSendPduContext(CPhoneCardBase* model, CComPortBase* port, const std::string& body)
{
    return Succeeded(SEND_BODY_ROW, model, port, {body});
}

bool CCheckManager::RunComCmdReadNextSms(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(READ_NEXT_ROW, model, port);
}

bool CCheckManager::RunComCmdReadOneSms(CPhoneCardBase* model, CComPortBase* port, int index)
{
    ExchangeInput_t input;
    input.index = index;
    return Succeeded(READ_ONE_ROW, model, port, input);
}

void CCheckManager::RunComCmdInitPhone(CPhoneCardBase* model, CComPortBase* port)
{
    RunSequence(INIT_SEQUENCE, model, port);
}

bool CCheckManager::RunComCmdReportErrors(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(REPORT_ERRORS_ROW, model, port);
}

bool CCheckManager::RunComCmdGetSimState(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(SIM_STATE_ROW, model, port);
}

bool CCheckManager::RunComCmdGetRegistration(CPhoneCardBase* model, CComPortBase* port, RegDomain_t domain)
{
    ExchangeInput_t input;
    input.index = static_cast<int>(domain);
    return Succeeded(REGISTRATION_ROW, model, port, input);
}

bool CCheckManager::RunComCmdGetRadioState(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(RADIO_STATE_ROW, model, port);
}

bool CCheckManager::RunComCmdSetOperatorFormat(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(OPERATOR_FORMAT_ROW, model, port);
}

bool CCheckManager::RunComCmdGetOperator(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(OPERATOR_ROW, model, port);
}

bool CCheckManager::RunComCmdGetCharset(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(CHARSET_ROW, model, port);
}

bool CCheckManager::RunComCmdGetUssdMode(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(USSD_MODE_ROW, model, port);
}

bool CCheckManager::RunComCmdGetUssdCharset(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(USSD_CHARSET_ROW, model, port);
}

bool CCheckManager::RunComCmdSetCharset(CPhoneCardBase* model, CComPortBase* port, const std::string& charset)
{
    return Succeeded(SET_CHARSET_ROW, model, port, {charset});
}

int CCheckManager::RunComCmdUssdRequest(CPhoneCardBase* model, const std::vector<CComPortBase*>& ports,
                                        const std::string& code, int32_t waitSec, std::size_t& answeredOn)
{
    // The reply is the network's, seconds after the OK: the bound is the caller's, in passes.
    const int64_t passes = static_cast<int64_t>(waitSec) * 1000000 / ReadPassUsec() + 1;
    const ExchangeRow_t row{UssdRequestOf,
                            &Model::OnUssdRequestRsp,
                            static_cast<int>(passes),
                            PORT_ALREADY_OPEN,
                            false,
                            true,
                            &Model::OnUssdReplyElsewhereRsp};
    return RunExchange(row, model, ports, {code}, &answeredOn);
}

bool CCheckManager::RunComCmdUssdCancel(CPhoneCardBase* model, CComPortBase* port)
{
    return Succeeded(USSD_CANCEL_ROW, model, port);
}
