#include "SmsCharset.h"

#include <locale.h>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

namespace {

constexpr wchar_t REPLACEMENT_CHAR = 0xFFFD;

bool IsUtf8Codeset(locale_t loc)
{
    const char* codeset = nl_langinfo_l(CODESET, loc);
    return codeset != nullptr &&
           (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// The environment's encoding when it is not UTF-8, as a locale object of our
// own; null when it is UTF-8 or names no installed locale (our own decoder
// then reads the text). Made once: the environment does not change while the
// program runs, and a locale object freed on one thread while another makes
// its own would race inside the C library.
locale_t InputLocale()
{
    static const locale_t input = [] {
        const locale_t env = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
        if (env != static_cast<locale_t>(0) && IsUtf8Codeset(env)) {
            freelocale(env);
            return static_cast<locale_t>(0);
        }
        return env;
    }();
    return input;
}

// Conversion through the locale `loc`, for the calling thread alone.
bool LocaleToWide(locale_t loc, const char* text, std::size_t len, std::wstring& out)
{
    const locale_t previous = uselocale(loc);
    std::mbstate_t state;
    std::memset(&state, 0, sizeof state);
    const char* src = text;
    const std::size_t count = mbsnrtowcs(nullptr, &src, len, 0, &state);
    std::size_t done = count;
    if (count != static_cast<std::size_t>(-1)) {
        out.assign(count, L'\0');
        std::memset(&state, 0, sizeof state);
        src = text;
        done = mbsnrtowcs(&out[0], &src, len, count, &state);
    }
    uselocale(previous);
    if (done == static_cast<std::size_t>(-1)) {
        out.clear();
        return false;
    }
    out.resize(done);
    return true;
}

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool Utf8ToWide(const char* text, std::size_t len, std::wstring& out)
{
    out.clear();
    out.reserve(len);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < len && s[i] != 0) {
        const unsigned char b = s[i];
        uint32_t c;
        std::size_t need;
        uint32_t min;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            need = 1;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            need = 2;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            need = 3;
            min = 0x10000;
        } else {
            out.clear();
            return false;
        }
        if (len - i <= need) {
            out.clear();
            return false;  // sequence cut by the end of the text
        }
        for (std::size_t k = 1; k <= need; ++k) {
            const unsigned char t = s[i + k];
            if ((t & 0xC0) != 0x80) {
                out.clear();
                return false;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.clear();
            return false;
        }
        out += static_cast<wchar_t>(c);
        i += need + 1;
    }
    return true;
}

bool MultiByteToWide(const char* text, std::size_t len, std::wstring& out)
{
    // Only the bytes before a NUL are text, as for the C library's conversions.
    len = strnlen(text, len);
    // Through uselocale, never setlocale: the process locale stays as it is,
    // so threads that convert or print at the same time are not disturbed.
    const locale_t input = InputLocale();
    if (input != static_cast<locale_t>(0) && LocaleToWide(input, text, len, out)) {
        return true;
    }
    return Utf8ToWide(text, len, out);
}

std::wstring ANSIToUnicode(const std::string& text)
{
    std::wstring out;
    MultiByteToWide(text.c_str(), text.size(), out);
    return out;
}

std::string UnicodeToANSI(const std::wstring& text)
{
    // Encoded here rather than through a locale: "en_US.utf8" is missing on
    // many systems, and the output must be UTF-8 wherever the program runs.
    std::string out;
    out.reserve(text.size() * 3);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const uint32_t c = static_cast<uint32_t>(text[i]);
        if (c == 0) {
            break;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            AppendUtf8(out, REPLACEMENT_CHAR);
            continue;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring String2WString(const std::string& text)
{
    return ANSIToUnicode(text);
}

std::size_t Ucs2UnitCount(const std::wstring& text)
{
    std::size_t units = 0;
    for (wchar_t c : text) {
        units += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
    }
    return units;
}
