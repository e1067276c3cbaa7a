#ifndef TARNEL_CCHECKMANAGER_H
#define TARNEL_CCHECKMANAGER_H

// The controller: owns the device table, the status line and the send
// results, and runs every workflow. One instance lives on main's stack.
//
// Threads: the workflows run one worker per port (PortWorkers.h). The
// controller's fields are written by the main thread only, before the
// workers start or after they are done (sms watch scans again while its
// watchers run: they read none of the fields, CCheckManagerWatch.cpp); a worker gets one ModemWork_t per
// record (a copy of the record, its own model object, and port objects shared
// only with the records naming the same port, which run on the same worker)
// and its own result slot, and writes to standard output only through
// CColorCout (whole lines). Shared while workers run: what the exchanges
// know of each modem (one mutex, CommandExchange.cpp) and standard output
// (one mutex, CColorCout.cpp); the set.ini values and m_bPlainText are only
// read.

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PduLongSms.h"
#include "SendSmsResult.h"
#include "SmsRecv.h"
#include "ModemHealth.h"
#include "ModemGroups.h"
#include "ModemWork.h"
#include "PortRecords.h"
#include "PortSelection.h"
#include "Settings.h"

class CPhoneCardBase;
class CComPortBase;
class SmsJournal;
class CModemLock;
class CWatchLease;
namespace Json { class Value; }  // json/value.h
struct IndicationSetting_t;       // NewMessageIndication.h
enum SMS_CODE_ENUM : int;  // PhoneCardBase.h

class CCheckManager
{
public:
    CCheckManager();
    ~CCheckManager();

    // ---- program entry, settings (CCheckManager.cpp)
    // Ends the process with status 1 unless running as root; then initialises the port layer.
    void InitConsoleSize();
    // Reads ./set.ini, or SYSTEM_SETTINGS_PATH when there is none, into the
    // set.ini values of basic.h (LoadSettings), and writes one line on
    // standard error for everything in the file not taken as written.
    void loadSetting();
    // That line for one finding, in the build's language, without a line end.
    static std::string SettingWarningLine(const SettingFinding_t& finding);
    int makeSleep(int ms);
    void OnAbout();
    void PrintHelpInfo();

    // ---- detection (CCheckManagerDetect.cpp), candidate ports (PortDiscovery.cpp)
    // Detection pass over GetAllComPort(), then the device table and the
    // status line rebuilt from it (ScanPorts).
    void OnScanPort();
    // Detection pass over `paths`, then the device table and the status line.
    void ScanPorts(const std::vector<std::string>& paths);
    // One detection pass over GetAllComPort(): g_comVec is refilled with one
    // record per candidate, in order, and a copy returned.
    std::vector<DeviceBaseComInfo> DetectAllDevice();
    // The detection pass over the given paths (DetectAllDevice passes
    // GetAllComPort()), every port at once on a worker of its own; records in
    // the order of `ports`. Each port is taken for this program first (lock
    // file, flock): one that another program holds is not waited for and is
    // recorded busy, untouched. The ports on which a modem was recognised stay
    // open and held (m_heldPorts, replacing those of an earlier pass) for the
    // workflow that follows; the others are let go. It starts a new run: no
    // port is known to have stopped answering, and only the ports it
    // recognises can stop (see the exchanges). With m_bShowScanProgress a
    // progress line is kept on standard output meanwhile and erased at the end.
    std::vector<DeviceBaseComInfo> DetectDevices(const std::vector<std::string>& ports);
    // Examines one port, on the worker of its path: recognises the modem at
    // the first of DETECT_RATES where it answers AT twice and its ATI answer
    // names a model, then reads IMEI, SIM number and (with a SIM) signal with
    // the recognised model object. The port is taken once and kept across the
    // rates. `port` may hold the port already taken; otherwise it is taken
    // here without waiting for another program. On return `port` holds the
    // port where a modem was recognised, else it is null.
    // `giveUpFd` and `recognisedFd` (-1: none) are the two ends of a pipe
    // shared by the ttys of one modem probed at once: a port that has not
    // answered ATE0 or AT when another writes `recognisedFd` gives up
    // (CComPortBase::SetGiveUpDescriptor), and this one writes it once its
    // modem is recognised.
    static DeviceBaseComInfo ExaminePort(const std::string& path, std::unique_ptr<CComPortBase>& port,
                                         int giveUpFd = -1, int recognisedFd = -1);
    // The ttys `members` of one modem device (or one tty alone), on the
    // device's worker: for ttys of a USB modem (GroupsUsbTtys) the modem's
    // lock (CModemLock, into `lock`) is taken first; when another program
    // holds it, every member is recorded busy and nothing is opened. A modem
    // (or tty) found busy whose holder is a watch of this user's is asked of
    // the watch (within busywait, as TakeWorkPort) and, once lent, probed
    // again; the lease goes into `lease`, to be kept with the ports. A modem
    // of the role table is examined through its primary AT port; once that
    // is recognised its other AT ports are only taken (held[i]) and recorded
    // as the primary's. Otherwise each member that is not a known non-AT
    // port is examined (records[i], held[i]), all at once, those that have
    // not answered giving up once one is recognised. records[i].usb is kept.
    static void ProbeModem(const std::vector<std::string>& paths, const std::vector<std::size_t>& members,
                           std::vector<DeviceBaseComInfo>& records,
                           std::vector<std::unique_ptr<CComPortBase>>& held, std::shared_ptr<CModemLock>& lock,
                           std::shared_ptr<CWatchLease>& lease);
    // One probe of ProbeModem, without asking a watch.
    static void ProbeModemOnce(const std::vector<std::string>& paths, const std::vector<std::size_t>& members,
                               std::vector<DeviceBaseComInfo>& records,
                               std::vector<std::unique_ptr<CComPortBase>>& held, std::shared_ptr<CModemLock>& lock);
    // The paths a scan examines: ListCandidatePorts without the ttyACM
    // devices that are not known modems (IsKnownUsbModem), unless
    // g_nAcmPorts is 1.
    std::vector<std::string> GetAllComPort();
    // Every candidate path, as a port list may name them: ttyUSB*, ttyACM*,
    // then ttyAMA*, in ls order; /dev/ttyS0 and /dev/ttyS1 last, whether or
    // not they exist, unless g_nFixedPorts is 0; one per device.
    static std::vector<std::string> ListCandidatePorts();

