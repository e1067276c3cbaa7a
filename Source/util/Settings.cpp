#include "Settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include <INIReader.h>

#include "basic.h"

const char* const SYSTEM_SETTINGS_PATH = "/etc/tarnel/set.ini";

namespace {

// Defaults that the values start with and the table restores.
constexpr int32_t BUSY_WAIT_DEFAULT_SEC = 10;
constexpr int32_t FIXED_PORTS_DEFAULT = 1;
constexpr int32_t REG_WAIT_DEFAULT_SEC = 30;
constexpr int32_t USSD_WAIT_DEFAULT_SEC = 30;
constexpr int32_t WATCH_POLL_DEFAULT_SEC = 60;
const char* const JOURNAL_DIR_DEFAULT = "/var/lib/tarnel";

}  // namespace

int32_t g_nWinUserSet = 0;
int32_t g_nWinUserValue[10] = {};
int32_t g_nPartWaitMinutes = 0;
int32_t g_nBusyWaitSec = BUSY_WAIT_DEFAULT_SEC;
int32_t g_nFixedPorts = FIXED_PORTS_DEFAULT;
int32_t g_nAcmPorts = 0;
int32_t g_nRegWaitSec = REG_WAIT_DEFAULT_SEC;
int32_t g_nUssdWaitSec = USSD_WAIT_DEFAULT_SEC;
int32_t g_nWatchPollSec = WATCH_POLL_DEFAULT_SEC;
int32_t g_nSmsEncoding = SMS_ENCODING_UCS2;
std::string g_strJournalDir = JOURNAL_DIR_DEFAULT;

namespace {

// Indexed by SMS_ENCODING_t.
const char* const ENCODING_WORDS[] = {"ucs2", "auto", nullptr};

// One serial read pass of 30 s (time1 counts 0.5 ms) is already far beyond
// any modem; above it a typing slip (time1=99999999999) would make one read
// last for days.
constexpr int32_t TIME1_CEILING = 60000;
constexpr int32_t PART_WAIT_CEILING_MIN = 7 * 24 * 60;
constexpr int32_t BUSY_WAIT_CEILING_SEC = 3600;
constexpr int32_t REG_WAIT_CEILING_SEC = 600;
constexpr int32_t USSD_WAIT_CEILING_SEC = 600;
constexpr int32_t WATCH_POLL_CEILING_SEC = 3600;

// Rows of the three kinds that need no words and no text.
constexpr SettingKey_t Number(const char* name, SettingGate_t gate, int32_t* store, int32_t byDefault,
                              int32_t lowest, int32_t highest)
{
    return {name, SETTING_NUMBER, gate, store, nullptr, byDefault, lowest, highest, nullptr, nullptr};
}

constexpr SettingKey_t Switch(const char* name, int32_t* store, int32_t byDefault)
{
    return {name, SETTING_SWITCH, SETTING_ALWAYS, store, nullptr, byDefault, 0, 1, nullptr, nullptr};
}

constexpr SettingKey_t Timing(const char* name, int32_t* store, int32_t highest = INT32_MAX)
{
    // 0 or less means the built-in value, and is stored as written.
    return Number(name, SETTING_WHEN_DEF_IS_1, store, 0, INT32_MIN, highest);
}

}  // namespace

