// The new-message indication setting and the announcements it brings.
#include "NewMessageIndication.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::string::size_type npos = std::string::npos;
// Longer than any announcement: an unterminated line past this is something else.
const std::string::size_type kLongestIndication = 256;
// A value list holds small numbers; more digits than this is no value.
const std::string::size_type kMaxDigits = 4;

std::string Trimmed(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    if (first == npos) {
        return std::string();
    }
    const std::string::size_type last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// A small decimal number, blanks around it allowed.
bool ReadNumber(const std::string& text, int& value)
{
    const std::string digits = Trimmed(text);
    if (digits.empty() || digits.size() > kMaxDigits || digits.find_first_not_of("0123456789") != npos) {
        return false;
    }
    value = std::atoi(digits.c_str());
    return true;
}

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == npos ? npos : at - start));
        if (at == npos) {
            return pieces;
        }
        start = at + 1;
    }
}

// The values one "(0-2)" or "(0,1,3)" group offers; false when it cannot be read.
bool ReadOfferGroup(const std::string& group, std::vector<int>& values)
{
    values.clear();
    if (Trimmed(group).empty()) {
        return true;  // "()": nothing offered
    }
    for (const std::string& item : SplitAt(group, ',')) {
        const std::string::size_type dash = item.find('-');
        int low = 0;
        int high = 0;
        if (dash == npos) {
            if (!ReadNumber(item, low)) {
                return false;
            }
            high = low;
        } else if (!ReadNumber(item.substr(0, dash), low) || !ReadNumber(item.substr(dash + 1), high) || high < low) {
            return false;
        }
        for (int v = low; v <= high; ++v) {
            values.push_back(v);
        }
    }
    return true;
}

bool Offers(const std::vector<int>& values, int value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

bool ChooseIndicationSetting(const std::string& offer, IndicationSetting_t& chosen)
{
    std::vector<std::vector<int>> groups;
    std::string::size_type at = 0;
    while (groups.size() < 5) {
        const std::string::size_type open = offer.find('(', at);
        if (open == npos) {
            break;
        }
        const std::string::size_type close = offer.find(')', open);
        if (close == npos) {
            return false;
        }
        std::vector<int> values;
        if (!ReadOfferGroup(offer.substr(open + 1, close - open - 1), values)) {
            return false;
        }
        groups.push_back(values);
        at = close + 1;
    }
    if (groups.size() < 2 || !Offers(groups[1], 1)) {
        return false;
    }
    IndicationSetting_t setting;
    if (Offers(groups[0], 2)) {
        setting.mode = 2;
    } else if (Offers(groups[0], 1)) {
        setting.mode = 1;
    } else if (Offers(groups[0], 3)) {
        setting.mode = 3;  // forwarded as they come: still announced
    } else {
        return false;
    }
    setting.mt = 1;
    setting.count = static_cast<int>(groups.size());
    if (groups.size() >= 3 && !Offers(groups[2], 0)) {
        return false;  // cell broadcast cannot be left off: its routing would fill the line
    }
    if (groups.size() >= 4) {
        setting.ds = Offers(groups[3], 2) ? 2 : 0;
        if (setting.ds == 0 && !Offers(groups[3], 0)) {
            setting.count = 3;  // only routing offered: the modem's own value stays
        }
    }
    if (setting.count == 5) {
        setting.bfr = Offers(groups[4], 0) || groups[4].empty() ? 0 : groups[4].front();
    }
    chosen = setting;
    return true;
}

bool ReadIndicationSetting(const std::string& value, IndicationSetting_t& setting)
{
    const std::vector<std::string> pieces = SplitAt(value, ',');
    if (pieces.size() > 5) {
        return false;
    }
    IndicationSetting_t read;
    int* const fields[5] = {&read.mode, &read.mt, &read.bm, &read.ds, &read.bfr};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!ReadNumber(pieces[i], *fields[i])) {
            return false;
        }
    }
    read.count = static_cast<int>(pieces.size());
    setting = read;
    return true;
}

std::string IndicationSettingCmd(const IndicationSetting_t& setting)
{
    const int values[5] = {setting.mode, setting.mt, setting.bm, setting.ds, setting.bfr};
    std::string cmd = "AT+CNMI=";
    for (int i = 0; i < setting.count && i < 5; ++i) {
        cmd += (i > 0 ? "," : "") + std::to_string(values[i]);
    }
    return cmd + "\r";
}

SmsStorage_t StorageOfName(const std::string& name)
{
    if (name == "SM") {
        return SMS_STORAGE_SM;
    }
    if (name == "ME" || name == "MT") {
        return SMS_STORAGE_ME;
    }
    if (name == "SR") {
        return SMS_STORAGE_SR;
    }
    return SMS_STORAGE_LISTED;
}

namespace {

// One complete line, CR and LF removed; false when it is no announcement.
bool ReadIndicationLine(const std::string& line, NewMessage_t& found)
{
    const std::string text = Trimmed(line);
    bool report = false;
    if (text.compare(0, 6, "+CMTI:") == 0) {
        report = false;
    } else if (text.compare(0, 6, "+CDSI:") == 0) {
        report = true;
    } else {
        return false;
    }
    const std::vector<std::string> pieces = SplitAt(text.substr(6), ',');
    if (pieces.size() != 2) {
        return false;
    }
    std::string name = Trimmed(pieces[0]);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    int index = -1;
    if (name.empty() || name.find('"') != npos || !ReadNumber(pieces[1], index)) {
        return false;
    }
    found.storage = StorageOfName(name);
    found.storageName = name;
    found.index = index;
    found.statusReport = report;
    return true;
}

}  // namespace

std::vector<NewMessage_t> TakeNewMessageIndications(std::string& pending)
{
    std::vector<NewMessage_t> found;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = pending.find_first_of("\r\n", start);
        if (end == npos) {
            break;
        }
        NewMessage_t one;
        if (end > start && ReadIndicationLine(pending.substr(start, end - start), one)) {
            found.push_back(one);
        }
        start = end + 1;
    }
    pending.erase(0, start);
    if (pending.size() > kLongestIndication) {
        pending.clear();
    }
    return found;
}
