#include "CCheckManager.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "Lang.h"
#include "RunMode.h"

std::vector<DeviceBaseComInfo> CCheckManager::g_comVec;

CCheckManager::CCheckManager() = default;
CCheckManager::~CCheckManager() = default;

namespace {

std::string Lowered(const char* text)
{
    std::string s(text);
    for (char& c : s) {
        // tolower is only defined for values of unsigned char (and EOF).
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool OneOf(const std::string& word, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

}  // namespace

RunMode_t ChooseRunMode(int argc, char** argv)
{
    RunMode_t mode;
    if (argc <= 1) {
        mode.kind = RUN_MENU;
        return mode;
    }
    const std::string arg1 = argv[1];
    if (argc == 2) {
        if (OneOf(arg1, {"help", "/?", "-help", "--help", "-h", "--h"})) {
            mode.kind = RUN_HELP;
            return mode;
        }
        if (OneOf(arg1, {"version", "-version", "--version", "v", "-v"})) {
            mode.kind = RUN_VERSION;
            return mode;
        }
    }
    if (arg1.size() == 3 && argc >= 3) {
        const std::string word = Lowered(argv[1]);
        if (word == "sms") {
            mode.kind = RUN_SMS;
            mode.first = Lowered(argv[2]);
            return mode;
        }
        if (word == "pdu" && argc >= 4) {
            mode.kind = RUN_PDU_TEST;
            mode.first = argv[2];
            mode.second = argv[3];
            return mode;
        }
    }
    mode.kind = RUN_CMD_PARAMS;
    return mode;
}

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
