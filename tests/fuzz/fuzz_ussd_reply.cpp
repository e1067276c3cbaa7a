// The "+CUSD:" reader and the USSD text decoder on any input: never a read
// past the answer, always valid UTF-8 out, a complete reply inside the answer.

#include <cstdint>
#include <string>

#include "UssdText.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte picks the character set and the 7-bit form; the rest is the answer.
    static const char* const CHARSETS[] = {"GSM", "IRA", "UCS2", "8859-1", "UTF-8", "HEX"};
    const char* charset = CHARSETS[data[0] % 6];
    const UssdSevenBitForm_t form = (data[0] & 0x80) ? USSD_7BIT_PACKED : USSD_7BIT_CHARSET;
    const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
    UssdLine_t line;
    std::size_t end = 0;
    if (ParseUssdLine(answer, 0, line, end) == USSD_LINE_COMPLETE) {
        fuzz::Require(end <= answer.size());
        fuzz::Require(line.text.size() < answer.size());
        std::string text;
        DecodeUssdText(line, charset, form, text);
        fuzz::Require(fuzz::ValidUtf8(text.data(), text.size()));
    }
    // The text alone, under every DCS the first byte gives.
    UssdLine_t raw;
    raw.hasText = true;
    raw.text = answer;
    raw.dcs = data[0];
    std::string text;
    DecodeUssdText(raw, charset, form, text);
    fuzz::Require(fuzz::ValidUtf8(text.data(), text.size()));
    return 0;
}