const SettingKey_t SETTING_KEYS[] = {
    Number("def", SETTING_ALWAYS, &g_nWinUserSet, 0, INT32_MIN, INT32_MAX),
    Timing("time1", &g_nWinUserValue[0], TIME1_CEILING),
    Timing("time2", &g_nWinUserValue[1]),
    Timing("time3", &g_nWinUserValue[2]),
    Timing("time4", &g_nWinUserValue[3]),
    Timing("time5", &g_nWinUserValue[4]),
    Timing("time6", &g_nWinUserValue[5]),
    Timing("time7", &g_nWinUserValue[6]),
    Timing("time8", &g_nWinUserValue[7]),
    Timing("time9", &g_nWinUserValue[8]),
    Timing("time10", &g_nWinUserValue[9]),
    // A negative wait means the default; 0 means not at all.
    Number("busywait", SETTING_ALWAYS, &g_nBusyWaitSec, BUSY_WAIT_DEFAULT_SEC, 0, BUSY_WAIT_CEILING_SEC),
    // 0 or less means the built-in 10 minutes, and is stored as written.
    Number("partwait", SETTING_ALWAYS, &g_nPartWaitMinutes, 0, INT32_MIN, PART_WAIT_CEILING_MIN),
    Switch("fixedports", &g_nFixedPorts, FIXED_PORTS_DEFAULT),
    Switch("acmports", &g_nAcmPorts, 0),
    Number("regwait", SETTING_ALWAYS, &g_nRegWaitSec, REG_WAIT_DEFAULT_SEC, 0, REG_WAIT_CEILING_SEC),
    Number("ussdwait", SETTING_ALWAYS, &g_nUssdWaitSec, USSD_WAIT_DEFAULT_SEC, 0, USSD_WAIT_CEILING_SEC),
    // A poll every 0 s would never rest.
    Number("watchpoll", SETTING_ALWAYS, &g_nWatchPollSec, WATCH_POLL_DEFAULT_SEC, 1, WATCH_POLL_CEILING_SEC),
    {"encoding", SETTING_WORD, SETTING_ALWAYS, &g_nSmsEncoding, nullptr, SMS_ENCODING_UCS2, 0, 0, ENCODING_WORDS,
     nullptr},
    {"journaldir", SETTING_PATH, SETTING_ALWAYS, nullptr, &g_strJournalDir, 0, 0, 0, nullptr, JOURNAL_DIR_DEFAULT},
};
const std::size_t SETTING_KEY_COUNT = std::size(SETTING_KEYS);

