#ifndef TARNEL_COMMANDEXCHANGE_H
#define TARNEL_COMMANDEXCHANGE_H

// The command exchange: every command the program sends to a modem goes
// through RunExchange, described by one row (ExchangeRow_t). The RunComCmd
// wrappers of CCheckManager are such rows (CommandExchange.cpp); a new query
// is one more row there.
//
// Threads: exchanges on different ports run at once, one worker per port.
// They share only what is known of each modem by device path (answered in
// the last detection, stopped answering since), guarded by one mutex in
// CommandExchange.cpp.

#include <functional>
#include <string>
#include <vector>

class CPhoneCardBase;
class CComPortBase;

// What an exchange needs of its port before it may write.
enum PortNeed_t
{
    OPENS_PORT,         // opens a closed port
    PORT_ALREADY_OPEN,  // the caller opened it; never opened here
};

// What the caller hands an exchange besides model and port.
struct ExchangeInput_t
{
    std::string text;  // the command of a row built by CallersText
    int index = -1;    // the storage index of a row whose builder takes one
};

// Makes a row's command. Called only once the port is ready, since a
// builder may change the model (the read-next command takes a pending index).
using CommandBuilder_t = std::string (*)(CPhoneCardBase& model, const ExchangeInput_t& input);
// One of the model's answer handlers: the whole answer so far in; RSP_OK,
// RSP_ERROR, or anything else for "read on".
using AnswerJudge_t = int (CPhoneCardBase::*)(std::string);

// One command exchange.
struct ExchangeRow_t
{
    CommandBuilder_t build;    // the command text
    AnswerJudge_t judge;       // judges the growing answer after every read pass
    int passes;                // the time bound, in nominal read passes (ReadPassUsec)
    PortNeed_t need;           // what the port must be before anything is written
    bool delAllPause = false;  // 100 ms more after each undecided read (emptying a full store)
    // A modem may rightly stay silent for the whole bound (a USSD request
    // whose OK waits for the network): running out of time without a byte
    // does not give the modem up.
    bool silenceIsAnswer = false;
    // For an answer that may come on another AT port of the modem (a USSD
    // reply some modems send only to their primary port): judges what each
    // of those ports brought while the command's answer was awaited. Only its
    // RSP_OK counts, as the answer having come there; anything else on those
    // ports is no answer of the command. Null: only the command's port is read.
    AnswerJudge_t elsewhere = nullptr;
    // Puts back what the run changed on the modem: still written once a stop
    // was requested (every other exchange then fails without writing).
    bool afterStop = false;
};

// Where a watched port's unsolicited input goes (WatchPortInput); called on
// the thread that runs the exchange.
using PortInputSink_t = std::function<void(const std::string& text)>;

// The row's command is `input.text`, written as it is.
std::string CallersText(CPhoneCardBase& model, const ExchangeInput_t& input);

// Runs one exchange: writes the row's command, then reads the growing answer
// and hands it to the row's judge after every read pass until RSP_OK or
// RSP_ERROR, or until `row.passes` nominal pass lengths have gone by on the
// monotonic clock, however many pieces the answer comes in. Returns the
// verdict: RSP_OK, RSP_ERROR (also when the command could not be written,
// the device failed or a stop was requested), RSP_MORE when time ran out.
// Returns RSP_ERROR without building or writing anything when the model or
// port is missing or the port is not ready (`row.need`: OPENS_PORT calls Open,
// PORT_ALREADY_OPEN requires IsOpened), and without writing when the command is
// empty (the model has no such command, e.g. for a negative index).
// Input left on the line is dropped before the command, and after the
// answer nothing more is read; on a watched port (WatchPortInput) that
// input, what a resynchronisation reads and the whole answer, judged or not,
// go to the port's sink in arrival order instead, so that no announcement
// inside them is lost. After an exchange on
// the port that ended without a verdict, this one first waits until a whole
// pass goes by without input and, when the abandoned answer held anything,
// until "AT" brings its own "OK". Once a modem that detection recognised
// (MarkModemAnswered) lets an exchange run out of time without a single
// byte, unless its row has silenceIsAnswer, every later exchange on its path
// fails at once, without writing, until ForgetModemStates.
int RunExchange(const ExchangeRow_t& row, CPhoneCardBase* model, CComPortBase* port,
                const ExchangeInput_t& input = {});

// RunExchange with the command written to ports.front() (which must not be
// null), the modem's other held AT ports after it (ModemWork_t::ports). With
// `row.elsewhere` set, their input is dropped before the command is written
// and, while the answer is awaited, each port is read in turn, one pass each
// (ReadEachPortOnce): the exchange ends with RSP_OK as soon as
// `row.elsewhere` accepts what one of them brought. Only ports.front() is
// written to, resynchronised and judged by `row.judge`; a failing other port
// is passed over. When the answer came elsewhere while the command's own port
// had brought nothing yet, its final result may still come: that port is
// left LATE_ANSWER_POSSIBLE, so the next exchange waits it out.
// `answeredOn`, when given, is set to the index in `ports` of the port whose
// input gave the verdict (0 unless the answer came elsewhere).
int RunExchange(const ExchangeRow_t& row, CPhoneCardBase* model, const std::vector<CComPortBase*>& ports,
                const ExchangeInput_t& input = {}, std::size_t* answeredOn = nullptr);

// Several commands of the model's in turn, each run as `step` with the
// command as the caller's text, after the port was made ready as `need` says
// (nothing is sent otherwise). An RSP_ERROR stops the sequence; a command
// left without a verdict does not.
struct ExchangeSequence_t
{
    std::vector<std::string> (CPhoneCardBase::*commands)() const;
    ExchangeRow_t step;  // built by CallersText
    PortNeed_t need;
};
void RunSequence(const ExchangeSequence_t& sequence, CPhoneCardBase* model, CComPortBase* port);

// Before detection speaks to `port` at another line speed, after an exchange
// at the last one ended without its answer: that answer may still come and
// must not be taken for one at the new speed. Reads and drops whatever
// arrives for as long as the AT exchange waits for its answer (its row's
// passes, on the monotonic clock); less when the device fails or a stop is
// requested. Leaves the line state SETTLED, or LATE_ANSWER_POSSIBLE when
// something arrived (the next exchange then waits for a quiet pass).
void DrainLateAnswers(CComPortBase& port);

// From now on the input of the port at `path` that no exchange judges is
// handed to `sink` (see RunExchange); an empty sink ends that. The watch
// registers its ports before the first exchange on them and removes them
// before letting go; only the thread that runs the port's exchanges then
// calls the sink.
void WatchPortInput(const std::string& path, PortInputSink_t sink);

// A new run: no modem is known to have answered or stopped answering.
void ForgetModemStates();
// The modem on `path` was recognised: from now on an exchange on it that runs
// out of time without a byte gives it up for the rest of the run.
void MarkModemAnswered(const std::string& path);

#endif
