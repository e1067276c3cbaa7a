#ifndef TARNEL_SETTINGS_H
#define TARNEL_SETTINGS_H

// The one list of set.ini keys (section "comm") and the loader that reads
// them into the process-wide values of basic.h. A key is added as one row of
// SETTING_KEYS: the loader, the warnings and the documentation check all
// work from that table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Read in place of ./set.ini when that file does not exist.
extern const char* const SYSTEM_SETTINGS_PATH;

// How a key's value is read.
enum SettingKind_t
{
    SETTING_NUMBER,  // an integer as the reader's integer lookup reads it, kept within [lowest, highest]
    SETTING_SWITCH,  // 0 or 1: the value other than the default switches, anything else keeps the default
    SETTING_WORD,    // one of `words`, in any letter case; its index is stored
    SETTING_PATH,    // an absolute path
};

// Whether "def" gates the key.
enum SettingGate_t
{
    SETTING_ALWAYS,        // read whatever "def" says
    SETTING_WHEN_DEF_IS_1, // read only when "def" is 1; 0 otherwise
};

// One set.ini key.
struct SettingKey_t
{
    const char* name;        // lower case
    SettingKind_t kind;
    SettingGate_t gate;
    int32_t* number;         // where a number, a switch or a word's index is stored
    std::string* text;       // where a path is stored
    int32_t defaultNumber;   // stored without the key
    // SETTING_NUMBER: a value above `highest` is capped to it, with a
    // warning; one below `lowest` stores the default (e.g. a negative wait).
    int32_t lowest;
    int32_t highest;
    const char* const* words;  // SETTING_WORD: the words, null-terminated
    const char* defaultText;   // SETTING_PATH: stored without the key
};

extern const SettingKey_t SETTING_KEYS[];
extern const std::size_t SETTING_KEY_COUNT;

// What a warning on standard error is about.
enum SettingProblem_t
{
    SETTING_UNREADABLE,       // the file exists but cannot be read
    SETTING_BAD_LINE,         // neither a section, a key=value line nor a comment
    SETTING_OUTSIDE_COMM,     // a key outside [comm]: ignored
    SETTING_UNKNOWN_KEY,      // a key of [comm] that tarnel does not know: ignored
    SETTING_REPEATED,         // a known key given again, or continued on an indented line
    SETTING_NOT_A_NUMBER,     // not wholly a number in decimal or 0x hexadecimal
    SETTING_OCTAL,            // a leading zero: read as octal
    SETTING_CAPPED,           // above the key's ceiling: the ceiling is used
    SETTING_NOT_A_SWITCH,     // neither 0 nor 1
    SETTING_NOT_A_WORD,       // none of the key's words
    SETTING_NOT_A_PATH,       // not an absolute path
    SETTING_NEEDS_DEF,        // a timing key while "def" is not 1: not read
    SETTING_PROBLEM_COUNT
};

// One warning: the file and line (1-based; 0 for the whole file), the key as
// written and its value as the reader gives it (empty where the line has
// none), and the value tarnel uses instead (empty where the line is ignored).
struct SettingFinding_t
{
    std::string file;
    int line = 0;
    SettingProblem_t problem = SETTING_BAD_LINE;
    std::string key;
    std::string value;
    std::string valueUsed;
};

// Sets every key of SETTING_KEYS to its default, then reads the first file of
// `paths` that exists (with the INI reader, section and key names in any
// letter case) and stores each key's value as its row says. A missing file
// leaves the defaults. Returns what the file held that tarnel did not take
// as written, in line order; the file is read a second time for them, as the
// reader gives no line numbers. Call before any thread reads the values.
std::vector<SettingFinding_t> LoadSettings(const std::vector<std::string>& paths);

#endif
