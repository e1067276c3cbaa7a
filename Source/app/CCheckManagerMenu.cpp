#include "CCheckManager.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "ConsoleKey.h"
#include "ModemHealth.h"
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
const int MENU_HEALTH = 12;
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

// The AT column: why a port that does not answer does not.
const char* AtStatusText(const Win32::CommInfo& entry)
{
    if (entry.bAtOk) {
        return "OK";
    }
    if (entry.bBusy) {
        return Lang::AT_BUSY;
    }
    return entry.strLockError.empty() ? Lang::NO_AT : Lang::AT_LOCK_ERROR;
}

static_assert(sizeof(Lang::HEALTH_SIM_STATES) / sizeof(Lang::HEALTH_SIM_STATES[0]) == SIM_STATE_FAILURE + 1,
              "a label for every SIM state");
static_assert(sizeof(Lang::HEALTH_REG_STATES) / sizeof(Lang::HEALTH_REG_STATES[0]) == REG_STATE_HOME + 1,
              "a label for every registration state");
static_assert(sizeof(Lang::HEALTH_SIGNAL_QUALITIES) / sizeof(Lang::HEALTH_SIGNAL_QUALITIES[0]) ==
                  SIGNAL_EXCELLENT + 1,
              "a label for every signal quality");

// Whether a character takes two screen columns (East Asian wide: Hangul
// Jamo, CJK, Hangul syllables, compatibility and full-width forms).
bool IsWide(unsigned long cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

// Screen columns of UTF-8 text.
int ScreenWidth(const std::string& text)
{
    int width = 0;
    for (std::string::size_type i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::string::size_type length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        unsigned long cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::string::size_type k = 1; k < length && i + k < text.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        width += IsWide(cp) ? 2 : 1;
        i += length;
    }
    return width;
}

// A left-aligned cell of `width` screen columns: as much of `text` as leaves
// one blank before the next column, then blanks.
std::string ScreenCell(const std::string& value, int width)
{
    std::string text = OneLineText(value);
    while (!text.empty() && ScreenWidth(text) > width - 1) {
        std::string::size_type cut = text.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        text.resize(cut);
    }
    return text + std::string(static_cast<std::string::size_type>(width - ScreenWidth(text)), ' ');
}

// The health cells of one modem after its port and IMEI, in column order.
std::vector<std::string> HealthCells(const ModemHealth_t& health, const std::string& csq)
{
    const int act = HealthTechnology(health);
    const SignalHealth_t signal = ParseSignal(csq);
    return {
        Lang::HEALTH_SIM_STATES[health.sim.state],
        RadioOffUnregistered(health) ? Lang::HEALTH_RADIO_OFF
                                     : Lang::HEALTH_REG_STATES[ConsolidatedRegistration(health)],
        health.operatorKnown ? health.operatorName : Lang::HEALTH_UNKNOWN,
        act >= 0 ? TechnologyName(act) : Lang::HEALTH_UNKNOWN,
        signal.quality == SIGNAL_UNKNOWN
            ? std::string(Lang::HEALTH_UNKNOWN)
            : std::to_string(signal.dbm) + " " + Lang::HEALTH_SIGNAL_QUALITIES[signal.quality],
    };
}

}  // namespace

void CCheckManager::PrintHealthTable(const std::vector<ComPortBaseInfo_t>& records,
                                     const std::vector<ModemHealth_t>& health)
{
    std::string table = "\n" + std::string(Lang::HEALTH_TITLE) + "  " + GetCurTimeStr() + "\n";
    table += std::string(RULE_WIDTH, '=') + "\n";
    for (int i = 0; i < Lang::HEALTH_COLUMNS - 1; ++i) {
        table += ScreenCell(Lang::HEALTH_HEADERS[i], Lang::HEALTH_WIDTHS[i]);
    }
    table += std::string(Lang::HEALTH_HEADERS[Lang::HEALTH_COLUMNS - 1]) + "\n";
    if (records.empty()) {
        table += std::string(RULE_WIDTH, '-') + "\n" + Lang::HEALTH_NO_MODEM + "\n";
    }
    for (std::size_t r = 0; r < records.size() && r < health.size(); ++r) {
        std::vector<std::string> cells = HealthCells(health[r], records[r].strSignal);
        cells.insert(cells.begin(), {ShortPortName(records[r].strPortName),
                                     TrimAllChar(TrimAllChar(records[r].strSerialNumber, '"'), ' ')});
        if (cells[1].empty()) {
            cells[1] = Lang::NO_SERIAL;
        }
        table += std::string(RULE_WIDTH, '-') + "\n";
        for (int i = 0; i < Lang::HEALTH_COLUMNS - 1; ++i) {
            table += ScreenCell(cells[static_cast<std::size_t>(i)], Lang::HEALTH_WIDTHS[i]);
        }
        table += OneLineText(cells.back()) + "\n";
    }
    table += std::string(RULE_WIDTH, '=') + "\n";
    std::fputs(table.c_str(), stdout);
}

void CCheckManager::WaitForMenuKey(const char* prompt)
{
    std::printf("%s\n", prompt);
    std::fflush(stdout);
    if (getchLinux() == KEY_VALUE_CTRL_C) {
        RequestStop(SIGINT);
    }
}

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
        std::printf("%-*s", w.atStatus, AtStatusText(entry));
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
    case KEY_VALUE_NUM_4: return MENU_HEALTH;
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
        case MENU_HEALTH: OnShowHealth(); break;
        default: break;
        }
    }
}
