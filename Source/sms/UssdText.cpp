#include "UssdText.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "SmsCharset.h"
#include "SmsDecode.h"
#include "SmsEncode.h"
#include "SmsGsm7Tables.h"

namespace {

constexpr unsigned char GSM7_ESCAPE = 0x1B;
constexpr unsigned char GSM7_CR = 0x0D;

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads decimal digits at `i` (at most 3: a status or DCS is below 256).
bool ReadNumber(const std::string& s, std::size_t& i, int& value)
{
    const std::size_t start = i;
    value = 0;
    while (i < s.size() && IsDigit(s[i]) && i - start < 3) {
        value = value * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

bool HexToOctets(const std::string& hex, std::vector<unsigned char>& octets)
{
    octets.assign(hex.size() / 2, 0);
    if (hex.size() % 2 != 0 || hex.size() > static_cast<std::size_t>(INT_MAX)) {
        octets.clear();
        return false;
    }
    // Whole only when the decoder's own reader took every pair: it stops at
    // the first character that is not a hex digit.
    const int taken = gsmHexToBytes(hex.data(), static_cast<int>(hex.size()), octets.data(),
                                    static_cast<int>(octets.size()));
    return static_cast<std::size_t>(taken) == octets.size();
}

std::string UpperHex(const std::string& bytes)
{
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        hex += DIGITS[b >> 4];
        hex += DIGITS[b & 15];
    }
    return hex;
}

// Septets of the default alphabet (unpacked, one per element) as text; an
// escape selects the extension table for the next septet, and a lone or
// unknown escape reads as a space, as TS 23.038 asks of a receiver.
std::wstring Gsm7Text(const std::vector<unsigned char>& septets)
{
    std::wstring text;
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const unsigned char s = septets[i] & 0x7F;
        if (s == GSM7_ESCAPE) {
            const bool next = i + 1 < septets.size();
            const uint16_t extended = next ? GSM7_SINGLE_SHIFT[0][septets[i + 1] & 0x7F] : 0;
            if (extended != 0) {
                text += static_cast<wchar_t>(extended);
                ++i;
            } else {
                text += L' ';
            }
            continue;
        }
        text += static_cast<wchar_t>(GSM7_LOCKING_SHIFT[0][s]);
    }
    return text;
}

// Every septet packed in the octets; the padding of TS 23.038 6.1.2.3.1 goes:
// 7 spare bits hold a CR (or zeros, from senders that skip it), and a text
// that ends with CR on an octet boundary got a second CR.
std::vector<unsigned char> UnpackUssd7(const std::vector<unsigned char>& octets)
{
    const std::size_t count = octets.size() * 8 / 7;
    std::vector<unsigned char> septets;
    for (std::size_t k = 0; k < count; ++k) {
        septets.push_back(static_cast<unsigned char>(
            gsmSeptetAt(octets.data(), static_cast<int>(octets.size()), static_cast<int>(k))));
    }
    if (octets.size() * 8 % 7 == 0 && !septets.empty() && (septets.back() == GSM7_CR || septets.back() == 0)) {
        septets.pop_back();
    } else if (count % 8 == 1 && count >= 2 && septets[count - 1] == GSM7_CR && septets[count - 2] == GSM7_CR) {
        septets.pop_back();
    }
    return septets;
}

std::wstring Ucs2Text(const std::vector<unsigned char>& octets, std::size_t from)
{
    std::wstring text;
    for (std::size_t i = from; i + 1 < octets.size(); i += 2) {
        text += static_cast<wchar_t>(octets[i] << 8 | octets[i + 1]);
    }
    return text;
}

std::wstring OctetText(const std::string& bytes)
{
    std::wstring text;
    for (const char c : bytes) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return text;
}

// A text on the line in the character set in force.
bool CharsetText(const std::string& onLine, const std::string& charset, std::wstring& text)
{
    if (charset == "UCS2") {
        std::vector<unsigned char> octets;
        if (!HexToOctets(onLine, octets) || octets.size() % 2 != 0) {
            return false;
        }
        text = Ucs2Text(octets, 0);
        return true;
    }
    if (charset == "GSM") {
        text = Gsm7Text(std::vector<unsigned char>(onLine.begin(), onLine.end()));
        return true;
    }
    if (charset == "UTF-8" || charset == "UTF8") {
        return Utf8ToWide(onLine.data(), onLine.size(), text);
    }
    // IRA is 7-bit ASCII, a subset of 8859-1: one octet, one character.
    text = OctetText(onLine);
    return true;
}

enum DcsAlphabet_t
{
    DCS_7BIT,
    DCS_8BIT,
    DCS_UCS2,
    DCS_COMPRESSED,
};

// The alphabet of a cell-broadcast DCS (TS 23.038 section 5); reserved
// values read as the default alphabet, as that section asks.
DcsAlphabet_t AlphabetOf(int dcs)
{
    const int group = dcs >> 4;
    if (dcs == 0x11) {
        return DCS_UCS2;
    }
    if (group >= 0x4 && group <= 0x7) {
        if (dcs & 0x20) {
            return DCS_COMPRESSED;
        }
        const int alphabet = (dcs >> 2) & 3;
        return alphabet == 1 ? DCS_8BIT : alphabet == 2 ? DCS_UCS2 : DCS_7BIT;
    }
    if (group == 0x9) {
        const int alphabet = (dcs >> 2) & 3;
        return alphabet == 1 ? DCS_8BIT : alphabet == 2 ? DCS_UCS2 : DCS_7BIT;
    }
    if (group == 0xF) {
        return (dcs & 0x04) ? DCS_8BIT : DCS_7BIT;
    }
    return DCS_7BIT;
}

// The language indication of DCS 0x10: two letters and a CR before the text.
constexpr std::size_t LANGUAGE_CHARACTERS = 3;
// That of DCS 0x11: two packed 7-bit letters, two octets, before the UCS-2.
constexpr std::size_t LANGUAGE_OCTETS = 2;

bool DecodeWide(const UssdLine_t& line, const std::string& charset, UssdSevenBitForm_t form, std::wstring& text)
{
    std::vector<unsigned char> octets;
    switch (AlphabetOf(line.dcs)) {
    case DCS_UCS2:
        if (!HexToOctets(line.text, octets)) {
            return false;
        }
        {
            const std::size_t skip = line.dcs == 0x11 ? LANGUAGE_OCTETS : 0;
            if (octets.size() < skip || (octets.size() - skip) % 2 != 0) {
                return false;
            }
            text = Ucs2Text(octets, skip);
        }
        return true;
    case DCS_8BIT:
    case DCS_COMPRESSED:
        if (!HexToOctets(line.text, octets)) {
            return false;
        }
        text = OctetText(UpperHex(std::string(octets.begin(), octets.end())));
        return true;
    case DCS_7BIT:
        if (form == USSD_7BIT_PACKED) {
            if (!HexToOctets(line.text, octets)) {
                return false;
            }
            text = Gsm7Text(UnpackUssd7(octets));
        } else if (!CharsetText(line.text, charset, text)) {
            return false;
        }
        if (line.dcs == 0x10) {
            if (text.size() < LANGUAGE_CHARACTERS) {
                return false;
            }
            text.erase(0, LANGUAGE_CHARACTERS);
        }
        return true;
    }
    return false;
}

// The line's own text, valid UTF-8 whatever it held.
std::string AsOnTheLine(const std::string& onLine)
{
    // The UTF-8 reader stops at a NUL: a text holding one is checked no further.
    std::wstring wide;
    if (onLine.find('\0') == std::string::npos && Utf8ToWide(onLine.data(), onLine.size(), wide)) {
        return onLine;
    }
    return UnicodeToANSI(OctetText(onLine));
}

}  // namespace

