#include "CCheckManager.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include <INIReader.h>

#include "CColorCout.h"
#include "ComPortBase.h"
#include "Lang.h"
#include "PortDiscovery.h"
#include "basic.h"

std::vector<DeviceBaseComInfo> CCheckManager::g_comVec;

CCheckManager::CCheckManager() = default;
CCheckManager::~CCheckManager() = default;

namespace {

// inih gives a long (64 bits on x86-64, 32 on ARM); clamp so that both
// targets read the same value from the same file.
int32_t ToInt32(long value)
{
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

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
    // A missing or broken file leaves every lookup at its default.
    const INIReader reader("set.ini");
    // Not a timing key: read whatever "def" says. Capped at an hour, so the
    // wait in milliseconds fits any int.
    const long busyWait = reader.GetInteger("comm", "busywait", PORT_BUSY_WAIT_DEFAULT);
    g_nBusyWaitSec = busyWait < 0 ? PORT_BUSY_WAIT_DEFAULT
                                  : static_cast<int32_t>(std::min<long>(busyWait, PORT_BUSY_WAIT_MAX));
    // Not a timing key: read whatever "def" says.
    g_nPartWaitMinutes = ToInt32(reader.GetInteger("comm", "partwait", 0));
    // Not a timing key either: whether ttyS0 and ttyS1 are examined.
    g_nFixedPorts = reader.GetInteger("comm", "fixedports", 1) == 0 ? 0 : 1;
    g_nWinUserSet = ToInt32(reader.GetInteger("comm", "def", 0));
    if (g_nWinUserSet != 1) {
        return;
    }
    for (int n = 1; n <= 10; ++n) {
        g_nWinUserValue[n - 1] = ToInt32(reader.GetInteger("comm", "time" + std::to_string(n), 0));
    }
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
