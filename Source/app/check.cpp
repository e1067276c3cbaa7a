#include "CCheckManager.h"
#include "RunMode.h"

int main(int argc, char** argv)
{
    CCheckManager manager;
    manager.InitConsoleSize();  // does not return unless running as root
    manager.loadSetting();

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
        manager.OnCmdSMS(mode.first);
        break;
    case RUN_PDU_TEST:
        manager.OnCmdPduTest(mode.first, mode.second);
        break;
    case RUN_CMD_PARAMS:
        manager.OnCmdParams(argc, argv);
        break;
    }
    return 0;
}
