#ifndef TARNEL_USSDTEXT_H
#define TARNEL_USSDTEXT_H

// USSD replies: the "+CUSD:" line a modem sends when the network answers a
// code, and the decoding of its text by the data coding scheme (TS 23.038,
// the cell-broadcast scheme USSD shares) and the modem's character set.

#include <string>

// One "+CUSD: <status>[,"<text>",<dcs>]" reply.
struct UssdLine_t
{
    int status = -1;       // 0 done, 1 further action required, 2 ended by the network, ...
    bool hasText = false;  // text and dcs were given
    std::string text;      // between the quotes, exactly as on the line
    int dcs = -1;          // -1 when not given
};

enum UssdLineState_t
{
    USSD_LINE_NONE,        // no "+CUSD:" in the answer
    USSD_LINE_INCOMPLETE,  // a "+CUSD:" whose end has not come (yet)
    USSD_LINE_COMPLETE,
};

// Looks for the first "+CUSD:" at or after `from` in `answer` and reads it.
// The text may hold CR LF (menus), '"' and ',' as they are: it ends at the
// last '"' of the first line (after the opening quote) that ends in
// '",<dcs>'. A line counts only once its CR or LF has come; a reply without a
// status, with an unclosed quote or without a DCS after its text stays
// INCOMPLETE. `end` is set to the offset just past the reply's line.
UssdLineState_t ParseUssdLine(const std::string& answer, std::size_t from, UssdLine_t& line, std::size_t& end);

// How the modem puts 7-bit texts on the line.
enum UssdSevenBitForm_t
{
    USSD_7BIT_CHARSET,  // converted into the character set in force (AT+CSCS)
    USSD_7BIT_PACKED,   // the septets packed into octets, as hex
};

// The text of a reply, as UTF-8. `charset` is the AT+CSCS character set in
// force when the reply came ("GSM", "IRA", "UCS2", "8859-1", "UTF-8"; any
// other is read as IRA). By the DCS: 7-bit texts as `form` says (packed: a
// final padding CR is dropped, a CR of an octet boundary is kept once), UCS-2
// as hex, 8-bit data as upper-case hex, a compressed text as its hex; DCS
// 0x10 and 0x11 lose their language indication. Returns false, with `text` the
// line's text made valid UTF-8, when the data do not fit the DCS (an odd or
// non-hex digit count where hex is due, a text shorter than its language
// indication); the text is then shown, never read past.
bool DecodeUssdText(const UssdLine_t& line, const std::string& charset, UssdSevenBitForm_t form, std::string& text);

// A USSD code as packed 7-bit hex ("*100#" -> "AA180C3602"), for modems that
// take the code so. The code holds only digits, '*' and '#'.
std::string PackUssdCode(const std::string& code);

#endif
