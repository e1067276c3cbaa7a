#ifndef TARNEL_STRINGUTIL_H
#define TARNEL_STRINGUTIL_H

// String and time helpers shared by the controller and the modem layer.
// Their quirks are relied on by the answer handlers; keep them exact.

#include <string>
#include <vector>

// The lines of a modem answer: pieces ending at "\n" (a "\r" stays with its
// piece), empty pieces skipped. Text after the last "\n" is not returned, so a
// handler never judges a line that is still arriving.
std::vector<std::string> SplitStringToArray(std::string text);

// Fields separated by `separator`: empty fields between separators are kept,
// the rest after the last separator only when it is not empty.
std::vector<std::string> SplitStringByChar(std::string text, char separator);

// A copy of `text` with every `from` replaced by `to`.
std::string StringReplaceChar(std::string text, char from, char to);

// Replaces every `find` in `text` in place, left to right; inserted text is not
// searched again. `find` must not be empty (an empty `find` changes nothing).
void StringReplace(std::string& text, const std::string& find, const std::string& put);

// Removes one `c` from each end; strings shorter than 3 characters are returned unchanged.
std::string TrimChar(std::string text, char c);

// TrimChar repeated until nothing changes, at most 101 times.
std::string TrimAllChar(std::string text, char c);

// `text` made safe to print on a terminal: control characters that a
// stranger could use to move the cursor, recolour or retitle the operator's
// terminal (C0 and C1 controls, DEL, carriage return) become '?'; line feeds
// and tabs stay, as do all other UTF-8 characters.
std::string ToPrintableText(std::string text);

// Local time as "YYYY-MM-DD hh:mm:ss".
std::string GetCurTimeStr();

#endif
