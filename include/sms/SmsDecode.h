#ifndef TARNEL_SMSDECODE_H
#define TARNEL_SMSDECODE_H

// Reading SMS PDUs (3GPP TS 23.040) as a modem lists them, with the alphabets
// of TS 23.038. Every byte read here may come from a stranger: each function
// bounds its reads to its input and its writes to the stated sizes, and a
// malformed PDU yields whatever part of it can be decoded, never a crash.
//
// Text comes out as UTF-8, independent of the process locale.

#include <cstddef>
#include <string>

#include "SmsParam.h"

// The alphabet a data coding scheme selects (TS 23.038, clause 4).
enum GsmAlphabet_t
{
    GSM_ALPHABET_7BIT = 0,   // GSM 7-bit default alphabet, packed septets
    GSM_ALPHABET_8BIT = 1,   // 8-bit data, copied as bytes
    GSM_ALPHABET_UCS2 = 2,   // UCS-2 / UTF-16 big-endian
    GSM_ALPHABET_NONE = 3    // compressed data: no text can be read from it
};

// The alphabet of `dcs`. Reserved coding groups read as the default alphabet,
// as the standard asks of a receiver.
GsmAlphabet_t gsmDcsAlphabet(unsigned char dcs);

// The message type (TP-MTI) a PDU's first octet names, read behind the
// service-centre address; GSM_MTI_NONE when the PDU is too short to hold it.
// In a modem's storage a received message is a DELIVER or a STATUS-REPORT,
// a stored outgoing one a SUBMIT.
enum GsmMti_t
{
    GSM_MTI_NONE = -1,
    GSM_MTI_DELIVER = 0,
    GSM_MTI_SUBMIT = 1,
    GSM_MTI_STATUS_REPORT = 2,
    GSM_MTI_RESERVED = 3
};
GsmMti_t gsmPduMti(const char* pSrc);

// Decodes an SMS-DELIVER given as hex text (either case; reading stops at the
// first character that is not a hex digit, so a trailing CR LF is harmless).
// Fills the decoder fields of `pDst`: sca, tpa, tp_pid, tp_dcs, tp_scts, tp_ud
// (the text of this PDU alone, UTF-8, NUL-terminated) and, for a part of a
// concatenated message (a user-data header with element 0x00 or 0x08, looked
// for only when the first octet has its header bit 0x40 set):
// bConcatenated, nReference (the full 8- or 16-bit reference), nReference2
// (its low octet), nPartCount, nPartCount2, nPartNumber, and szPartData /
// nPartDataLen (the user data behind the header, as upper-case hex).
// A header's application port element (0x04, 0x05) sets bHasPort and
// nDestPort; its national language shift elements (0x24 single, 0x25 locking)
// select the tables 7-bit text is read with (an unknown language reads as the
// default alphabet). 8-bit user data comes out as gsm8bitText gives it;
// compressed user data, which this decoder cannot read as text, sets
// bUndecodable and comes out as gsmHexDataText("compressed data", ...) gives
// it, never as an empty text.
// Decoder fields not set are zero. `text` and `bNational` are left alone.
// A time stamp (tp_scts here, tp_dt of a status report) is kept only when
// its 7 octets are all there and name an instant (gsmTimeStampToUtc accepts
// them: decimal semi-octets, a real date and time, a zone within 14 hours);
// otherwise it is empty and the rest of the PDU is decoded all the same.
// Returns the length in bytes of the text in tp_ud.
int gsmDecodePdu(const char* pSrc, SM_PARAM* pDst);

// The same for an SMS-SUBMIT as stored in the modem (a sent or unsent
// message): tpa is the destination, tp_scts stays empty; the validity period
// is skipped according to the format the first octet announces.
int gsmDecodeSendPdu(const char* pSrc, SM_PARAM* pDst);

