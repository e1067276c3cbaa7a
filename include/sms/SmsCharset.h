#ifndef TARNEL_SMSCHARSET_H
#define TARNEL_SMSCHARSET_H

// Conversions between the text the program handles (bytes in the
// environment's multibyte encoding, UTF-8 on the target), wide strings
// (32-bit wchar_t, one element per Unicode character) and UTF-8 output.
//
// Input text is read in the encoding named by the environment's locale
// (LC_ALL / LC_CTYPE / LANG). Where that conversion fails (no locale set, as
// under cron or a service manager, or a locale that is not installed) the
// text is read as UTF-8, the encoding of the program's own texts. Only text
// that is valid in neither gives the failure result.
//
// Threads: every function may be called from several threads at once. None
// changes the process locale: the environment's encoding, read at the first
// conversion, is used through a locale object that the converting thread
// selects for itself (uselocale) for the one conversion.

#include <cstddef>
#include <string>

// Multibyte text to wide characters. Conversion stops at the first NUL byte.
// Returns an empty string when the text is valid neither in the locale nor as
// UTF-8; use MultiByteToWide to tell that apart from empty input.
std::wstring ANSIToUnicode(const std::string& text);

// Wide characters to UTF-8, whatever the locale. Stops at the first zero
// character. A UTF-16 surrogate pair (high then low, as a UCS-2 decoder may
// leave it) becomes the one character it stands for; a lone surrogate or a
// value outside Unicode becomes U+FFFD, so one bad unit never empties a text.
std::string UnicodeToANSI(const std::wstring& text);

// Multibyte text to wide characters, for counting the characters of a
// message. The same conversion, fallback and failure result as ANSIToUnicode.
std::wstring String2WString(const std::string& text);

// The conversion behind the two functions above: reads at most `len` bytes
// of `text` (stopping at a NUL) into `out`, in the environment's encoding. Returns false, with `out` empty, when the text is valid neither
// in the environment's encoding nor as UTF-8.
bool MultiByteToWide(const char* text, std::size_t len, std::wstring& out);

// Strict UTF-8 decoding (no overlong forms, no surrogates, nothing above
// U+10FFFF); stops at a NUL. Returns false, with `out` empty, on invalid input.
bool Utf8ToWide(const char* text, std::size_t len, std::wstring& out);

// The number of UCS-2 (UTF-16) units `text` takes in an SMS: characters above
// U+FFFF count twice, as they go out as surrogate pairs.
std::size_t Ucs2UnitCount(const std::wstring& text);

#endif
