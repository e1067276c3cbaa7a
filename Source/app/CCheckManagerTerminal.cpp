// The AT terminal of menu key 3: typed lines go to one port, its answers to
// the screen.
#include "CCheckManager.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "ComPortBase.h"
#include "Lang.h"
#include "PortDiscovery.h"
#include "StopSignal.h"
#include "StringUtil.h"

namespace {

const char* const CTRL_Z = "\x1a";
const char* const ESCAPE = "\x1b";

// Whole seconds the answer to a line may take; a text ended by Ctrl-Z goes
// out over the network before the modem answers, hence the long limit.
const int64_t ANSWER_LIMIT_S = 10;
const int64_t LONG_ANSWER_LIMIT_S = 120;
// Once something arrived, the rest is collected until this much has passed.
const int64_t ANSWER_SETTLE_S = 2;

const int32_t DEFAULT_BAUD = 115200;
const int32_t OTHER_BAUD = 9600;

// One typed line; false at the end of standard input. The C++ stream state is
// cleared as for every prompt, but the end of a terminal or a pipe stays seen
// by stdio, so the menu after us notices it too.
bool ReadTerminalLine(std::string& line)
{
    std::fflush(stdout);
    line.clear();
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    std::cin.clear();
    return got;
}

// Bytes as they are: a modem may send NUL or other control bytes, which
// printf's "%s" would cut short.
void PrintBytes(const std::string& bytes)
{
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// A monotonic clock in whole seconds: a clock set by NTP mid-wait must
// neither end the wait at once nor stretch it by hours.
int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The rate of a typed answer to the rate question: empty or "1" 115200,
// "2" 9600, 0 for anything else (ask again).
int32_t TypedBaudRate(const std::string& typed)
{
    if (typed.empty() || typed == "1") {
        return DEFAULT_BAUD;
    }
    return typed == "2" ? OTHER_BAUD : 0;
}

}  // namespace

CCheckManager::TerminalLine_t CCheckManager::PrepareTerminalLine(const std::string& typed)
{
    TerminalLine_t line;
    line.text = typed;
    line.bLineEnd = typed.find("\\N") == std::string::npos && typed.find("\\n") == std::string::npos;
    line.bLongWait = typed.find("\\Z") != std::string::npos || typed.find("\\z") != std::string::npos;
    StringReplace(line.text, "\\Z", CTRL_Z);
    StringReplace(line.text, "\\E", ESCAPE);
    StringReplace(line.text, "\\z", CTRL_Z);
    StringReplace(line.text, "\\e", ESCAPE);
    if (!line.bLineEnd) {
        StringReplace(line.text, "\\N", "");
        StringReplace(line.text, "\\n", "");
    }
    return line;
}

void CCheckManager::RunTerminalLine(CComPortBase& port, const TerminalLine_t& line)
{
    // Whatever the modem said unasked (RING, +CMTI, a late answer) is shown
    // before the new line, so that it is not taken for the answer to it.
    std::string data;
    port.ReadAll(data);
    if (!data.empty()) {
        PrintBytes(data);
        std::printf("\n");
    }
    std::printf("- ");
    PrintBytes(line.text);
    std::printf("\n");
    std::fflush(stdout);

    if (!line.text.empty()) {
        port.Write(line.text);
    }
    if (line.bLineEnd) {
        port.Write("\r");
    }

    const int64_t limit = line.bLongWait ? LONG_ANSWER_LIMIT_S : ANSWER_LIMIT_S;
    const int64_t start = NowSeconds();
    int64_t elapsed = 0;
    bool received = false;
    for (;;) {
        makeSleep(0);
        elapsed = NowSeconds() - start;
        data.clear();
        port.ReadAll(data);
        if (!data.empty()) {
            PrintBytes(data);
            std::fflush(stdout);
            received = true;
        }
        if (elapsed >= limit || (received && elapsed > ANSWER_SETTLE_S) || StopRequested()) {
            break;
        }
    }
    if (received) {
        std::printf("\n");
    } else {
        std::printf("(%ld%s\n", static_cast<long>(elapsed), Lang::TERM_NO_DATA);
    }
}

void CCheckManager::OnInterAtData()
{
    std::string line;
    std::string path;
    int32_t baud = 0;
    // Only a detected port will do; an empty line (or the end of input) cancels.
    for (bool found = false; !found;) {
        std::printf("%s", Lang::TERM_INPUT_PORT);
        ReadTerminalLine(line);
        if (line.empty() || StopRequested()) {
            return;
        }
        const Win32::CommInfo* const entry = TableEntryOfItem(line);
        if (entry != nullptr) {
            path = entry->strPortName;
            baud = BaudRateOf(entry->strBaudRate);
            found = true;
        }
    }

    std::printf("%s%s\n", Lang::TERM_PORT, path.c_str());
    // End of input reads as an empty line here, which is the default rate.
    while (baud == 0) {
        std::printf("%s", Lang::TERM_INPUT_BAUD);
        ReadTerminalLine(line);
        baud = TypedBaudRate(line);
    }
    std::printf("%s%d\n", Lang::TERM_BAUDRATE, static_cast<int>(baud));

    CComPortBase port(path, baud);
    if (port.Open() != 1) {
        std::printf("%s\n", Lang::TERM_OPEN_FAILED);
        // Who or what stands in the way, where that is known.
        if (port.IsBusy() == 1) {
            std::printf("%s\n", PortBusyText(static_cast<int32_t>(port.GetBusyPid()), true).c_str());
        } else if (!port.GetLockError().empty()) {
            std::printf("%s\n", port.GetLockError().c_str());
        }
        return;
    }
    std::printf("%s\n", Lang::TERM_OPEN_SUCCESS);

    for (;;) {
        std::printf("%s", Lang::TERM_INPUT_MESSAGE);
        // The end of input ends the terminal as "exit" does; the menu then
        // sees it as well and ends the program.
        if (!ReadTerminalLine(line) || line == "exit" || line == "EXIT" || StopRequested()) {
            break;
        }
        RunTerminalLine(port, PrepareTerminalLine(line));
    }
    port.Close();
}