namespace {

const char* const SECTION = "comm";

std::string Lowered(std::string s)
{
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Trimmed(const std::string& s)
{
    std::size_t from = 0;
    std::size_t to = s.size();
    while (from < to && IsSpace(s[from])) {
        ++from;
    }
    while (to > from && IsSpace(s[to - 1])) {
        --to;
    }
    return s.substr(from, to - from);
}

// ---- the second reading, for line numbers: the INI reader's own rules

// What one line of the file is, as the INI reader takes it.
struct IniLine_t
{
    enum Kind { BLANK, SECTION_LINE, KEY, CONTINUATION, BAD } kind = BLANK;
    int number = 0;
    std::string section;  // the section the line belongs to, lower case
    std::string name;     // KEY: the key as written; CONTINUATION: the key it continues
    std::string value;    // the value as written (KEY, CONTINUATION)
};

// The reader reads a file in pieces of at most this many bytes (its line
// buffer less the NUL): a longer line goes on as a line of its own.
constexpr std::size_t READER_PIECE = 199;

// Where `s` reaches one of `stops` or an inline comment (";" after a blank).
std::size_t StopOrComment(const std::string& s, std::size_t from, const char* stops)
{
    bool afterSpace = false;
    for (std::size_t i = from; i < s.size(); ++i) {
        if ((stops != nullptr && std::strchr(stops, s[i]) != nullptr) || (afterSpace && s[i] == ';')) {
            return i;
        }
        afterSpace = IsSpace(s[i]);
    }
    return s.size();
}

std::vector<IniLine_t> ScanIni(const std::string& content)
{
    std::vector<IniLine_t> lines;
    std::string section;
    std::string previousName;
    int number = 1;
    bool first = true;
    for (std::size_t at = 0; at < content.size();) {
        std::size_t end = content.find('\n', at);
        end = end == std::string::npos ? content.size() : end + 1;
        end = std::min(end, at + READER_PIECE);
        std::string raw = content.substr(at, end - at);
        const bool endsLine = !raw.empty() && raw.back() == '\n';
        at = end;
        raw = raw.substr(0, raw.find('\0'));  // the reader stops at a NUL
        if (first && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            raw.erase(0, 3);  // a byte order mark is no indentation
        }
        first = false;
        const bool indented = !raw.empty() && IsSpace(raw[0]);
        const std::string text = Trimmed(raw);

        IniLine_t line;
        line.number = number;
        line.section = section;
        if (text.empty() || text[0] == ';' || text[0] == '#') {
            line.kind = IniLine_t::BLANK;
        } else if (indented && !previousName.empty()) {
            line.kind = IniLine_t::CONTINUATION;
            line.name = previousName;
            line.value = Trimmed(text.substr(0, StopOrComment(text, 0, nullptr)));
        } else if (text[0] == '[') {
            const std::size_t close = StopOrComment(text, 1, "]");
            if (close < text.size() && text[close] == ']') {
                line.kind = IniLine_t::SECTION_LINE;
                section = Lowered(text.substr(1, close - 1));
                previousName.clear();
            } else {
                line.kind = IniLine_t::BAD;
            }
        } else {
            const std::size_t sign = StopOrComment(text, 0, "=:");
            if (sign < text.size() && (text[sign] == '=' || text[sign] == ':')) {
                line.kind = IniLine_t::KEY;
                line.name = Trimmed(text.substr(0, sign));
                const std::size_t comment = StopOrComment(text, sign + 1, nullptr);
                line.value = Trimmed(text.substr(sign + 1, comment - sign - 1));
                previousName = line.name;
            } else {
                line.kind = IniLine_t::BAD;
            }
        }
        lines.push_back(line);
        if (endsLine) {
            ++number;
        }
    }
    return lines;
}

bool ReadWhole(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// ---- applying a value

// A value as the integer lookup reads it (C's rules: decimal, 0x hexadecimal,
// a leading 0 octal), in 64 bits on every target so that the same file gives
// the same warnings on 32- and 64-bit machines.
struct NumberText_t
{
    bool digits = false;  // it begins with a number
    bool whole = false;   // and nothing follows it
    bool octal = false;   // and has a leading zero
    int64_t value = 0;    // saturated
};

NumberText_t ReadNumberText(const std::string& text)
{
    NumberText_t n;
    const char* begin = text.c_str();
    char* end = nullptr;
    const long long value = std::strtoll(begin, &end, 0);
    n.digits = end != begin;
    n.whole = n.digits && *end == '\0';
    n.value = value;
    const std::size_t digit = text[0] == '-' || text[0] == '+' ? 1 : 0;
    n.octal = n.whole && text.size() > digit + 1 && text[digit] == '0' &&
              std::isdigit(static_cast<unsigned char>(text[digit + 1])) != 0;
    return n;
}

// inih gives a long (64 bits on x86-64, 32 on ARM); clamping makes both
// targets store the same value from the same file.
int32_t ToInt32(long value)
{
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

void SetDefault(const SettingKey_t& key)
{
    if (key.kind == SETTING_PATH) {
        *key.text = key.defaultText;
    } else {
        *key.number = key.defaultNumber;
    }
}

std::string StoredText(const SettingKey_t& key)
{
    switch (key.kind) {
    case SETTING_PATH:
        return *key.text;
    case SETTING_WORD:
        return key.words[*key.number];
    default:
        return std::to_string(*key.number);
    }
}

// Stores the key's value from the reader; returns the problem with it, or
// SETTING_PROBLEM_COUNT when there is none.
SettingProblem_t Apply(const SettingKey_t& key, const INIReader& reader)
{
    const std::string text = reader.Get(SECTION, key.name, "");
    // A repeated or continued key is read as its values joined by line
    // ends; the lookup reads the first.
    const std::string first = text.substr(0, text.find('\n'));
    switch (key.kind) {
    case SETTING_NUMBER:
    case SETTING_SWITCH: {
        const int32_t got = ToInt32(reader.GetInteger(SECTION, key.name, key.defaultNumber));
        const NumberText_t n = ReadNumberText(first);
        SettingProblem_t problem = !n.whole ? SETTING_NOT_A_NUMBER : n.octal ? SETTING_OCTAL : SETTING_PROBLEM_COUNT;
        if (key.kind == SETTING_SWITCH) {
            const int32_t other = 1 - key.defaultNumber;
            *key.number = got == other ? other : key.defaultNumber;
            if (problem == SETTING_PROBLEM_COUNT && n.value != 0 && n.value != 1) {
                problem = SETTING_NOT_A_SWITCH;
            }
        } else if (got < key.lowest) {
            *key.number = key.defaultNumber;
        } else if (n.digits && n.value > key.highest) {
            *key.number = key.highest;
            // Capping says more than "not wholly a number" about 99999999999ms.
            problem = problem == SETTING_OCTAL ? problem : SETTING_CAPPED;
        } else {
            *key.number = got;
        }
        return problem;
    }
    case SETTING_WORD: {
        const std::string word = Lowered(text);
        for (int32_t i = 0; key.words[i] != nullptr; ++i) {
            if (word == key.words[i]) {
                *key.number = i;
                return SETTING_PROBLEM_COUNT;
            }
        }
        return SETTING_NOT_A_WORD;
    }
    case SETTING_PATH:
        if (text.empty() || text[0] != '/' || text.find('\n') != std::string::npos) {
            return SETTING_NOT_A_PATH;
        }
        *key.text = text;
        return SETTING_PROBLEM_COUNT;
    }
    return SETTING_PROBLEM_COUNT;
}

const SettingKey_t* FindKey(const std::string& name)
{
    const std::string lowered = Lowered(name);
    for (const SettingKey_t& key : SETTING_KEYS) {
        if (lowered == key.name) {
            return &key;
        }
    }
    return nullptr;
}

bool IsRegularFile(const std::string& path, bool& exists)
{
    struct stat st;
    exists = stat(path.c_str(), &st) == 0;
    return exists && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<SettingFinding_t> LoadSettings(const std::vector<std::string>& paths)
{
    for (const SettingKey_t& key : SETTING_KEYS) {
        SetDefault(key);
    }
    std::vector<SettingFinding_t> findings;
    std::string path;
    bool exists = false;
    bool regular = false;
    for (const std::string& candidate : paths) {
        regular = IsRegularFile(candidate, exists);
        if (exists) {
            path = candidate;
            break;
        }
    }
    if (!exists) {
        return findings;
    }
    auto finding = [&](int line, SettingProblem_t problem, const std::string& name, const std::string& value,
                       const std::string& used) {
        findings.push_back({path, line, problem, name, value, used});
    };
    const INIReader reader(path);
    std::string content;
    if (!regular || reader.ParseError() < 0 || !ReadWhole(path, content)) {
        finding(0, SETTING_UNREADABLE, "", "", "");
        return findings;
    }

    // Where each known key of [comm] is first written, and where again.
    std::map<const SettingKey_t*, IniLine_t> firstLine;
    std::vector<IniLine_t> repeats;
    for (const IniLine_t& line : ScanIni(content)) {
        const SettingKey_t* key = line.section == SECTION ? FindKey(line.name) : nullptr;
        switch (line.kind) {
        case IniLine_t::BAD:
            finding(line.number, SETTING_BAD_LINE, "", "", "");
            break;
        case IniLine_t::KEY:
            if (line.section != SECTION) {
                finding(line.number, SETTING_OUTSIDE_COMM, line.name, line.value, "");
            } else if (key == nullptr) {
                finding(line.number, SETTING_UNKNOWN_KEY, line.name, line.value, "");
            } else if (!firstLine.emplace(key, line).second) {
                repeats.push_back(line);
            }
            break;
        case IniLine_t::CONTINUATION:
            if (key != nullptr) {
                repeats.push_back(line);
            }
            break;
        default:
            break;
        }
    }

    // "def" first: it decides whether the timing keys are read at all.
    for (const SettingKey_t& key : SETTING_KEYS) {
        if (!reader.HasValue(SECTION, key.name)) {
            continue;  // the default stays
        }
        const auto written = firstLine.find(&key);
        const IniLine_t line = written != firstLine.end() ? written->second : IniLine_t();
        SettingProblem_t problem = SETTING_NEEDS_DEF;
        if (key.gate == SETTING_ALWAYS || g_nWinUserSet == 1) {
            problem = Apply(key, reader);
        }
        if (problem != SETTING_PROBLEM_COUNT) {
            const std::string used = problem == SETTING_NEEDS_DEF ? "" : StoredText(key);
            finding(line.number, problem, line.name.empty() ? key.name : line.name, line.value, used);
        }
    }
    for (const IniLine_t& line : repeats) {
        finding(line.number, SETTING_REPEATED, line.name, line.value, StoredText(*FindKey(line.name)));
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const SettingFinding_t& a, const SettingFinding_t& b) { return a.line < b.line; });
    return findings;
}
