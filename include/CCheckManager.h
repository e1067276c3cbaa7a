#ifndef TARNEL_CCHECKMANAGER_H
#define TARNEL_CCHECKMANAGER_H

// The controller: owns the device table, the status line and the send
// results, and runs every workflow. One instance lives on main's stack.

#include <string>
#include <vector>

#include "SendSmsResult.h"
#include "basic.h"

class CPhoneCardBase;
class CComPortBase;
enum SMS_CODE_ENUM : int;  // PhoneCardBase.h

class CCheckManager
{
public:
    CCheckManager();
    ~CCheckManager();

    // ---- program entry, settings (CCheckManager.cpp)
    // Ends the process with status 1 unless running as root; then initialises the port layer.
    void InitConsoleSize();
    // Reads set.ini from the working directory into g_nWinUserSet / g_nWinUserValue.
    void loadSetting();
    int makeSleep(int ms);
    void OnAbout();
    void PrintHelpInfo();

    // ---- detection and command exchanges (CCheckManagerDetect.cpp)

    // ---- device table and menu (CCheckManagerMenu.cpp)
    void Start();
    void PrintAllDevice();
    int PrintBaseMenu();

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
    // Turns a typed port list into records from the device table.
    // Non-empty `text`: one record per item (short names as GetPortId gives
    // them, e.g. "USB0"), in typed order; an item not in the table becomes
    // "/dev/tty<item>" with bInTable false and no SIM number, so it is never
    // sent through. Empty items are skipped: one would name /dev/tty, the
    // user's own terminal. True when at least one item named a detected port.
    // Empty `text`: automatic choice, always true (possibly with no port):
    // the fully detected ports (AT, IMEI, signal and SIM number), else those
    // answering AT, else every port without a model.
    bool InputToSendPduSmsComPort(const std::string& text, std::vector<ComPortBaseInfo_t>& ports);
    // Asks for the message text once; always true.
    bool InputCheckSendPduSmsContext(std::string& message);
    // An empty message becomes the catalogue's default text; always true.
    static bool InputToSendPduSmsContext(std::string& message);
    // The result code of a port that cannot send: no such port, no AT, no
    // IMEI, no SIM, no signal, checked in this order; SMS_SUCCEED when none applies.
    static SMS_CODE_ENUM GetSmsErrorCode(ComPortBaseInfo_t port);

    // The send engine (CCheckManagerSend.cpp). Sends `message` from every port
    // to every number, port-major, and routes one result per pair through
    // HandleSendSmsResultByMode. Empties m_vecSendResult first.
    void HandleSendPduSmsProcess(const std::vector<ComPortBaseInfo_t>& ports,
                                 const std::vector<std::string>& numbers, const std::string& message);
    // `message` with " " and `stamp` appended, except for 5-character numbers
    // (service numbers such as "10086").
    static std::string AddTimeStampToSmsContextByPhoneNum(std::string message, std::string number,
                                                          std::string stamp);
    // One attempt: centre query, PDU mode, then every send step. True only
    // when every part was accepted; false (reason in phone->GetErrorMessage()
    // or the port's error) otherwise, also when the text has no send steps.
    bool SendPduSmsByPhone(CPhoneCardBase* phone, CComPortBase* port, const std::string& number,
                           const std::string& text);
    // Plain-text mode prints the result at once; otherwise it is collected in m_vecSendResult.
    void HandleSendSmsResultByMode(SendSmsResult_t result);
    void PrintOneSendSmsResultPlainText(const SendSmsResult_t& result);

    // The command-line send mode (CCheckManagerCmd.cpp): 0 port list
    // unusable, 1 phone list invalid, 2 wrong argument count, 3 sent.
    int HandleCmdParams(int argc, char** argv);
    // The text between the first and the last double quote of a value longer
    // than 5 characters that holds one; other values unchanged.
    static std::string RemoveDoubleQuotationMarksOfStringBothSide(std::string s);
    // The results document of m_vecSendResult on standard output.
    void PrintSendPduSmsResultAsJson();
    // The error document of an argument error on standard output: 1 port
    // list, 2 phone list, 3 argument count.
    static void PrintCmdParamsErrorAsJson(int code);

    // ---- reading and clearing (CCheckManagerRead.cpp), sms sub-commands (CCheckManagerSms.cpp)
    void OnCmdSMS(const std::string& subcommand);
    void OnReadAllSms();
    void OnDelAllSms();

    // ---- AT terminal (CCheckManagerTerminal.cpp) and pdu test (CCheckManagerPdu.cpp)
    // "pdu <number> <message>": prints the length commands and PDU bodies of
    // K2210_ME ("NORMAL:"), preceded by MC323_ON's with hex bodies ("MC323:")
    // when VT-MC323 is set. Opens no port.
    void OnCmdPduTest(const std::string& number, const std::string& message);
    void OnInterAtData();

    // ---- the fields, in this order
    std::vector<Win32::CommInfo> m_vecComInfo;   // device table, rebuilt by every scan
    std::string m_strStatus;                     // status line under the table
    std::vector<SendSmsResult_t> m_vecSendResult;  // send results for the JSON report
    bool m_bPlainText = true;                    // print each send result at once

    // ---- process-wide detection list, refilled by every scan
    static std::vector<DeviceBaseComInfo> g_comVec;
};

// ---- pdu test (CCheckManagerPdu.cpp)
// Upper-case hexadecimal, two digits per byte ("abc" -> "616263").
std::string string_to_hex(const std::string& s);

#endif
