#ifndef TARNEL_LANG_H
#define TARNEL_LANG_H

// Every user-visible text that differs between the two builds. Exactly one
// catalogue (lang/en.cpp or lang/zh.cpp) is linked into a program; a text
// missing from either catalogue is a link error, so both stay complete.
// Texts are UTF-8; widths are byte counts for printf field widths.

#include "Settings.h"

namespace Lang {

// ---- program entry: root check, help, version
extern const char* const NEED_ROOT;
extern const char* const VERSION_PREFIX;  // followed by date, time, compiler version
extern const char* const HELP_BANNER;     // printed in green, no line end
const int HELP_LINE_COUNT = 9;
extern const char* const HELP_LINES[HELP_LINE_COUNT];

// ---- set.ini warnings on standard error, one line each:
// <file>[:<line>]: [<key>=<value>: ]SETTING_PROBLEMS[problem][SETTING_VALUE_USED <value>]
extern const char* const SETTING_PROBLEMS[SETTING_PROBLEM_COUNT];
extern const char* const SETTING_VALUE_USED;

// ---- detection and device table
extern const char* const CHECK_USED;      // status line: CHECK_USED <seconds> CHECK_SECONDS
extern const char* const CHECK_SECONDS;
extern const char* const TABLE_TITLE;     // right-aligned in TABLE_TITLE_WIDTH, then the time
const int TABLE_TITLE_WIDTH = 45;
const int TABLE_COLUMNS = 6;
extern const char* const TABLE_HEADERS[TABLE_COLUMNS];
extern const int TABLE_HEADER_WIDTHS[TABLE_COLUMNS - 1];  // the last header has no width
// Widths of the cells of one device line; a placeholder may have a width of
// its own so that the line stays aligned on screen.
struct TableCellWidths
{
    int port;       // port name or "unknow"
    int baud;       // baud rate or "unknow"
    int atStatus;   // "OK" or NO_AT
    int simValue;
    int simNone;    // NO_CARD
    int rssiValue;
    int rssiNone;   // NO_SIG
};
extern const TableCellWidths TABLE_CELL_WIDTHS;
extern const char* const NO_AT;
extern const char* const AT_BUSY;         // AT status of a port another program holds
extern const char* const AT_LOCK_ERROR;   // of a port whose lock file cannot be made
// The progress line of a scan on the menu's terminal: printf format of the
// number of ports, then of those done.
extern const char* const SCAN_PROGRESS;
extern const char* const GROUPED_LINE;     // under the table when ttys were grouped: modems, ttys
extern const char* const NO_CARD;
extern const char* const NO_SIG;
extern const char* const NO_SERIAL;       // empty serial number
extern const char* const MENU_LINE;

// ---- sending
extern const char* const SEND_INPUT_PHONE;      // green prompt for the receiving numbers
extern const char* const SEND_INVALID_PHONE;    // red, after a rejected number line
extern const char* const SEND_INPUT_PORT;       // green prompt for the ports (send and read)
extern const char* const SEND_INVALID_PORT;     // red, after a rejected port line
extern const char* const SEND_TOO_MANY_TRIES;   // red, after the last rejected line
extern const char* const SEND_INPUT_MESSAGE;    // green prompt for the message text
extern const char* const SEND_DEFAULT_MESSAGE;  // the text sent for an empty message
extern const char* const SEND_TIME_USED;        // followed by seconds and SEND_SECONDS
extern const char* const SEND_SECONDS;
extern const char* const SEND_RESULT_PORT;      // "(T)Port " <port> ...
extern const char* const SEND_RESULT_SEND_TO;   // ... " send to " <number> ...
extern const char* const SEND_RESULT_SUCCESS;   // ... " success."
extern const char* const SEND_RESULT_FAILED;    // ... " failed, reason: " <reason>
// The reason of a port whose modem answered at detection and then went
// silent; the JSON documents give it in English in both builds.
extern const char* const MODEM_STOPPED;
// The reason of a send stopped by Ctrl-C, SIGTERM or SIGHUP; the JSON
// documents give it in English in both builds.
extern const char* const SEND_INTERRUPTED;
// A device that went away mid-send: DEVICE_WENT_AWAY, then, once the parts
// of the message are known, DEVICE_WENT_AWAY_AFTER <accepted>
// DEVICE_WENT_AWAY_OF <parts> DEVICE_WENT_AWAY_PARTS.
extern const char* const DEVICE_WENT_AWAY;
extern const char* const DEVICE_WENT_AWAY_AFTER;
extern const char* const DEVICE_WENT_AWAY_OF;
extern const char* const DEVICE_WENT_AWAY_PARTS;
// The reason of a port another program holds: PORT_BUSY_HELD_BY <pid>, or
// PORT_BUSY when the holder cannot be told. The JSON documents give it in
// English in both builds.
extern const char* const PORT_BUSY_HELD_BY;
extern const char* const PORT_BUSY;

// ---- reading
extern const char* const READ_TIME_USED;     // followed by seconds and READ_SECONDS
extern const char* const READ_SECONDS;
extern const char* const READ_PORT;          // "Port " <port> ...
extern const char* const READ_OK_TOTAL;      // ... " ok, total " <count> READ_ITEMS
extern const char* const READ_ITEMS;
extern const char* const READ_SIM_COUNT;     // green, before the SIM card's count
extern const char* const READ_DEV_COUNT;     // green, before the modem memory's count
extern const char* const READ_COUNT_SUFFIX;  // after either count
extern const char* const READ_FAILED;        // ... " failed."
extern const char* const READ_REASON;        // red, before the reason
extern const char* const READ_ITEM_NO;       // " no. " <i> READ_ITEMS
extern const char* const READ_SEND_TO;       // the sender's number follows
extern const char* const READ_SEND_TIME;
extern const char* const READ_MESSAGE;
// The text of a status report, by the class of its status (GsmStatusClass_t):
// delivered, not yet delivered but still tried, failed.
extern const char* const STATUS_REPORT_TEXTS[3];

// ---- clearing (hidden menu key "d"): READ_PORT <port> ": " CLEAR_MODEM_MEMORY
// <outcome> ", " CLEAR_SIM_CARD <outcome>
extern const char* const CLEAR_CONFIRM;      // green, after the ports; only "y" or "Y" deletes
extern const char* const CLEAR_NOTHING;      // any other answer
extern const char* const CLEAR_MODEM_MEMORY;
extern const char* const CLEAR_SIM_CARD;
extern const char* const CLEAR_DONE;
extern const char* const CLEAR_FAILED;
extern const char* const CLEAR_UNAVAILABLE;  // no model, port not open, storage not selectable

// ---- the menu's read listing: marks after READ_MESSAGE and the text
extern const char* const READ_INCOMPLETE_MARK;  // a long message still missing a part
extern const char* const READ_UNREADABLE_MARK;  // an entry not read whole; what the modem gave follows

// ---- standard error of the command-line modes
// DOCUMENT_NOT_WRITTEN <system's reason> then DOCUMENT_MESSAGES_KEPT <journal
// directory>, DOCUMENT_NOTHING_LOST or DOCUMENT_SEND_RESULTS_LOST
extern const char* const DOCUMENT_NOT_WRITTEN;
extern const char* const DOCUMENT_MESSAGES_KEPT;
extern const char* const DOCUMENT_NOTHING_LOST;
extern const char* const DOCUMENT_SEND_RESULTS_LOST;
// WATCH_NOT_WRITTEN <system's reason> WATCH_NOTHING_MORE_DELETED: sms watch's output failed
extern const char* const WATCH_NOT_WRITTEN;
extern const char* const WATCH_NOTHING_MORE_DELETED;
// JOURNAL_NOT_WRITTEN <directory> ": " <reason> JOURNAL_NOTHING_DELETED <port>
extern const char* const JOURNAL_NOT_WRITTEN;
extern const char* const JOURNAL_NOTHING_DELETED;

// ---- AT terminal
extern const char* const TERM_INPUT_PORT;     // port question; an empty answer cancels
extern const char* const TERM_PORT;           // followed by the device path and a line end
extern const char* const TERM_INPUT_BAUD;     // asked only when the port's rate is unknown
extern const char* const TERM_BAUDRATE;       // followed by the rate and a line end
extern const char* const TERM_OPEN_FAILED;
extern const char* const TERM_OPEN_SUCCESS;
extern const char* const TERM_INPUT_MESSAGE;  // the command prompt, ends in "> "
extern const char* const TERM_NO_DATA;        // "(" <seconds> TERM_NO_DATA

// ---- health table (menu key 4): a title, HEALTH_COLUMNS headers, one line
// per modem. Widths count screen columns (a Chinese character takes two).
extern const char* const HEALTH_TITLE;
const int HEALTH_COLUMNS = 7;
extern const char* const HEALTH_HEADERS[HEALTH_COLUMNS];
extern const int HEALTH_WIDTHS[HEALTH_COLUMNS - 1];  // the last column has no width
// By SimState_t, RegState_t and SignalQuality_t (ModemHealth.h).
extern const char* const HEALTH_SIM_STATES[9];
extern const char* const HEALTH_REG_STATES[7];
extern const char* const HEALTH_SIGNAL_QUALITIES[5];
extern const char* const HEALTH_RADIO_OFF;  // a registration state: the radio is switched off
extern const char* const HEALTH_UNKNOWN;    // an operator, technology or signal not known
extern const char* const HEALTH_NO_MODEM;   // instead of the lines when no modem answered
extern const char* const HEALTH_BACK;       // the prompt for the key back to the menu

}  // namespace Lang

#endif