    // ---- ports held for a workflow (CCheckManagerHold.cpp)
    // Lets go of every port held since the last scan.
    void ReleasePorts();
    // The port objects of a workflow's records, one per distinct device path
    // (records naming the same port share it, and their worker).
    struct WorkPorts_t
    {
        // By entry of `ports`: the lease on a modem a watch lent (declared
        // first, so that the watch takes the modem back only once everything
        // else is let go; null when none), the modem's lock (let go after the
        // ttys) and its other AT ports, held since the scan or taken with the
        // port.
        std::vector<std::shared_ptr<CWatchLease>> leases;
        std::vector<std::shared_ptr<CModemLock>> locks;
        std::vector<std::string> paths;                    // record i's device path
        std::vector<std::unique_ptr<CComPortBase>> ports;  // by distinct path; null until taken
        std::vector<std::size_t> slot;                     // record i -> its entry of `ports`
        std::vector<std::size_t> lastRecord;               // entry of `ports` -> the last record using it
        std::vector<std::vector<std::unique_ptr<CComPortBase>>> others;
        std::unique_ptr<CComPortBase>& Of(std::size_t record) { return ports[slot[record]]; }
        bool IsLastUse(std::size_t record) const { return lastRecord[slot[record]] == record; }
        WorkPorts_t();
        ~WorkPorts_t();
        WorkPorts_t(WorkPorts_t&&) noexcept;
    };
    // Hands the ports held since the scan to the records that use them and
    // lets go of the rest at once, so other programs may have them.
    WorkPorts_t TakeWorkPorts(const std::vector<ComPortBaseInfo_t>& records);
    // A workflow on every record at once: `work(i, modem)` on a worker per
    // distinct device path, `modem` being record i's unit of work: its port
    // held since the scan (TakeWorkPorts) or none, taken first (TakeWorkPort)
    // where `rule` asks for it, and its model object. A port is closed and
    // let go as soon as `work` returns for the last record naming it, while
    // other ports may still be at work; a worker waiting for a port another
    // program holds therefore holds none itself, so two runs sharing ports
    // never wait on each other. Then `done(i)` on this thread in record
    // order, each as soon as its record and those before it are finished.
    void RunOnPorts(const std::vector<ComPortBaseInfo_t>& records, PortTakeRule_t rule,
                    const std::function<void(std::size_t, ModemWork_t&)>& work,
                    const std::function<void(std::size_t)>& done = {});
    // On the worker of `record`, before its first command: makes `port` the
    // record's open port. A port held since the scan is used as it is, with
    // the modem's other AT ports and lock. Otherwise the modem's lock (a USB
    // modem's, CModemLock, into `lock`) and then its port are taken now,
    // waiting up to g_nBusyWaitSec for another program to let go, and then
    // its other AT ports that no one else holds (into `others`). False when
    // the modem or its port is still held by another program then (`record`
    // says busy, with the holder's PID) or its lock cannot be taken (`record`
    // says why, in strLockError). When a watch holds the modem or port
    // (the holder's PID is a watch of this user's, WatchHandover.h), the
    // watch is asked to lend it first, within the same busywait: its lease
    // goes into `lease` and is to be kept as long as the port. A port the
    // scan found busy is
    // examined once taken, and `record` refilled from what was found (the
    // port stays held only where a modem was recognised). True otherwise,
    // also when the path cannot be opened (`port` is then closed or null).
    // With `sayWaits`, a wait for another program is said on standard error
    // when it begins and when it ends.
    static bool TakeWorkPort(ComPortBaseInfo_t& record, std::unique_ptr<CComPortBase>& port,
                             std::vector<std::unique_ptr<CComPortBase>>& others, std::shared_ptr<CModemLock>& lock,
                             std::shared_ptr<CWatchLease>& lease, bool sayWaits);
    // The reason given for a port another program holds: English for the
    // JSON documents ("port busy: held by process N"), else the catalogue's.
    static std::string PortBusyText(int32_t pid, bool catalogue);
    // Why `record` cannot be used now (Unavailable): its lock error as the
    // port layer gave it, else PortBusyText.
    static std::string PortUnavailableText(const ComPortBaseInfo_t& record, bool catalogue);