UssdLineState_t ParseUssdLine(const std::string& answer, std::size_t from, UssdLine_t& line, std::size_t& end)
{
    static const std::string TAG = "+CUSD:";
    line = UssdLine_t();
    const std::size_t tag = from <= answer.size() ? answer.find(TAG, from) : std::string::npos;
    if (tag == std::string::npos) {
        return USSD_LINE_NONE;
    }
    std::size_t i = tag + TAG.size();
    while (i < answer.size() && answer[i] == ' ') {
        ++i;
    }
    if (!ReadNumber(answer, i, line.status)) {
        return USSD_LINE_INCOMPLETE;
    }
    while (i < answer.size() && answer[i] == ' ') {
        ++i;
    }
    if (i >= answer.size()) {
        return USSD_LINE_INCOMPLETE;
    }
    if (IsLineEnd(answer[i])) {
        end = i + 1;
        return USSD_LINE_COMPLETE;
    }
    if (answer[i] != ',' || i + 1 >= answer.size() || answer[i + 1] != '"') {
        return USSD_LINE_INCOMPLETE;
    }
    const std::size_t textStart = i + 2;
    // Line by line: the first one ending in '",<dcs>' closes the text.
    std::size_t lineStart = textStart;
    for (;;) {
        std::size_t lineEnd = lineStart;
        while (lineEnd < answer.size() && !IsLineEnd(answer[lineEnd])) {
            ++lineEnd;
        }
        if (lineEnd >= answer.size()) {
            return USSD_LINE_INCOMPLETE;
        }
        std::size_t d = lineEnd;
        while (d > lineStart && IsDigit(answer[d - 1])) {
            --d;
        }
        std::size_t k = d;
        int dcs = 0;
        if (d < lineEnd && lineEnd - d <= 3 && d >= lineStart + 2 && answer[d - 1] == ',' && answer[d - 2] == '"' &&
            d - 2 >= textStart && ReadNumber(answer, k, dcs) && k == lineEnd) {
            line.hasText = true;
            line.text = answer.substr(textStart, d - 2 - textStart);
            line.dcs = dcs;
            end = lineEnd + 1;
            return USSD_LINE_COMPLETE;
        }
        lineStart = lineEnd + 1;
    }
}

bool DecodeUssdText(const UssdLine_t& line, const std::string& charset, UssdSevenBitForm_t form, std::string& text)
{
    text.clear();
    if (!line.hasText) {
        return true;
    }
    std::wstring wide;
    if (!DecodeWide(line, charset, form, wide)) {
        text = AsOnTheLine(line.text);
        return false;
    }
    text = UnicodeToANSI(wide);
    return true;
}

std::string PackUssdCode(const std::string& code)
{
    // Digits, '*' and '#' are septets of the default alphabet.
    std::vector<uint8_t> septets;
    gsmWideToGsm7(std::wstring(code.begin(), code.end()), septets);
    if (septets.size() % 8 == 7) {
        septets.push_back(GSM7_CR);  // 7 spare bits would read as "@"
    }
    std::string packed;
    gsmAppendPackedSeptets(packed, septets.data(), septets.size(), 0);
    return packed;
}