// Decodes an SMS-STATUS-REPORT: sca, tp_mr (the reference of the message it
// reports on), tpa (that message's recipient), tp_scts, tp_dt (the discharge
// time, 14 characters like tp_scts), tp_st and tp_ud = gsmStatusText(tp_st).
// bStatusReport is set only when the PDU holds every field up to the status;
// a shorter one keeps what it holds and an empty tp_ud. The optional fields
// behind the status are not read. Returns the length of the text in tp_ud.
int gsmDecodeStatusReport(const char* pSrc, SM_PARAM* pDst);

// What a status (TP-ST) says about the reported message: 0x00-0x1F delivered
// (or otherwise completed), 0x20-0x3F not yet, the centre still trying,
// anything else failed (0x40-0x7F, and the reserved values above).
enum GsmStatusClass_t
{
    GSM_STATUS_DELIVERED = 0,
    GSM_STATUS_PENDING = 1,
    GSM_STATUS_FAILED = 2
};
GsmStatusClass_t gsmStatusClass(unsigned char st);

// The fixed English text of a status's class, as the JSON report shows it.
const char* gsmStatusText(unsigned char st);

// The text of n octets of 8-bit user data: the octets themselves when no
// application port is addressed and they are plain text (UTF-8 without
// control characters other than tab, LF and CR); otherwise
// "[binary data, <n> bytes, port <port>] " and the octets in upper-case hex
// (", port <port>" only when hasPort; "1 byte" for one; no blank and no hex
// for none). Either way the result is valid UTF-8 and loses no octet.
std::string gsm8bitText(const unsigned char* pSrc, int nSrcLength, bool hasPort, unsigned int port);

// The text of n octets shown as data: "[<what>, <n> bytes] " and the octets
// in upper-case hex ("1 byte" for one; no blank and no hex for none), the
// form gsm8bitText gives binary data. Valid UTF-8 when `what` is.
std::string gsmHexDataText(const char* what, const unsigned char* pSrc, int nSrcLength);

// Undoes the semi-octet swap of the first `nSrcLength` characters of pSrc
// (fewer if a NUL comes first): swaps each pair and drops a final 'F' filler.
// Writes at most nDstSize - 1 characters and a NUL (nothing if nDstSize <= 0);
// returns the number of characters written. "214365870921F3", 14 -> "1234567890123", 13.
int gsmSerializeNumbers(const char* pSrc, char* pDst, int nSrcLength, int nDstSize);

// Unpacks nSrcLength octets of packed 7-bit data (every septet they hold, so
// 7 octets give 8 characters) and writes their text as UTF-8, escapes to the
// extension table resolved. Writes at most nDstSize - 1 bytes and a NUL, never
// a partial character; returns the number of bytes written.
int gsmDecode7bit(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize);

// Septet `i` (0 <= i < nOctets * 8 / 7) of the packed septets in the
// `nOctets` octets at `pSrc`, counted from the first octet, bit 0 first.
unsigned int gsmSeptetAt(const unsigned char* pSrc, int nOctets, int i);

// Copies nSrcLength bytes and a NUL, at most nDstSize - 1 bytes; returns the count copied.
int gsmDecode8bit(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize);

// Reads nSrcLength / 2 big-endian UTF-16 code units and writes their text as
// UTF-8, stopping at a zero unit. Surrogate pairs become one character; an
// isolated surrogate becomes U+FFFD. Writes at most nDstSize - 1 bytes and a
// NUL, never a partial character; returns the number of bytes written.
int gsmDecodeUcs2(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize);

// The same conversion returned as a string; n = 0 gives "".
std::string gsmDecodeNew2(const unsigned char* pSrc, int nSrcLength);

// Converts hex text to octets: reads pairs of hex digits (either case) from the
// first nSrcLength characters, stopping at the first character that is not a
// hex digit or at a NUL, and writes at most nDstSize octets. Returns the
// number of octets written. A trailing odd digit is ignored.
int gsmHexToBytes(const char* pSrc, int nSrcLength, unsigned char* pDst, int nDstSize);

#endif
