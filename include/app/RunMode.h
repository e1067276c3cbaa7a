#ifndef TARNEL_RUNMODE_H
#define TARNEL_RUNMODE_H

// The choice of the run mode from the command line, kept apart from the
// modes themselves so that it can be checked without running any of them.

#include <string>

enum RunModeKind_t {
    RUN_MENU,        // no arguments: the interactive menu
    RUN_HELP,        // one help word: the help text
    RUN_VERSION,     // one version word: the version line
    RUN_SMS,         // "sms" (any case), a sub-command and optionally a port list
    RUN_SCAN,        // "scan" or "sscan" (any case), optionally a port list
    RUN_USSD,        // "ussd" or "sussd" (any case), a code and optionally a port list
    RUN_PDU_TEST,    // "pdu" (any case), a number and a message
    RUN_CMD_PARAMS,  // everything else: the command-line send mode
};

struct RunMode_t
{
    RunModeKind_t kind = RUN_MENU;
    std::string first;   // RUN_SMS: the lowered sub-command; RUN_PDU_TEST: argv[2] as given;
                         // RUN_SCAN: the port list as given; RUN_USSD: the code ("" when none)
    std::string second;  // RUN_PDU_TEST: argv[3] as given; RUN_SMS, RUN_USSD: the port list as given
    bool compact = false;          // RUN_SCAN: "sscan"; RUN_USSD: "sussd"
    bool extraArguments = false;   // RUN_SMS, RUN_SCAN, RUN_USSD: more arguments than the mode takes
};

// `argc` counts the program name, as in main. Help and version words are
// recognised (case-sensitively) only as the only argument; "sms" and "pdu"
// only as a 3-character first argument, "scan" and "sscan" as the first
// argument, "ussd" and "sussd" likewise.
// Preconditions: argv[0 .. argc-1] are valid strings.
RunMode_t ChooseRunMode(int argc, char** argv);

#endif
