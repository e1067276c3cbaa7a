#include "CCheckManager.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "Lang.h"

std::vector<DeviceBaseComInfo> CCheckManager::g_comVec;

CCheckManager::CCheckManager() = default;
CCheckManager::~CCheckManager() = default;

void CCheckManager::InitConsoleSize()
{
    if (geteuid() == 0) {
        CComPortBase::ResetAllComPort();
        return;
    }
    std::cout << std::endl;
    CColorCout::CoutRedMessage(Lang::NEED_ROOT);
    std::cout << std::endl;
    std::exit(1);
}

void CCheckManager::loadSetting()
{
    // Before any worker starts: the lines cannot mix with anyone's output.
    for (const SettingFinding_t& finding : LoadSettings({"set.ini", SYSTEM_SETTINGS_PATH})) {
        std::cerr << SettingWarningLine(finding) << "\n";
    }
    std::cerr.flush();
}

std::string CCheckManager::SettingWarningLine(const SettingFinding_t& finding)
{
    std::string line = finding.file;
    if (finding.line > 0) {
        line += ":" + std::to_string(finding.line);
    }
    line += ": ";
    if (!finding.key.empty()) {
        line += finding.key + "=" + finding.value + ": ";
    }
    line += Lang::SETTING_PROBLEMS[finding.problem];
    if (!finding.valueUsed.empty()) {
        line += Lang::SETTING_VALUE_USED + finding.valueUsed;
    }
    return line;
}

int CCheckManager::makeSleep(int ms)
{
    // A negative count would turn into a sleep of about 70 minutes.
    const useconds_t usec = ms > 0 ? static_cast<useconds_t>(ms) * 1000u : 0u;
    return usleep(usec);
}

void CCheckManager::OnAbout()
{
    std::cout << Lang::VERSION_PREFIX << __DATE__ << " " << __TIME__ << " " << __VERSION__
              << std::endl;
}

void CCheckManager::PrintHelpInfo()
{
    CColorCout::CoutGreenMessage(Lang::HELP_BANNER);
    std::cout << "\n\n";
    for (const char* line : Lang::HELP_LINES) {
        std::cout << line << "\n";
    }
    std::cout.flush();
}
