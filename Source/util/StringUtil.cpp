#include "StringUtil.h"

#include <cstdio>
#include <ctime>

std::vector<std::string> SplitStringToArray(std::string text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            break;  // an unterminated last line is still arriving
        }
        if (end > start) {
            lines.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitStringByChar(std::string text, char separator)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(separator, start);
        if (end == std::string::npos) {
            break;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) {
        fields.push_back(text.substr(start));
    }
    return fields;
}

std::string StringReplaceChar(std::string text, char from, char to)
{
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
    return text;
}

void StringReplace(std::string& text, const std::string& find, const std::string& put)
{
    if (find.empty()) {
        return;  // would never advance
    }
    std::string::size_type pos = 0;
    while ((pos = text.find(find, pos)) != std::string::npos) {
        text.replace(pos, find.size(), put);
        pos += put.size();
    }
}

std::string TrimChar(std::string text, char c)
{
    if (text.size() < 3) {
        return text;
    }
    if (text.front() == c) {
        text.erase(0, 1);
    }
    if (!text.empty() && text.back() == c) {
        text.pop_back();
    }
    return text;
}

std::string TrimAllChar(std::string text, char c)
{
    for (int applied = 0; applied < 101; ++applied) {
        std::string trimmed = TrimChar(text, c);
        if (trimmed == text) {
            break;
        }
        text.swap(trimmed);
    }
    return text;
}

std::string ToPrintableText(std::string text)
{
    std::string out;
    out.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool c0 = c < 0x20 && c != '\n' && c != '\t';
        // U+0080..U+009F are C2 80..C2 9F in UTF-8; some terminals obey them (CSI is U+009B).
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c0 || c == 0x7F) {
            out += '?';
        } else if (c1) {
            out += '?';
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string GetCurTimeStr()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];  // room for any int the compiler can imagine in each field
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}
