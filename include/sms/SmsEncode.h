#ifndef TARNEL_SMSENCODE_H
#define TARNEL_SMSENCODE_H

// SMS-SUBMIT encoder (PDU mode, UCS-2 user data) and the hex helpers that the
// decoder shares. All PDU text is upper-case hex, two characters per octet.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "SmsParam.h"

// Concatenation reference of the last long message (1..255) and whether it
// has been seeded from the clock. Advanced once per long message, in one
// atomic step: messages built on several threads at once get distinct
// references (until 255 later they come round again).
extern std::atomic<int16_t> g_sSplitIndex;
extern std::atomic<bool> bInitSplitIndex;

// A part header from GetSubmitPdu never needs more than this, NUL included.
constexpr int SUBMIT_PDU_HEADER_MAX = 96;
// User data of one part of a concatenated message: 67 UCS-2 units.
constexpr int LONG_SMS_PART_UNITS = 67;
// Most UCS-2 units one single-part SMS can carry (140 octets).
constexpr int SHORT_SMS_MAX_UNITS = 70;

// Converts `nSrcLength` hex characters (an even count) of `pSrc` into
// nSrcLength / 2 octets at `pDst`; returns that count. Reads exactly
// nSrcLength characters (does not stop at a NUL). Digits and 'A'..'F' (also
// 'a'..'f') have their values; any other character gives an unspecified
// nibble, never an out-of-bounds access.
int gsmString2Bytes(const char* pSrc, unsigned char* pDst, int nSrcLength);

// Writes `nSrcLength` octets as 2 * nSrcLength upper-case hex characters plus
// a NUL at `pDst` (room for 2 * nSrcLength + 1); returns 2 * nSrcLength.
int gsmBytes2String(const unsigned char* pSrc, char* pDst, int nSrcLength);

// Semi-octet form of a digit string: swaps each pair of characters; an odd
// length ends in 'F' followed by the last digit ("12345" -> "2143F5").
// Writes the result and a NUL (room for nSrcLength + 2); returns the length
// rounded up to even.
int gsmInvertNumbers(const char* pSrc, char* pDst, int nSrcLength);

// Converts the first `nSrcLength` bytes of `pSrc` (stopping at a NUL) to
// UCS-2 big-endian at `pDst`, which must hold 2 * nSrcLength octets; no more
// are ever written. Characters above U+FFFF become UTF-16 surrogate pairs.
// Returns the octet count, or -1 when the text is valid neither in the
// environment's encoding nor as UTF-8.
int gsmEncodeUcs2(const char* pSrc, unsigned char* pDst, int nSrcLength);

// Single-part SMS from `pSrc->tp_ud` (NUL-terminated), to `pSrc->tpa`,
// through `pSrc->sca` ("" = the modem's own centre). Returns the PDU hex text
// followed by Ctrl-Z and sets `strCmd` to "AT+CMGS=<TPDU octets>\r".
// Returns "" and clears `strCmd` when the text cannot be encoded or needs
// more than 140 octets (the caller sends longer texts as concatenated parts).
std::string gsmEncodePduNew(const SM_PARAM* pSrc, std::string& strCmd);

// Header of one part of a concatenated SMS, from the service-centre octets up
// to the validity period, as hex at `pDst` (SUBMIT_PDU_HEADER_MAX bytes).
// A leading '+' of `sca` or `tpa` is skipped. Returns its length in characters.
int GetSubmitPdu(const SM_PARAM* pSrc, char* pDst);

// Concatenated SMS of the text at `pSrc->text`: appends one PDU hex text per
// part to `vecPdu` (no Ctrl-Z), each with the 8-bit concatenation header and
// the next reference. A part carries at most 67 UCS-2 units and never ends
// between the two halves of a surrogate pair. Returns false, appending
// nothing, when the text is empty, cannot be encoded, or needs more than 255
// parts. `bUcs2` is accepted for callers that pass it; UCS-2 is always used.
bool gsmLongSmsPdu(const SM_PARAM* pSrc, std::vector<std::string>& vecPdu, bool bUcs2);

// The GSM 7-bit form of `text` (TS 23.038 default alphabet): one septet per
// character, a character of the default extension table as the escape 0x1B
// followed by its septet. Returns false, with `septets` empty, when a
// character is in neither table.
bool gsmWideToGsm7(const std::wstring& text, std::vector<uint8_t>& septets);

// Appends the `n` septets at `septets` (bit 7 of each ignored) packed into
// octets, bit 0 first, as upper-case hex to `out`, after `fillBits` (0..7)
// zero bits, those that bring a text to a septet boundary after a user-data
// header. A last octet's unused high bits are zero.
void gsmAppendPackedSeptets(std::string& out, const uint8_t* septets, std::size_t n, unsigned int fillBits);

// SMS-SUBMITs of the text at `pSrc->text` in GSM 7-bit (data coding scheme 0),
// appended to `vecPdu` as hex (no Ctrl-Z): one PDU of the single-part form
// (as gsmEncodePduNew's) when the text takes at most 160 septets, else parts
// of at most 153 septets with the 8-bit concatenation header and the next
// reference, in the part form of gsmLongSmsPdu; a part never ends between an
// escape and its character. Returns false, appending nothing, when the text
// cannot be read, does not fit the alphabet, or needs more than 255 parts.
bool gsmGsm7SmsPdu(const SM_PARAM* pSrc, std::vector<std::string>& vecPdu);

#endif
