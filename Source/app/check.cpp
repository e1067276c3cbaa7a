#include <csignal>

#include "CCheckManager.h"
#include "DocumentOutput.h"
#include "RunMode.h"
#include "StopSignal.h"

namespace {

// Runs the mode chosen by the arguments on `manager`.
void RunMode(CCheckManager& manager, int argc, char** argv)
{
    const RunMode_t mode = ChooseRunMode(argc, argv);
    switch (mode.kind) {
    case RUN_MENU:
        manager.Start();
        break;
    case RUN_HELP:
        manager.PrintHelpInfo();
        break;
    case RUN_VERSION:
        manager.OnAbout();
        break;
    case RUN_SMS:
        manager.OnCmdSMS(mode.first, mode.second, mode.extraArguments);
        break;
    case RUN_SCAN:
        manager.OnCmdScan(mode.compact, mode.first, mode.extraArguments);
        break;
    case RUN_USSD:
        manager.OnCmdUssd(mode.compact, mode.first, mode.second, mode.extraArguments);
        break;
    case RUN_PDU_TEST:
        manager.OnCmdPduTest(mode.first, mode.second);
        break;
    case RUN_CMD_PARAMS:
        manager.OnCmdParams(argc, argv);
        break;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    {
        CCheckManager manager;
        manager.InitConsoleSize();  // does not return unless running as root
        // Ctrl-C, SIGTERM and SIGHUP end the run through its own steps: every
        // worker's wait ends, the mode prints what it knows and returns.
        InstallStopSignals();
        // A reader that went away must not end the program before it can
        // say so: the failed write of the document tells it (DocumentOutput.h).
        signal(SIGPIPE, SIG_IGN);
        manager.loadSetting();
        RunMode(manager, argc, argv);
    }  // the controller lets go of every port it still holds
    // The lock files and the ports' settings are seen to at exit (atexit).
    // A document that did not reach its reader is a failure of the run.
    if (StopRequested()) {
        return 128 + StopSignalNumber();
    }
    return DocumentLost() ? 1 : 0;
}

