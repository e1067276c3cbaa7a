// English catalogue.
#include "CodeLabels.h"
#include "Lang.h"

namespace Lang {

// ---- program entry: root check, help, version
const char* const NEED_ROOT = "need root role";
const char* const VERSION_PREFIX = "VER 1.33, COMPILE TIME: ";
const char* const HELP_BANNER = "--------     Velta Software(www.velta-software.example)  ---------";
const char* const HELP_LINES[HELP_LINE_COUNT] = {
    "1. run tarnel ",
    "2. view help: tarnel help ",
    "3. send sms by all devices: tarnel phone1,phone2,... \"message\"",
    "4. send sms by special port: tarnel port1,port2,... phone1,phone2,... \"message\"",
    "Causion: if message has space, need double quotes(\"), if message has double quotes(\"), use \\\" ",
    "Ex1: use /dev/ttyUSB3 send to 1830000000 message \"Velta welcome to use\" input:",
    "Cmd1: tarnel USB3 18300000000 \"Velta welcome to use\"",
    "Ex2: use /dev/ttyUSB3,/dev/ttyUSB4 send to 1830000000 message \"Velta welcome to use\" input:",
    "Cmd2: tarnel USB3,USB4 18300000000,18500000000 \"Velta welcome to use\"",
};

// ---- set.ini warnings, indexed by SettingProblem_t
const char* const SETTING_PROBLEMS[SETTING_PROBLEM_COUNT] = {
    "cannot be read; the built-in values are used",
    "line not understood; ignored",
    "outside [comm]; ignored",
    "unknown key; ignored",
    "given again",
    "not wholly a number",
    "a leading zero reads as octal",
    "above the highest value",
    "neither 0 nor 1",
    "not one of the known words",
    "not an absolute path",
    "not read while def is not 1; ignored",
};
const char* const SETTING_VALUE_USED = "; value used: ";

// ---- result codes: short label of SMS_CODE_ENUM values 0..12
const char* const SMS_CODE_LABELS[13] = {
    "Success", "No AT", "No AT", "No Velta Dev.", "No card", "No SIG", "No port", "No Velta Dev.",
    "SIM locked", "Not registered", "Reg. denied", "SIM busy", "SIM failure",
};

// ---- detection and device table
const char* const CHECK_USED = "Check used: ";
const char* const CHECK_SECONDS = " second(s)";
const char* const TABLE_TITLE = "Velta sms device check application V1.33 ";
const char* const TABLE_HEADERS[TABLE_COLUMNS] = {"Port No.", "Baudrate", "AT status", "SIM No.", "RSSI", "Dev No."};
const int TABLE_HEADER_WIDTHS[TABLE_COLUMNS - 1] = {13, 10, 15, 25, 10};
const TableCellWidths TABLE_CELL_WIDTHS = {13, 10, 15, 25, 25, 10, 10};
const char* const NO_AT = "No AT";
const char* const AT_LOCK_ERROR = "Lock error";
const char* const AT_BUSY = "Busy";
const char* const SCAN_PROGRESS = "Scanning %u ports: %u done";
const char* const GROUPED_LINE = "%u modems on %u ports";
const char* const NO_CARD = "No card";
const char* const NO_SIG = "No SIG";
const char* const NO_SERIAL = "Invalid";
const char* const MENU_LINE = "Enter to refresh, 1 send sms, 2 read sms, 3 AT send, q quit";

// ---- sending
const char* const SEND_INPUT_PHONE = "Input received phone number: ";
const char* const SEND_INVALID_PHONE = "Invalid number, reinput";
const char* const SEND_INPUT_PORT = "Input port number(ex: /dev/ttyUSB0, input USB0):";
const char* const SEND_INVALID_PORT = "Invalid port, reinput";
const char* const SEND_TOO_MANY_TRIES = "Too many times error, back to main";
const char* const SEND_INPUT_MESSAGE = "Input message:";
const char* const SEND_DEFAULT_MESSAGE = " Velta SMS ";
const char* const SEND_TIME_USED = "Time used: ";
const char* const SEND_SECONDS = " second(s)";
const char* const SEND_RESULT_PORT = "(T)Port ";
const char* const SEND_RESULT_SEND_TO = " send to ";
const char* const SEND_RESULT_SUCCESS = " success.";
const char* const SEND_RESULT_FAILED = " failed, reason: ";
const char* const MODEM_STOPPED = "Modem stopped answering";
const char* const SEND_INTERRUPTED = "Interrupted";
const char* const DEVICE_WENT_AWAY = "Device went away";
const char* const DEVICE_WENT_AWAY_AFTER = " after ";
const char* const DEVICE_WENT_AWAY_OF = " of ";
const char* const DEVICE_WENT_AWAY_PARTS = " parts";
const char* const PORT_BUSY_HELD_BY = "port busy: held by process ";
const char* const PORT_BUSY = "port busy";

// ---- reading
const char* const READ_TIME_USED = "Read sms used: ";
const char* const READ_SECONDS = " second(s)";
const char* const READ_PORT = "Port ";
const char* const READ_OK_TOTAL = " ok, total ";
const char* const READ_ITEMS = " items";
const char* const READ_SIM_COUNT = "Message count ";
const char* const READ_DEV_COUNT = "Message account ";
const char* const READ_COUNT_SUFFIX = " item(s)";
const char* const READ_FAILED = " failed.";
const char* const READ_REASON = "\treason: ";
const char* const READ_ITEM_NO = " no. ";
const char* const READ_SEND_TO = "Send to: ";
const char* const READ_SEND_TIME = "Send time: ";
const char* const READ_MESSAGE = "Message: ";
const char* const STATUS_REPORT_TEXTS[3] = {
    "Status report: delivered",
    "Status report: not delivered yet, still trying",
    "Status report: delivery failed",
};

// ---- clearing (hidden menu key "d")
const char* const CLEAR_CONFIRM = "Delete every SMS stored in the modem memory and on the SIM card of these ports? (y/N): ";
const char* const CLEAR_NOTHING = "Nothing deleted.";
const char* const CLEAR_MODEM_MEMORY = "modem memory ";
const char* const CLEAR_SIM_CARD = "SIM card ";
const char* const CLEAR_DONE = "cleared";
const char* const CLEAR_FAILED = "clear failed";
const char* const CLEAR_UNAVAILABLE = "unavailable";

// ---- the menu's read listing
const char* const READ_INCOMPLETE_MARK = "[incomplete: a part is missing] ";
const char* const READ_UNREADABLE_MARK = "[not read whole, left on the modem] ";

// ---- standard error of the command-line modes
const char* const DOCUMENT_NOT_WRITTEN = "tarnel: the document could not be written to standard output: ";
const char* const DOCUMENT_MESSAGES_KEPT = "; the messages read and deleted are kept in ";
const char* const DOCUMENT_NOTHING_LOST = "; no message read was deleted";
const char* const DOCUMENT_SEND_RESULTS_LOST = "; the results of the sends are lost";
const char* const WATCH_NOT_WRITTEN = "tarnel: sms watch could not write to standard output: ";
const char* const WATCH_NOTHING_MORE_DELETED = "; it stopped, and no message it had not reported was deleted";
const char* const JOURNAL_NOT_WRITTEN = "tarnel: the journal cannot be written in ";
const char* const JOURNAL_NOTHING_DELETED = "; nothing deleted on ";

// ---- AT terminal
const char* const TERM_INPUT_PORT =
    "\nInput port(ex: want use /dev/ttyUSB0, input USB0, no input enter means cancel): ";
const char* const TERM_PORT = "\nPORT: ";
const char* const TERM_INPUT_BAUD = "\nInput baudrate(1-115200 <default>, 2-9600): ";
const char* const TERM_BAUDRATE = "Baudrate: ";
const char* const TERM_OPEN_FAILED = "\nPort open failed!";
const char* const TERM_OPEN_SUCCESS = "\nPort open success.";
const char* const TERM_INPUT_MESSAGE =
    "\nInput message(special: \\Z->CTRL+Z, \\E->ESCAPE, default end by enter, \\N->no enter)"
    "(input exit to end)\n> ";
const char* const TERM_NO_DATA = " seconds no data, cancel)";

// ---- health table (menu key 4)
const char* const HEALTH_TITLE = "Modem health";
const char* const HEALTH_HEADERS[HEALTH_COLUMNS] = {"Port No.", "IMEI", "SIM", "Registration", "Operator", "Tech",
                                                    "Signal (dBm)"};
const int HEALTH_WIDTHS[HEALTH_COLUMNS - 1] = {13, 17, 12, 16, 18, 9};
const char* const HEALTH_SIM_STATES[9] = {"unknown", "ready",  "PIN needed", "PUK needed", "locked",
                                          "not ready", "absent", "busy", "failure"};
const char* const HEALTH_REG_STATES[7] = {"unknown", "unknown", "not registered", "denied",
                                          "searching", "roaming", "home"};
const char* const HEALTH_SIGNAL_QUALITIES[5] = {"unknown", "poor", "fair", "good", "excellent"};
const char* const HEALTH_RADIO_OFF = "radio off";
const char* const HEALTH_UNKNOWN = "unknown";
const char* const HEALTH_NO_MODEM = "No modem answered";
const char* const HEALTH_BACK = "Press any key to go back to the menu";

}  // namespace Lang
