#include "CCheckManager.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "ConsoleKey.h"
#include "Lang.h"
#include "PortDiscovery.h"
#include "StopSignal.h"
#include "StringUtil.h"

namespace {

// Menu action codes of PrintBaseMenu.
const int MENU_NONE = 0;
const int MENU_REFRESH = 1;
const int MENU_SEND = 4;
const int MENU_READ = 7;
const int MENU_DELETE = 8;
const int MENU_AT_TERMINAL = 10;
const int MENU_QUIT = 11;

const int RULE_WIDTH = 90;
// Shown for an empty port name or baud rate, in both builds.
const char* const UNKNOWN_TEXT = "unknow";

void PrintRule(char c)
{
    std::printf("%s\n", std::string(RULE_WIDTH, c).c_str());
}

// A modem's value as one table line shows it: a stranger's bytes must not
// drive the terminal nor break the line.
std::string OneLineText(const std::string& value)
{
    return StringReplaceChar(StringReplaceChar(ToPrintableText(value), '\n', '?'), '\t', '?');
}

// At most width - 1 bytes of `text`, never part of a UTF-8 character: however
// long a modem's answer, a blank still parts it from the next column, and
// the columns stay aligned.
std::string FitCell(std::string text, int width)
{
    const std::string::size_type room = width > 1 ? static_cast<std::string::size_type>(width - 1) : 0;
    if (text.size() > room) {
        std::string::size_type cut = room;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        text.resize(cut);
    }
    return text;
}

// A left-aligned cell: the value in `width` bytes, or the placeholder in its own width.
void PrintCell(const std::string& value, int width, const char* placeholder, int placeholderWidth)
{
    if (value.empty()) {
        std::printf("%-*s", placeholderWidth, placeholder);
    } else {
        std::printf("%-*s", width, FitCell(OneLineText(value), width).c_str());
    }
}

}  // namespace

void CCheckManager::PrintAllDevice()
{
    OnScanPort();
    // The menu then waits for a key as long as the operator likes: the ports
    // go back to other programs meanwhile, and a workflow takes them again.
    ReleasePorts();
    if (StopRequested()) {
        return;  // an interrupted scan has no table worth drawing
    }
    const Lang::TableCellWidths& w = Lang::TABLE_CELL_WIDTHS;

    std::printf("\n\n");
    std::printf("%*s %s\n", Lang::TABLE_TITLE_WIDTH, Lang::TABLE_TITLE, GetCurTimeStr().c_str());
    PrintRule('=');
    for (int i = 0; i < Lang::TABLE_COLUMNS - 1; ++i) {
        std::printf("%-*s", Lang::TABLE_HEADER_WIDTHS[i], Lang::TABLE_HEADERS[i]);
    }
    std::printf("%s\n", Lang::TABLE_HEADERS[Lang::TABLE_COLUMNS - 1]);

    for (Win32::CommInfo& entry : m_vecComInfo) {
        PrintRule('-');
        PrintCell(ShortPortName(entry.strPortName), w.port, UNKNOWN_TEXT, w.port);
        PrintCell(entry.strBaudRate, w.baud, UNKNOWN_TEXT, w.baud);
        std::printf("%-*s", w.atStatus, entry.bAtOk ? "OK" : entry.bBusy ? Lang::AT_BUSY : Lang::NO_AT);
        // Modems quote some values and pad others; the table keeps them
        // cleaned for the workflows that read it later.
        entry.strSmsCardNumber = TrimAllChar(TrimAllChar(TrimAllChar(entry.strSmsCardNumber, '"'), ' '), '"');
        entry.strSignal = TrimAllChar(TrimAllChar(entry.strSignal, '"'), ' ');
        entry.strSerialNumber = TrimAllChar(TrimAllChar(entry.strSerialNumber, '"'), ' ');
        PrintCell(entry.strSmsCardNumber, w.simValue, Lang::NO_CARD, w.simNone);
        PrintCell(entry.strSignal, w.rssiValue, Lang::NO_SIG, w.rssiNone);
        std::printf("%s\n", entry.strSerialNumber.empty() ? Lang::NO_SERIAL : OneLineText(entry.strSerialNumber).c_str());
    }
    PrintRule('=');
    std::printf("\n\t%s\n", m_strStatus.c_str());
    // Said only where ttys were grouped: elsewhere the table is as it always was.
    std::size_t ttys = 0;
    for (const Win32::CommInfo& entry : m_vecComInfo) {
        ttys += entry.modem.all.size();
    }
    if (ttys > m_vecComInfo.size()) {
        std::printf("\t");
        std::printf(Lang::GROUPED_LINE, static_cast<unsigned>(m_vecComInfo.size()), static_cast<unsigned>(ttys));
        std::printf("\n");
    }
}

int CCheckManager::PrintBaseMenu()
{
    PrintAllDevice();
    if (StopRequested()) {
        return MENU_QUIT;
    }
    std::printf("%s\n", Lang::MENU_LINE);
    std::fflush(stdout);
    switch (getchLinux()) {
    case KEY_VALUE_ENTER: return MENU_REFRESH;
    case KEY_VALUE_NUM_1: return MENU_SEND;
    case KEY_VALUE_NUM_2: return MENU_READ;
    case KEY_VALUE_NUM_3: return MENU_AT_TERMINAL;
    case KEY_VALUE_CHAR_D: return MENU_DELETE;
    case KEY_VALUE_CHAR_Q: return MENU_QUIT;
    // Ctrl-C at the key read ends the run as it does everywhere else.
    case KEY_VALUE_CTRL_C: RequestStop(SIGINT); return MENU_QUIT;
    // Without input no key will ever come: leave as "q" does, rather than
    // scanning and redrawing for ever.
    case KEY_VALUE_INPUT_END: return MENU_QUIT;
    default: break;
    }
    // An unknown key also drops the key after it, so that the rest of a
    // multi-byte key (an arrow sends ESC [ A) does not act.
    return getchLinux() == KEY_VALUE_INPUT_END ? MENU_QUIT : MENU_NONE;
}

void CCheckManager::Start()
{
    // Only a person at a terminal is shown how far a scan has got.
    m_bShowScanProgress = isatty(STDOUT_FILENO) == 1;
    int action = MENU_NONE;
    while (action != MENU_QUIT && !StopRequested()) {
        action = PrintBaseMenu();
        switch (action) {
        // The next turn's table scans: one scan per refresh.
        case MENU_REFRESH: break;
        case MENU_SEND: OnSendPDUSms(); break;
        case MENU_READ: OnReadAllSms(); break;
        case MENU_AT_TERMINAL: OnInterAtData(); break;
        case MENU_DELETE: OnDelAllSms(); break;
        default: break;
        }
    }
}