    // ---- command exchanges (CommandExchange.cpp)
    // Each wrapper is one row of the exchange table, run by RunExchange
    // (CommandExchange.h, which has the whole contract): true for RSP_OK;
    // false for RSP_ERROR or when time runs out (the wrapper's read count
    // times the nominal pass length, on the monotonic clock). Nothing is
    // written, and false returned, when the model or port is missing or the
    // port is not ready: "opens" wrappers call Open, the others require
    // IsOpened and never open. Once a port that detection recognised lets an
    // exchange run out of time without a single byte, every later exchange on
    // it fails at once, without writing, until the next detection
    // (ModemStoppedAnswering).
    // Trailing comments: whether the wrapper opens the port, and its reads.
    static bool RunComCmdAT(CPhoneCardBase* model, CComPortBase* port);  // opens, 10
    static bool RunComCmdATI(CPhoneCardBase* model, CComPortBase* port);  // 10
    static bool RunComCmdGetSerialNumber(CPhoneCardBase* model, CComPortBase* port);  // opens, 5
    static bool RunComCmdGetSmsCardNumber(CPhoneCardBase* model, CComPortBase* port);  // 5
    static bool RunComCmdGetSignalStrength(CPhoneCardBase* model, CComPortBase* port);  // 5
    static bool RunComCmdQuerySMSC(CPhoneCardBase* model, CComPortBase* port);  // 1400
    static bool RunComCmdSetPduMode(CPhoneCardBase* model, CComPortBase* port);  // 1400
    static bool RunComCmdSetRecvSmsCompatibleMode(CPhoneCardBase* model, CComPortBase* port);  // 1400
    static bool RunComCmdReadAllSmsToPhone(CPhoneCardBase* model, CComPortBase* port);  // 1200
    static bool RunComCmdReadME_Sms(CPhoneCardBase* model, CComPortBase* port);  // 5
    static bool RunComCmdReadSM_Sms(CPhoneCardBase* model, CComPortBase* port);  // 5
    static bool RunComCmdReadSR_Sms(CPhoneCardBase* model, CComPortBase* port);  // 5
    // New-message indications (GetIndicationOffer, GetIndicationSetting of
    // the model), 5 reads each; setting them is still written after a stop
    // request, to put the modem's own setting back.
    static bool RunComCmdGetIndicationOffer(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetIndicationSetting(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdSetIndication(CPhoneCardBase* model, CComPortBase* port, const IndicationSetting_t& setting);
    // 1400 reads with 100 ms (monotonic clock) after each undecided read.
    static bool RunComCmdDelAllSms(CPhoneCardBase* model, CComPortBase* port);
    // Deletes the message at `index` of the selected storage (GetDelSmsCmd,
    // OnDelSmsCmdRsp), 100 reads; false without writing for a negative index.
    static bool RunComCmdDelSms(CPhoneCardBase* model, CComPortBase* port, int index);
    // The modem's clock ("AT+CCLK?"), 5 reads: true when the model took a
    // clock (GetModemClock); a modem without one refuses.
    static bool RunComCmdGetClock(CPhoneCardBase* model, CComPortBase* port);
    // The two steps of sending one PDU part, on an already open port, 1400
    // reads each: `lenCmd` ("AT+CMGS=<n>") until the ">" prompt
    // (OnSendPduSmsLenCmdRsp), then `body` (PDU and Ctrl-Z) until the final
    // answer (OnSendPduSmsContextCmdRsp). Texts are written unchanged; an
    // empty one is not written (false).
    static bool RunComCmdSendPduLen(CPhoneCardBase* model, CComPortBase* port, const std::string& lenCmd);
    static bool RunComCmdSendPduContext(CPhoneCardBase* model, CComPortBase* port, const std::string& body);
    // The next follow-up read of a model that reads one message at a time
    // (GetReadNextSmsCmd / OnReadNextSmsCmdRsp), 100 reads: true when the
    // answer was complete and its message taken.
    static bool RunComCmdReadNextSms(CPhoneCardBase* model, CComPortBase* port);
    // Reads the message at `index` of the selected storage again
    // (GetReadOneSmsCmd / OnReadOneSmsCmdRsp), 100 reads: true when it came
    // whole and took the place of what the last listing showed at that index.
    static bool RunComCmdReadOneSms(CPhoneCardBase* model, CComPortBase* port, int index);
    // The model's initialisation commands in order (opens the port), up to 5
    // reads each through OnInitAtCmdRsp: RSP_ERROR stops the sequence, no
    // verdict goes on with the next command. The caller learns nothing.
    static void RunComCmdInitPhone(CPhoneCardBase* model, CComPortBase* port);
    // The health queries (model operations of PhoneCardBase.h, 5 reads each):
    // true for RSP_OK. Each answer, refusals too, is kept in the model's
    // GetHealth(); a command the model does not have is not written (false).
    static bool RunComCmdReportErrors(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetSimState(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetRegistration(CPhoneCardBase* model, CComPortBase* port, RegDomain_t domain);
    static bool RunComCmdGetRadioState(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdSetOperatorFormat(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetOperator(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetCharset(CPhoneCardBase* model, CComPortBase* port);
    // USSD: the firmware setting that chooses the form of 7-bit texts (where
    // the model has one: nothing is sent otherwise), the character set in
    // force (read, then set by name), the request
    // with its reply waited for up to `waitSec` seconds (the verdict:
    // RSP_OK with a reply, RSP_ERROR, RSP_MORE when none came in time), and
    // the end of the session. The request goes to ports.front(); its reply
    // is taken from whichever of `ports` (the modem's held AT ports) it comes
    // to, `answeredOn` its index.
    static bool RunComCmdGetUssdMode(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdGetUssdCharset(CPhoneCardBase* model, CComPortBase* port);
    static bool RunComCmdSetCharset(CPhoneCardBase* model, CComPortBase* port, const std::string& charset);
    static int RunComCmdUssdRequest(CPhoneCardBase* model, const std::vector<CComPortBase*>& ports,
                                    const std::string& code, int32_t waitSec, std::size_t& answeredOn);
    static bool RunComCmdUssdCancel(CPhoneCardBase* model, CComPortBase* port);
    // True once the modem on `path`, recognised by the last detection pass, let
    // an exchange run out of time without a single byte: the rest of the run's
    // work on it fails at once. Cleared by the next detection pass.
    static bool ModemStoppedAnswering(const std::string& path);
    // Why the exchanges with `model` on the port at `path` failed, most
    // telling first: `stoppedText` when the modem stopped answering, else the
    // model's error answer, else the port's error (when `port` is given),
    // else the short text of code 2.
    static std::string ExchangeFailureReason(const std::string& path, CPhoneCardBase& model,
                                             const CComPortBase* port, const std::string& stoppedText);

    // ---- device table and menu (CCheckManagerMenu.cpp)
    // The interactive menu loop: scan, table, one key, its workflow; until
    // "q" or the end of standard input.
    void Start();
    // Scans (OnScanPort) and prints the device table with the status line.
    // Cleans the SIM number, signal and serial number of the stored entries
    // (quotes and blanks at their ends).
    void PrintAllDevice();
    // The table, the menu line and one key; returns the menu action code
    // (0 nothing, 1 refresh, 4 send, 7 read, 8 delete, 10 AT terminal, 11 quit).
    int PrintBaseMenu();
    // The health table of menu key 4: a line per record (port, IMEI and
    // signal from the record, the rest from `health`, by record index).
    static void PrintHealthTable(const std::vector<ComPortBaseInfo_t>& records,
                                 const std::vector<ModemHealth_t>& health);
    // Prints `prompt` and waits for one key; Ctrl-C at it requests a stop.
    static void WaitForMenuKey(const char* prompt);

    // ---- sending (CCheckManagerSend.cpp), command-line send (CCheckManagerCmd.cpp)
    void OnCmdParams(int argc, char** argv);
    void OnSendPDUSms();

    // Dialogues and port selection shared by the workflows (CCheckManagerPorts.cpp).
    // Each dialogue prompts at most MAX_INPUT_TRY_COUNT times on standard input
    // and reads whole lines; end of input counts as an empty line.

    // Asks for the receiving numbers; true with `numbers` filled when a valid
    // list was typed within the tries, else false after "too many times".
    bool InputCheckSendPduSmsPhoneNumbers(std::vector<std::string>& numbers);
    // The numbers of a typed list (separated by commas, spaces or semicolons;
    // empty items skipped), in typed order with duplicates; empty when any
    // item fails CheckReceiveNumber.
    static std::vector<std::string> SplitUserPhoneNumber(std::string text);
    // Digits only, an optional leading '+', 5..29 characters with the '+'.
    static bool CheckReceiveNumber(const std::string& number);
    // Asks for the ports (the read workflow uses this dialogue too); true with
    // `ports` filled when InputToSendPduSmsComPort accepted a line within the tries.
    bool InputCheckSendPduSmsComPorts(std::vector<ComPortBaseInfo_t>& ports);
    // The entry of `candidates` that one typed port item names: the one whose
    // short name (GetPortId) it is, else the one of the same device as
    // /dev/tty<item> (a link to it, CandidateOfPath); empty when none, and
    // for an empty item.
    static std::string CandidateOfItem(const std::string& item, const std::vector<std::string>& candidates);
    // The candidate a name or path item of a port list names (CandidateOfItem
    // for a name, CandidateOfPath for a path); empty for none and for the other kinds.
    static std::string CandidateOfPortItem(const PortItem_t& item, const std::vector<std::string>& candidates);
    // The paths of `candidates` a scan for a typed port list examines
    // (ParsePortList, PathsToExamine), each once, in the order of
    // `candidates`; none for a list with a bad item.
    static std::vector<std::string> NamedPorts(const std::string& typed, const std::vector<std::string>& candidates);
    // The paths a scan for the items of a port list examines: PathsToExamine
    // over ListCandidatePorts, identity items over GetAllComPort.
    std::vector<std::string> PathsOfItems(const std::vector<PortItem_t>& items);
    // The device-table entry that one typed port item names (CandidateOfItem
    // over the table's paths); null when none.
    const Win32::CommInfo* TableEntryOfItem(const std::string& item) const;
    // A port record filled from a device-table entry; with `recognise`, the
    // model recognised from the entry's ATI answer as the port selection does.
    static ComPortBaseInfo_t RecordFromEntry(const Win32::CommInfo& entry, bool recognise);
    // The same from a detection record, the model recognised.
    static ComPortBaseInfo_t RecordFromDetection(const DeviceBaseComInfo& found);
    // Turns a typed port list (PortSelection.h) into records from the device table.
    // Non-empty `text`: one record per item (short names as GetPortId gives
    // them, e.g. "USB0", or the name of a link to a table port, which stands
    // for that port: TableEntryOfItem), in typed order; an item not in the
    // table becomes "/dev/tty<item>" with bInTable false and no SIM number, so
    // it is never sent through. Empty items are skipped: one would name /dev/tty, the
    // user's own terminal. True when at least one item named a detected port.
    // Empty `text`: automatic choice, always true (possibly with no port):
    // the fully detected ports (AT, IMEI, signal and SIM number), else those
    // answering AT, else every port without a model.
    bool InputToSendPduSmsComPort(const std::string& text, std::vector<ComPortBaseInfo_t>& ports);
    // The command-line modes' scan of the chosen modems: without a port list
    // every port is scanned and `ports` gets GetPortList's; with one (`items`
    // parsed from it) only the named ports are scanned and `ports` gets
    // InputToSendPduSmsComPort's. False, with no port held and `ports` empty,
    // when an item could mean two modems (m_strSelectionError says which).
    bool ScanChosenModems(const std::string& portList, const std::vector<PortItem_t>& items,
                          std::vector<ComPortBaseInfo_t>& ports);
    // Asks for the message text once; always true.
    bool InputCheckSendPduSmsContext(std::string& message);
    // An empty message becomes the catalogue's default text; always true.
    static bool InputToSendPduSmsContext(std::string& message);
    // The result code of a port that cannot send: no such port (not in the
    // table, or detection could not take it), no AT, no IMEI, no SIM, no
    // signal, checked in this order; SMS_SUCCEED when none applies.
    static SMS_CODE_ENUM GetSmsErrorCode(ComPortBaseInfo_t port);

    // The send engine (CCheckManagerSend.cpp). Sends `message` from every port
    // to every number, port-major, and routes one result per pair through
    // HandleSendSmsResultByMode. Empties m_vecSendResult first.
    void HandleSendPduSmsProcess(const std::vector<ComPortBaseInfo_t>& ports,
                                 const std::vector<std::string>& numbers, const std::string& message);
    // The engine's work on one modem, on its worker, with its port already
    // taken (TAKE_FOR_SENDING; none when nothing is to be sent through it):
    // every number in order, one result each, routed through
    // HandleSendSmsResultByMode into `results`. After a stop request no
    // further number is begun, and a modem interrupted mid-send gets an ESC.
    void SendFromPort(ModemWork_t& modem, const std::vector<std::string>& numbers, const std::string& message,
                      std::vector<SendSmsResult_t>& results) const;
    // `message` with " " and `stamp` appended, except for 5-character numbers
    // (service numbers such as "10086").
    static std::string AddTimeStampToSmsContextByPhoneNum(std::string message, std::string number,
                                                          std::string stamp);
    // One attempt: centre query, PDU mode, then the send steps from `next`
    // on; `next` moves past each part the modem accepts. Empty `steps` are
    // asked of the model (GetSendPduSmsCmdArray) after the centre query; the
    // caller keeps them and `next` for a retry, which so resends from the
    // refused part under the same concatenation reference (asking the model
    // again would give the parts a new one) and never resends an accepted
    // part. True only when every part has been accepted; false (reason in
    // phone->GetErrorMessage() or the port's error) otherwise, also when the
    // text has no send steps.
    bool SendPduSmsByPhone(CPhoneCardBase* phone, CComPortBase* port, const std::string& number,
                           const std::string& text, std::vector<PDU_LONG_SMS_Base_t>& steps,
                           std::size_t& next) const;
    // Plain-text mode prints the result at once (one whole line); otherwise it
    // is appended to `collected`, the worker's slot of the result list.
    void HandleSendSmsResultByMode(SendSmsResult_t result, std::vector<SendSmsResult_t>& collected) const;
    static void PrintOneSendSmsResultPlainText(const SendSmsResult_t& result);

    // The command-line send mode (CCheckManagerCmd.cpp): 0 port list
    // unusable, 1 phone list invalid, 2 wrong argument count, 3 sent.
    int HandleCmdParams(int argc, char** argv);
    // A value longer than 5 bytes whose first and last characters are double
    // quotes and which holds no other double quote, without those two; every
    // other value unchanged.
    static std::string RemoveDoubleQuotationMarksOfStringBothSide(std::string s);
    // The results document of m_vecSendResult on standard output.
    void PrintSendPduSmsResultAsJson();
    // The error document of an argument error on standard output: 1 port
    // list, 2 phone list, 3 argument count; with an "error" member saying
    // what was wrong when `error` is not empty.
    static void PrintCmdParamsErrorAsJson(int code, const std::string& error = std::string());

    // ---- reading and clearing (CCheckManagerRead.cpp), sms sub-commands (CCheckManagerSms.cpp)
    // How far the read of one message storage got.
    enum StorageRead_t
    {
        STORAGE_UNAVAILABLE,  // no model, or the modem would not select the storage
        STORAGE_UNREAD,       // selected, but the listing failed or was cut short
        STORAGE_PARTLY_READ,  // listed, but some message was refused or left after the follow-up limit
        STORAGE_READ,         // every message of the storage was listed
    };
    // The storages of one port: modem memory ("ME") and SIM card ("SM").
    struct PortStorages_t
    {
        StorageRead_t me = STORAGE_UNAVAILABLE;
        StorageRead_t sm = STORAGE_UNAVAILABLE;
        StorageRead_t sr = STORAGE_UNAVAILABLE;  // status reports, read only when asked
    };

    // Menu key 2: asks for the ports, prints each port's messages (SIM card
    // before modem memory) and the time used.
    void OnReadAllSms();
    // Hidden menu key "d": asks for ports with the read dialogue, then for a
    // y/N confirmation (anything but "y" or "Y" deletes nothing), then
    // clears both storages of each chosen port and prints what was cleared.
    void OnDelAllSms();
    // The port dialogue of the send workflow (InputCheckSendPduSmsComPorts).
    bool InputReadAllSmsComPort(std::vector<ComPortBaseInfo_t>& ports);
    // Reads every port at once and prints them in list order, each as soon as
    // it and the ports before it are done; a port with neither storage read,
    // or held by another program, gets a red "failed." line with its reason.
    void HandleReadAllSms(const std::vector<ComPortBaseInfo_t>& ports);
    // HandleReadAllSms's work on one modem, on its worker, with its port
    // already taken: read both storages, write the port's lines (or its
    // "failed." line with the reason) to `out`.
    void ReadAndPrintPort(ModemWork_t& modem, std::ostream& out);
    // Lists the storage selected last: PDU mode, the compatible-mode command,
    // then the listing. True when all three succeeded; the model's received
    // list then holds the storage's messages. Models that read one message at
    // a time are then asked for the rest (at most 100 commands of at most 100
    // reads each); that part does not change the result, but `whole` tells
    // whether every follow-up answer was taken (a message not read whole
    // counts as taken: it is kept as an unreadable record) and nothing is
    // left pending.
    bool ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port);
    bool ReadAllSmsByPhoneSM(CPhoneCardBase* phone, CComPortBase* port, bool& whole);
    // One storage of an open port: selects it (ME, SM or SR), lists it, reads again by its index (at most 100) every
    // entry not read whole (RunComCmdReadOneSms; one listing showing an index
    // twice makes the result STORAGE_PARTLY_READ), and puts the messages
    // into `out`, which is left unchanged unless
    // the result is STORAGE_READ or STORAGE_PARTLY_READ (the messages that
    // were read, when some were refused or left after the follow-up limit).
    StorageRead_t ReadStoragePass(CPhoneCardBase* phone, CComPortBase* port, SmsStorage_t storage,
                                  std::vector<SmsRecvStruct_t>& out);
    // The blocks of one list: a rule of 50 '-' before each message and after
    // the last; on standard output, or written to `out`.
    static void PrintRecvSms(std::vector<SmsRecvStruct_t> list);
    static void PrintRecvSms(const std::vector<SmsRecvStruct_t>& list, std::ostream& out);
    // Reads modem memory, then SIM card, of `modem` through its port (taken
    // by the caller), printing nothing: opens the port if it is not (a port
    // the caller holds is open already), sends the model's initialisation
    // commands, then ReadStoragePass for each storage in turn. Messages
    // still missing a part are included, with `complete` false; the parts
    // of a long message in both storages are joined and the message put in
    // the list of its first part's storage; every record names the storage
    // of each part. Nothing is sent without a model or a port. A list is
    // left unchanged when its storage could not be read. Returns how far
    // each storage got. With `sr`, the status-report storage is read last into
    // it (its records name SMS_STORAGE_SR), and the SIM card selected again.
    PortStorages_t GetPortSMS(ModemWork_t& modem, std::vector<SmsRecvStruct_t>& me, std::vector<SmsRecvStruct_t>& sm,
                              std::vector<SmsRecvStruct_t>* sr = nullptr);
    // What read-and-clear did on one port: what it reported and how far it got.
    struct PortReadClear_t
    {
        std::vector<SmsRecvStruct_t> me;  // reported from the modem memory
        std::vector<SmsRecvStruct_t> sm;  // reported from the SIM card
        std::vector<SmsRecvStruct_t> sr;  // reported from the status-report storage (when read)
        std::vector<SmsRecvStruct_t> heldMe;  // left on the modem memory: still arriving
        std::vector<SmsRecvStruct_t> heldSm;  // left on the SIM card: still arriving
        PortStorages_t read;              // how far each listing got
        bool stopped = false;             // a stop request ended the deletes before the last
        // By reported message (me, then sm, then sr): left on the modem by a
        // refused delete or an unknown index (not by a stop request).
        std::vector<bool> left;
        // Every reported message was deleted and nothing was left unreported
        // but messages still arriving: each storage was listed whole (or the
        // modem has no such storage, but at least one was listed), every
        // delete was accepted, every index was known, no stop came.
        bool cleared = false;
    };
    // "sms readclear" on one port. Lists both storages, incomplete long
    // messages included, and reads the modem's clock once when one of those
    // is to be judged. A message still arriving (JudgeSmsReadiness against
    // the board's clock, the modem's and the messages' time stamps, with the
    // limit of g_nPartWaitMinutes) is neither reported nor deleted; every
    // other message listed is reported (incomplete ones with `complete`
    // false). Then each storage that holds reported messages is selected
    // again and exactly their indices are deleted, one command each, so a
    // message that arrived after the listing stays for the next run. A
    // message with an unknown index is not deleted; a refused delete leaves
    // the rest of its message and the run goes on with the next message.
    // StopRequested() is asked before every delete: once it is true nothing
    // more is deleted. A failed or cut listing deletes nothing of its storage.
    // When tarnel first saw a message missing a part is kept in `journal` per
    // SIM card, so that none is held longer than the limit after that. Before
    // the first delete the messages to delete are written to `journal`; when
    // that fails nothing is deleted (a line on standard error says why).
    // The port is taken by the caller; without a port or a model nothing is
    // read or deleted.
    PortReadClear_t ReadAndClearPort(ModemWork_t& modem, SmsJournal& journal);
    // Its two halves. The listing: every storage (SR too with
    // `statusReports`) listed and sorted into what is reported now and what
    // is held, the first sightings kept in `journal`; nothing deleted.
    PortReadClear_t ListReadyMessages(ModemWork_t& modem, SmsJournal& journal, bool statusReports);
    // The deletes of what `result` reports (every storage, by index, as
    // above), setting its "stopped" and "cleared".
    void DeleteReported(ModemWork_t& modem, PortReadClear_t& result);
    // What clearing did to one message storage.
    enum StorageClear_t
    {
        CLEAR_NOT_ASKED,    // the storage was not to be cleared
        CLEAR_UNAVAILABLE,  // no model, the port did not open, or the modem would not select it
        CLEAR_FAILED,       // selected, but the delete-all command was refused or unanswered
        CLEAR_DONE,         // selected and emptied
    };
    struct PortClears_t
    {
        StorageClear_t me = CLEAR_NOT_ASKED;
        StorageClear_t sm = CLEAR_NOT_ASKED;
    };
    // Selects and clears modem memory (when `me`) and SIM card (when `sm`) in
    // turn through the modem's port (taken by the caller), with the model's
    // delete-all command; nothing is sent for an unknown model or a port that
    // does not open (missing or closed).
    PortClears_t ClearPortStorages(ModemWork_t& modem, bool me, bool sm);
    // ClearPortStorages as one answer: true when at least one storage could
    // be selected and every selected one was cleared; false for an unknown
    // model (nothing sent), a port that does not open, or no storage asked for.
    bool DelPortSMS(ModemWork_t& modem, bool me = true, bool sm = true);
    // "sms <sub> [ports]": read, clear or read-and-clear every usable modem,
    // or the modems `portList` names (PortSelection.h; only their ttys are
    // examined), all at once, and print one JSON document (compact for
    // "sread", "sclear", "sreadclear") with the ports in table (or list)
    // order, each with the modem's identity members. A port another program
    // holds, and a named modem that cannot be read, appears with an "error"
    // member saying why and is not counted in "portcount". An unknown
    // sub-command, `extraArguments` (more than a port list), a bad item or one
    // naming two modems touch no port: "check" 0, with an "error" member for
    // the last three.
    void OnCmdSMS(const std::string& subcommand, const std::string& portList = std::string(),
                  bool extraArguments = false);
    // "sms watch [ports]": holds every usable modem (or those `portList`
    // names) until stopped and prints one JSON line per event: "modem" lines
    // ("watched", "back", "busy", "gone") and one "sms" line per message
    // received, each deleted only once its line is out (CCheckManagerWatch.cpp).
    // A bad port list or `extraArguments`: one "error" line, nothing touched.
    void OnSmsWatch(const std::string& portList, bool extraArguments);
    // "scan [ports]" and "sscan [ports]" (`compact`): scans every candidate,
    // or what `portList` names, and prints the scan document: "code",
    // "message" and "modems" (ScanModemObject of each modem, table order; the
    // named ones only with a port list). A bad port list or one naming two
    // modems: code 1, "com port error", an "error" member and no modems;
    // `extraArguments`: code 3, "param count error", nothing touched.
    void OnCmdScan(bool compact, const std::string& portList, bool extraArguments);
    // The port object of one usable modem, read through its port (taken by
    // the caller): the read form lists both storages (GetPortSMS),
    // read-and-clear is ReadAndClearPort, the clear form only clears
    // (DelPortSMS, the delete-all command).
    // Read-and-clear's port object also lists in "held" the messages it left
    // on the modem because a part is still arriving.
    Json::Value SmsPortReport(ModemWork_t& modem, bool read, bool clear, SmsJournal& journal);
    // The usable ports of the device table, in table order: answering AT with
    // IMEI, signal and SIM number all read, and the ports another program
    // held during the scan (bBusy). No fallback.
    void GetPortList(std::vector<ComPortBaseInfo_t>& ports);
    // True for a record GetPortList keeps as usable (not merely busy).
    static bool IsUsablePort(const ComPortBaseInfo_t& info);
    // The port object of a read form: "name", "msgcount" and "msgs" (SIM card
    // messages, then modem memory ones; absent when there are none).
    static Json::Value SmsReadPortToJson(const std::string& portPath, const std::vector<SmsRecvStruct_t>& me,
                                         const std::vector<SmsRecvStruct_t>& sm);
    // One message object: "from", "time", "text" and "storage" ("SIM" or "DEV");
    // "incomplete": true for a message missing a part (or a part shown alone);
    // "kind", "status" and "reference" for a status report; "kind"
    // "undecodable" for a message whose text cannot be read (its data in
    // hex); "kind" "unreadable" and "raw", what the modem gave, for an entry
    // not read whole (as hex, with "rawhex" true, when it is no UTF-8 text).
    static Json::Value SmsToJson(const SmsRecvStruct_t& sms, bool fromSim);

    // ---- USSD (CCheckManagerUssd.cpp)
    // "ussd <code> [ports]" and "sussd" (`compact`): sends the code on every
    // usable modem, or those `portList` names, all at once, and prints one
    // document: "code", "message", "modems" (UssdModemObject of each, table
    // order). A missing code or `extraArguments`, a code other than 1 to 182
    // of 0-9 * #, or a bad port list: the error document, nothing touched.
    void OnCmdUssd(bool compact, const std::string& code, const std::string& portList, bool extraArguments);
    // Whether `code` is a USSD code this program sends: 1 to 182 characters, digits, '*' and '#' only.
    static bool IsUssdCode(const std::string& code);
    // One modem's USSD turn on its open port: health (a locked, failed or
    // busy SIM, or no circuit-switched registration, fails at once), the
    // character set, the request, the session closed after a menu or a
    // timeout, the character set restored. Fills "code", "message",
    // "status", "text" and "dcs" of `object`.
    static void RunUssd(ModemWork_t& modem, const std::string& code, Json::Value& object);

    // ---- AT terminal (CCheckManagerTerminal.cpp) and pdu test (CCheckManagerPdu.cpp)
    // "pdu <number> <message>": prints the length commands and PDU bodies of
    // K2210_ME ("NORMAL:"), preceded by MC323_ON's with hex bodies ("MC323:")
    // when VT-MC323 is set. Opens no port.
    void OnCmdPduTest(const std::string& number, const std::string& message);
    // Menu key 3: asks for a detected port (an empty line cancels), opens it
    // and writes each typed line to it, printing what comes back, until
    // "exit", "EXIT" or the end of standard input; then closes the port.
    void OnInterAtData();

    // One typed line of the terminal, ready to write.
    struct TerminalLine_t
    {
        std::string text;        // what is written before the optional "\r"
        bool bLineEnd = true;    // write "\r" after the text
        bool bLongWait = false;  // wait up to 120 s instead of 10 s for the answer
    };
    // The markers of a typed line: \Z and \z become Ctrl-Z and ask for the
    // long wait, \E and \e become ESC; \N or \n anywhere drops the "\r" and
    // is removed. Everything else is written as typed.
    static TerminalLine_t PrepareTerminalLine(const std::string& typed);
    // Prints what arrived unasked, echoes the line as "- <text>", writes it,
    // and prints the answer until the modem has had more than 2 seconds
    // after its first byte, or the limit (10 s, 120 s for the long wait)
    // has passed without any, which is said in a "no data" line.
    void RunTerminalLine(CComPortBase& port, const TerminalLine_t& line);

    // ---- health (CCheckManagerHealth.cpp)
    // Menu key 4: the health of every modem of the device table, asked at
    // once on every port (HealthOfModems), printed as one table (port, IMEI,
    // SIM state, registration, operator, technology, signal), then one key
    // back to the menu.
    void OnShowHealth();
    // The health of every record, in record order (key 4, and every modem
    // of the scan document that answered AT): what the queries of
    // QueryModemHealth learnt on each port (nothing for a record without a
    // model or a port).
    std::vector<ModemHealth_t> HealthOfModems(const std::vector<ComPortBaseInfo_t>& records);
    // Every health query of one modem on its open port: errors in numbers,
    // SIM state, the three registrations, and where it is registered the
    // operator (long names, then the name and, when that may be UCS-2, the
    // character set); where it is not, the radio state.
    static void QueryModemHealth(CPhoneCardBase* model, CComPortBase* port);
    // The three registration queries.
    static void QueryRegistration(CPhoneCardBase* model, CComPortBase* port);
    // What a send learnt of a port's health: SMS_SUCCEED to go on sending,
    // else the code of every number on the port and what the modem said.
    struct SendHealth_t
    {
        SMS_CODE_ENUM code{};                     // SMS_SUCCEED
        std::string lock;                         // SMS_SIM_LOCKED: the lock's name
        RegState_t registration = REG_STATE_NO_ANSWER;  // SMS_NOT_REGISTERED: the last state
        bool radioOff = false;                    // SMS_NOT_REGISTERED: the radio is off
    };
    // A port detection read no SIM number on is asked why, once ("AT+CPIN?"
    // after the errors in numbers): a lock gives SMS_SIM_LOCKED, a failure
    // SMS_SIM_FAILURE; a busy SIM is waited for (up to 20 s, asked
    // every second) and then its number read again: SMS_SUCCEED with the
    // number in modem.record once it reads, SMS_SIM_BUSY while still busy;
    // SMS_NO_SIM_CARD otherwise.
    static SendHealth_t WhyNoSimNumber(ModemWork_t& modem);
    // Before the first number of a port with a SIM number, after the init:
    // the SIM state (a busy one waited for as above) and the registration.
    // A lock, a failure or a denied registration fail at once; searching or
    // not registered is asked again every second for up to g_nRegWaitSec
    // seconds, then SMS_NOT_REGISTERED, as at once when the radio is off.
    // A modem that refuses every registration query, or whose state cannot
    // be read, is sent from. Every wait ends at once on a stop request.
    static SendHealth_t CheckSendHealth(CPhoneCardBase* model, CComPortBase* port);
    // The reason of a failed SendHealth_t: the code's text and what the
    // modem said, from the catalogue or, for the JSON documents, in English.
    static std::string SendHealthText(const SendHealth_t& health, bool catalogue);
    // Before a USSD request: the SIM as before a send, then the
    // circuit-switched registration once: USSD needs it, and no wait helps a
    // code sent now.
    static SendHealth_t CheckUssdHealth(CPhoneCardBase* model, CComPortBase* port);

    // ---- the fields, in this order
    std::vector<Win32::CommInfo> m_vecComInfo;   // device table, rebuilt by every scan
    std::string m_strStatus;                     // status line under the table
    std::vector<SendSmsResult_t> m_vecSendResult;  // send results for the JSON report
    bool m_bPlainText = true;                    // print each send result at once
    bool m_bSayWaits = false;                    // command-line modes: waits for busy ports on stderr
    // The leases on modems a watch lent to the scan, by the path of the
    // modem's AT port, kept as their locks are; declared before the ports so
    // that the watch is given its modem back only once they are let go.
    std::map<std::string, std::shared_ptr<CWatchLease>> m_heldLeases;
    // Ports recognised by the last scan, held (lock file, flock) by path until
    // a workflow takes them or ReleasePorts; main thread only.
    std::map<std::string, std::unique_ptr<CComPortBase>> m_heldPorts;
    // The locks of the USB modems held with them, by the path of the modem's
    // AT port (modems of one USB device share theirs); main thread only.
    std::map<std::string, std::shared_ptr<CModemLock>> m_heldModemLocks;
    // The modems of the last detection pass (indices into g_comVec).
    std::vector<ModemGroup_t> m_vecModemGroups;
    bool m_bShowScanProgress = false;            // the menu on a terminal: progress line while scanning
    // Why the last port list was refused (a bad item, or one naming two
    // modems); empty when it was not. Set by InputToSendPduSmsComPort.
    std::string m_strSelectionError;

    // ---- process-wide detection list, refilled by every scan
    static std::vector<DeviceBaseComInfo> g_comVec;
};

// ---- pdu test (CCheckManagerPdu.cpp)
// Upper-case hexadecimal, two digits per byte ("abc" -> "616263").
std::string string_to_hex(const std::string& s);

#endif
