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

    // ---- reading and clearing (CCheckManagerRead.cpp), sms sub-commands (CCheckManagerSms.cpp)
    void OnCmdSMS(const std::string& subcommand);
    void OnReadAllSms();
    void OnDelAllSms();

    // ---- AT terminal and pdu test (CCheckManagerTerminal.cpp)
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

#endif
