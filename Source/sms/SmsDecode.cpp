#include "SmsDecode.h"

#include <cstdint>
#include <cstring>

#include "SmsGsm7Tables.h"
#include "SmsTime.h"

namespace {

// A DELIVER is at most 12 octets of centre address and 164 of TPDU; this leaves
// room for a malformed UDL of 255 behind long addresses. Octets past it are ignored.
constexpr int MAX_PDU_OCTETS = 512;

// 255 septets, each up to 3 bytes of UTF-8 (the euro sign), plus NUL.
static_assert(sizeof(SM_PARAM::tp_ud) >= 255 * 3 + 1, "tp_ud too small for a full 7-bit text");
// 255 octets of user data as hex, plus NUL.
static_assert(sizeof(SM_PARAM::szPartData) >= 255 * 2 + 1, "szPartData too small for a UDL of 255");

struct HexTable
{
    int8_t v[256];
    constexpr HexTable() : v()
    {
        for (int i = 0; i < 256; ++i) {
            v[i] = -1;
        }
        for (int i = 0; i < 10; ++i) {
            v['0' + i] = static_cast<int8_t>(i);
        }
        for (int i = 0; i < 6; ++i) {
            v['A' + i] = static_cast<int8_t>(10 + i);
            v['a' + i] = static_cast<int8_t>(10 + i);
        }
    }
};
constexpr HexTable HEX;

const char HEX_DIGITS[] = "0123456789ABCDEF";

// Text written into a fixed buffer: always NUL-terminated, never a partial
// UTF-8 character. Once a character does not fit, nothing more is written, so
// a cut text is a prefix of the real one.
class TextOut
{
public:
    TextOut(char* dst, int size) : m_p(dst), m_cap(size > 0 ? size : 0)
    {
        if (m_cap > 0) {
            m_p[0] = '\0';
        }
    }
    void Put(const char* s, int n)
    {
        if (m_full || m_len + n >= m_cap) {
            m_full = true;
            return;
        }
        std::memcpy(m_p + m_len, s, static_cast<size_t>(n));
        m_len += n;
        m_p[m_len] = '\0';
    }
    // Raw bytes, cut to the room left rather than dropped whole.
    void PutBytes(const char* s, int n)
    {
        const int room = m_cap - 1 - m_len;
        if (!m_full && room > 0) {
            Put(s, n < room ? n : room);
        }
        if (n > room) {
            m_full = true;
        }
    }
    int Length() const { return m_len; }

private:
    char* m_p;
    int m_cap;
    int m_len = 0;
    bool m_full = false;
};

// The same interface over a growing string, for gsmDecodeNew2.
class StringOut
{
public:
    explicit StringOut(std::string& s) : m_s(s) {}
    void Put(const char* s, int n) { m_s.append(s, static_cast<size_t>(n)); }

private:
    std::string& m_s;
};

int EncodeUtf8(uint32_t cp, char* b)
{
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | (cp >> 6));
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | (cp >> 12));
        b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    b[0] = static_cast<char>(0xF0 | (cp >> 18));
    b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    b[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Text a reader can take as it is: valid UTF-8 (shortest forms, no
// surrogates) without control characters other than tab, LF and CR.
bool IsPlainText(const unsigned char* s, int n)
{
    int i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        // Sequence length from the lead byte; its payload bits; the smallest
        // code point that needs this length.
        const int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0) {
            return false;
        }
        static const uint32_t LEAST[5] = {0, 0, 0x80, 0x800, 0x10000};
        const uint32_t least = LEAST[len];
        uint32_t cp = c & (0x7Fu >> len);
        if (len > n - i) {
            return false;
        }
        for (int k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = cp << 6 | (s[i + k] & 0x3Fu);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0) {
            return false;  // overlong, out of range, a surrogate or a C1 control
        }
        i += len;
    }
    return true;
}

// UTF-16BE to UTF-8; stops at a zero unit, as the text is a C string anyway.
template <class Out>
void Utf16ToText(const unsigned char* s, int nOctets, Out& out)
{
    const int units = nOctets / 2;
    char b[4];
    for (int i = 0; i < units; ++i) {
        uint32_t u = static_cast<uint32_t>(s[2 * i]) << 8 | s[2 * i + 1];
        if (u == 0) {
            break;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const uint32_t lo = static_cast<uint32_t>(s[2 * i + 2]) << 8 | s[2 * i + 3];
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;  // a lone half of a pair: mark it, keep the rest
        }
        out.Put(b, EncodeUtf8(u, b));
    }
}

// The tables 7-bit text is read with: the locking table in force and the
// single shift table an escape selects. The default alphabet unless a
// user-data header names a national language.
struct Gsm7Alphabet
{
    const uint16_t* lock = GSM7_LOCKING_SHIFT[0];
    const uint16_t* shift = GSM7_SINGLE_SHIFT[0];
};

template <class Out>
void PutCodePoint(Out& out, uint32_t cp)
{
    char b[4];
    out.Put(b, EncodeUtf8(cp, b));
}

template <class Out>
void PutString(Out& out, const char* s)
{
    out.Put(s, static_cast<int>(std::strlen(s)));
}

// Septets [first, end) of packed data as text. The caller makes sure that
// septet end - 1 lies within nOctets.
template <class Out>
void Gsm7ToText(const unsigned char* d, int nOctets, int first, int end, const Gsm7Alphabet& alphabet,
                Out& out)
{
    for (int i = first; i < end; ++i) {
        unsigned int s = gsmSeptetAt(d, nOctets, i);
        if (s == 0x1B) {
            if (i + 1 >= end) {
                break;  // an escape with nothing behind it shows nothing
            }
            s = gsmSeptetAt(d, nOctets, ++i);
            if (alphabet.shift[s] != 0) {
                PutCodePoint(out, alphabet.shift[s]);  // a second escape reads as a space here
                continue;
            }
            // No such character in the single shift table: the standard asks
            // for the locking table's one.
        }
        // Some national tables have gaps: a septet there is marked, not dropped.
        PutCodePoint(out, alphabet.lock[s] != 0 ? alphabet.lock[s] : 0xFFFD);
    }
}

template <class Out>
void PutHex(Out& out, const unsigned char* d, int n)
{
    char b[2];
    for (int i = 0; i < n; ++i) {
        b[0] = HEX_DIGITS[d[i] >> 4];
        b[1] = HEX_DIGITS[d[i] & 0x0F];
        out.Put(b, 2);
    }
}

// An address value of `digits` semi-octets in `nOctets` octets (fewer when the
// PDU is cut). Alphanumeric addresses (type of number 101) are packed 7-bit text.
void ReadAddress(const unsigned char* a, int nOctets, int digits, unsigned char toa, char* dst,
                 int dstSize)
{
    TextOut out(dst, dstSize);
    if ((toa & 0x70) == 0x50) {
        const int septets = digits * 4 / 7;
        const int avail = nOctets * 8 / 7;
        Gsm7ToText(a, nOctets, 0, septets < avail ? septets : avail, Gsm7Alphabet(), out);
        return;
    }
    static const char BCD[] = "0123456789*#abc";
    for (int i = 0; i < digits && i / 2 < nOctets; ++i) {
        const unsigned int nib = (i & 1) ? (a[i / 2] >> 4) : (a[i / 2] & 0x0F);
        if (nib != 0x0F) {  // the filler, never a digit
            out.Put(&BCD[nib], 1);
        }
    }
}

// Reads octets front to back; a field past the end of the PDU reads as absent.
class Cursor
{
public:
    Cursor(const unsigned char* d, int n) : m_d(d), m_n(n) {}
    bool Octet(unsigned char& v)
    {
        if (m_pos >= m_n) {
            return false;
        }
        v = m_d[m_pos++];
        return true;
    }
    // Up to n octets; `got` tells how many are really there. Always advances by
    // n (clamped to the end), so a wrong length cannot move reading backwards.
    const unsigned char* Field(int n, int& got)
    {
        const int left = m_n - m_pos;
        got = n < left ? n : left;
        const unsigned char* p = m_d + m_pos;
        m_pos += got;
        return p;
    }

private:
    const unsigned char* m_d;
    int m_n;
    int m_pos = 0;
};

// The octets of a hex PDU, as many as are valid and at most MAX_PDU_OCTETS,
// with a cursor at the first; a null PDU has none.
struct PduOctets
{
    explicit PduOctets(const char* hex)
        : cursor(octets, hex == nullptr ? 0 : gsmHexToBytes(hex, MAX_PDU_OCTETS * 2, octets, MAX_PDU_OCTETS))
    {
    }
    unsigned char octets[MAX_PDU_OCTETS];
    Cursor cursor;
};

void ClearDecoded(SM_PARAM* p)
{
    p->nPartNumber = 0;
    p->nPartCount2 = 0;
    p->sca[0] = '\0';
    p->tpa[0] = '\0';
    p->tp_pid = 0;
    p->tp_dcs = 0;
    std::memset(p->tp_scts, 0, sizeof p->tp_scts);
    std::memset(p->tp_ud, 0, sizeof p->tp_ud);
    p->nReference2 = 0;
    p->szPartData[0] = '\0';
    p->nPartDataLen = 0;
    p->bConcatenated = false;
    p->nReference = 0;
    p->nPartCount = 0;
    p->bHasPort = false;
    p->nDestPort = 0;
    p->bStatusReport = false;
    p->bUndecodable = false;
    p->tp_mr = 0;
    p->tp_st = 0;
    std::memset(p->tp_dt, 0, sizeof p->tp_dt);
}

// Service centre: length in octets (type included), type, semi-octets. A
// length of 0 means no centre address.
bool ReadCentre(Cursor& c, SM_PARAM* p)
{
    unsigned char len = 0;
    if (!c.Octet(len)) {
        return false;
    }
    if (len == 0) {
        return true;
    }
    int got = 0;
    const unsigned char* f = c.Field(len, got);
    if (got > 1) {
        ReadAddress(f + 1, got - 1, (len - 1) * 2, f[0], p->sca, sizeof p->sca);
    }
    return got == len;
}

// A time stamp: 7 octets of swapped semi-octets (year, month, day, hour,
// minute, second, zone) as 14 characters. Only one that names an instant is
// kept: a cut one, or octets that are no date (a junk line read as a PDU),
// leave the field empty rather than show "AA-AA-AA" as a date.
bool ReadTimeStamp(Cursor& c, char* dst, int dstSize)
{
    int got = 0;
    const unsigned char* ts = c.Field(7, got);
    char digits[15] = {};
    for (int i = 0; i < got; ++i) {
        digits[2 * i] = HEX_DIGITS[ts[i] & 0x0F];  // semi-octets: low nibble first
        digits[2 * i + 1] = HEX_DIGITS[ts[i] >> 4];
    }
    int64_t instant = 0;
    TextOut out(dst, dstSize);
    if (gsmTimeStampToUtc(digits, &instant)) {
        PutString(out, digits);
    }
    return got == 7;
}

// Originating or destination address: length in semi-octets, type, value.
bool ReadPartyAddress(Cursor& c, SM_PARAM* p)
{
    unsigned char digits = 0;
    unsigned char toa = 0;
    if (!c.Octet(digits) || !c.Octet(toa)) {
        return false;
    }
    const int octets = (digits + 1) / 2;
    int got = 0;
    const unsigned char* f = c.Field(octets, got);
    ReadAddress(f, got, digits, toa, p->tpa, sizeof p->tpa);
    return got == octets;
}

// A national language table by the id a shift element gives; an id this
// program does not know reads as the default alphabet.
const uint16_t* LanguageTable(const uint16_t (&tables)[GSM7_LANGUAGE_COUNT][128], unsigned char id)
{
    return tables[id < GSM7_LANGUAGE_COUNT ? id : 0];
}

// The elements of a user-data header that this decoder uses: concatenation,
// application ports and national language shifts. Of a repeated element the
// last one counts, as the standard says; an element whose length does not
// fit its kind is skipped.
void ReadHeader(const unsigned char* h, int n, SM_PARAM* p, Gsm7Alphabet& alphabet)
{
    int i = 0;
    while (i + 2 <= n) {
        const unsigned char iei = h[i];
        const int iel = h[i + 1];
        const unsigned char* e = h + i + 2;
        if (i + 2 + iel > n) {
            break;
        }
        if (iei == 0x00 && iel == 3) {
            p->bConcatenated = true;
            p->nReference = e[0];
            p->nPartCount = e[1];
            p->nPartNumber = e[2];
        } else if (iei == 0x08 && iel == 4) {
            p->bConcatenated = true;
            p->nReference = static_cast<uint16_t>(e[0] << 8 | e[1]);
            p->nPartCount = e[2];
            p->nPartNumber = e[3];
        } else if (iei == 0x04 && iel == 2) {  // 8-bit destination and origin ports
            p->bHasPort = true;
            p->nDestPort = e[0];
        } else if (iei == 0x05 && iel == 4) {  // the same, 16-bit
            p->bHasPort = true;
            p->nDestPort = static_cast<uint16_t>(e[0] << 8 | e[1]);
        } else if (iei == 0x24 && iel == 1) {
            alphabet.shift = LanguageTable(GSM7_SINGLE_SHIFT, e[0]);
        } else if (iei == 0x25 && iel == 1) {
            alphabet.lock = LanguageTable(GSM7_LOCKING_SHIFT, e[0]);
        }
        i += 2 + iel;
    }
    p->nReference2 = static_cast<unsigned char>(p->nReference & 0xFF);
    p->nPartCount2 = p->nPartCount;
}

// UDL and user data, shared by both PDU types. Returns the text length.
int ReadUserData(Cursor& c, unsigned char fo, SM_PARAM* p)
{
    unsigned char udl = 0;
    if (!c.Octet(udl)) {
        return 0;
    }
    const GsmAlphabet_t alphabet = gsmDcsAlphabet(p->tp_dcs);
    const int declared = alphabet == GSM_ALPHABET_7BIT ? (udl * 7 + 7) / 8 : udl;
    int octets = 0;
    const unsigned char* ud = c.Field(declared, octets);

    int headerOctets = 0;
    Gsm7Alphabet gsm7;
    if ((fo & 0x40) && octets > 0) {
        headerOctets = 1 + ud[0];
        if (headerOctets > octets) {
            headerOctets = octets;
        }
        ReadHeader(ud + 1, headerOctets - 1, p, gsm7);
    }
    if (p->bConcatenated) {
        TextOut hex(p->szPartData, sizeof p->szPartData);
        PutHex(hex, ud + headerOctets, octets - headerOctets);
        p->nPartDataLen = hex.Length();
    }

    TextOut out(p->tp_ud, sizeof p->tp_ud);
    switch (alphabet) {
    case GSM_ALPHABET_7BIT: {
        // The text starts at the first septet boundary after the header.
        const int first = (headerOctets * 8 + 6) / 7;
        const int avail = octets * 8 / 7;
        Gsm7ToText(ud, octets, first, udl < avail ? udl : avail, gsm7, out);
        break;
    }
    case GSM_ALPHABET_8BIT: {
        const std::string text = gsm8bitText(ud + headerOctets, octets - headerOctets, p->bHasPort, p->nDestPort);
        out.PutBytes(text.data(), static_cast<int>(text.size()));
        break;
    }
    case GSM_ALPHABET_UCS2:
        Utf16ToText(ud + headerOctets, octets - headerOctets, out);
        break;
    case GSM_ALPHABET_NONE: {
        // Shown as it came, so that nothing of it is lost to the reader.
        p->bUndecodable = true;
        const std::string text = gsmHexDataText("compressed data", ud + headerOctets, octets - headerOctets);
        out.PutBytes(text.data(), static_cast<int>(text.size()));
        break;
    }
    }
    return out.Length();
}

}  // namespace

GsmAlphabet_t gsmDcsAlphabet(unsigned char dcs)
{
    switch (dcs >> 4) {
    case 0x0: case 0x1: case 0x2: case 0x3:  // general data coding
    case 0x4: case 0x5: case 0x6: case 0x7:  // the same, marked for automatic deletion
        if (dcs & 0x20) {
            return GSM_ALPHABET_NONE;  // compressed
        }
        switch ((dcs >> 2) & 3) {
        case 1: return GSM_ALPHABET_8BIT;
        case 2: return GSM_ALPHABET_UCS2;
        default: return GSM_ALPHABET_7BIT;  // 0, and reserved 3
        }
    case 0xE:  // message waiting, UCS2
        return GSM_ALPHABET_UCS2;
    case 0xF:  // data coding / message class
        return (dcs & 0x04) ? GSM_ALPHABET_8BIT : GSM_ALPHABET_7BIT;
    default:  // message waiting in the default alphabet, and reserved groups
        return GSM_ALPHABET_7BIT;
    }
}

int gsmDecodePdu(const char* pSrc, SM_PARAM* pDst)
{
    ClearDecoded(pDst);
    PduOctets pdu(pSrc);
    Cursor& c = pdu.cursor;

    unsigned char fo = 0;
    if (!ReadCentre(c, pDst) || !c.Octet(fo) || !ReadPartyAddress(c, pDst) ||
        !c.Octet(pDst->tp_pid) || !c.Octet(pDst->tp_dcs)) {
        return 0;
    }
    ReadTimeStamp(c, pDst->tp_scts, sizeof pDst->tp_scts);
    return ReadUserData(c, fo, pDst);
}

int gsmDecodeSendPdu(const char* pSrc, SM_PARAM* pDst)
{
    ClearDecoded(pDst);
    PduOctets pdu(pSrc);
    Cursor& c = pdu.cursor;

    unsigned char fo = 0;
    unsigned char mr = 0;
    if (!ReadCentre(c, pDst) || !c.Octet(fo) || !c.Octet(mr) || !ReadPartyAddress(c, pDst) ||
        !c.Octet(pDst->tp_pid) || !c.Octet(pDst->tp_dcs)) {
        return 0;
    }
    // Validity period format, bits 4-3: none, enhanced (7), relative (1), absolute (7).
    static const int VP_OCTETS[4] = {0, 7, 1, 7};
    int got = 0;
    c.Field(VP_OCTETS[(fo >> 3) & 3], got);
    return ReadUserData(c, fo, pDst);
}

GsmMti_t gsmPduMti(const char* pSrc)
{
    PduOctets pdu(pSrc);
    Cursor& c = pdu.cursor;
    unsigned char len = 0;
    unsigned char fo = 0;
    int got = 0;
    if (!c.Octet(len)) {
        return GSM_MTI_NONE;
    }
    c.Field(len, got);
    if (got != len || !c.Octet(fo)) {
        return GSM_MTI_NONE;
    }
    return static_cast<GsmMti_t>(fo & 0x03);
}

int gsmDecodeStatusReport(const char* pSrc, SM_PARAM* pDst)
{
    ClearDecoded(pDst);
    PduOctets pdu(pSrc);
    Cursor& c = pdu.cursor;

    // A report without its status cannot say what became of the message, so
    // it is no status report for the reader; what it holds is still kept.
    unsigned char fo = 0;
    if (!ReadCentre(c, pDst) || !c.Octet(fo) || !c.Octet(pDst->tp_mr) || !ReadPartyAddress(c, pDst) ||
        !ReadTimeStamp(c, pDst->tp_scts, sizeof pDst->tp_scts) ||
        !ReadTimeStamp(c, pDst->tp_dt, sizeof pDst->tp_dt) || !c.Octet(pDst->tp_st)) {
        return 0;
    }
    pDst->bStatusReport = true;
    TextOut out(pDst->tp_ud, sizeof pDst->tp_ud);
    PutString(out, gsmStatusText(pDst->tp_st));
    return out.Length();
}

GsmStatusClass_t gsmStatusClass(unsigned char st)
{
    if (st < 0x20) {
        return GSM_STATUS_DELIVERED;
    }
    return st < 0x40 ? GSM_STATUS_PENDING : GSM_STATUS_FAILED;
}

const char* gsmStatusText(unsigned char st)
{
    static const char* const TEXTS[] = {
        "Status report: delivered",
        "Status report: not delivered yet, still trying",
        "Status report: delivery failed",
    };
    return TEXTS[gsmStatusClass(st)];
}

namespace {

// "[<what>, <n> bytes<extra>] <HEX>": octets shown so that none is lost.
std::string BracketedHex(const char* what, const unsigned char* pSrc, int nSrcLength, const std::string& extra)
{
    const int n = pSrc != nullptr && nSrcLength > 0 ? nSrcLength : 0;
    std::string text = "[" + std::string(what) + ", " + std::to_string(n) + (n == 1 ? " byte" : " bytes") + extra;
    text += ']';
    if (n > 0) {
        text += ' ';
        StringOut out(text);
        PutHex(out, pSrc, n);
    }
    return text;
}

}  // namespace

std::string gsm8bitText(const unsigned char* pSrc, int nSrcLength, bool hasPort, unsigned int port)
{
    const int n = pSrc != nullptr && nSrcLength > 0 ? nSrcLength : 0;
    if (!hasPort && IsPlainText(pSrc, n)) {
        return std::string(reinterpret_cast<const char*>(pSrc), static_cast<size_t>(n));
    }
    return BracketedHex("binary data", pSrc, n, hasPort ? ", port " + std::to_string(port) : std::string());
}

std::string gsmHexDataText(const char* what, const unsigned char* pSrc, int nSrcLength)
{
    return BracketedHex(what, pSrc, nSrcLength, std::string());
}

int gsmSerializeNumbers(const char* pSrc, char* pDst, int nSrcLength, int nDstSize)
{
    TextOut out(pDst, nDstSize);
    if (pSrc == nullptr) {
        return 0;
    }
    int n = 0;
    while (n < nSrcLength && pSrc[n] != '\0') {
        ++n;
    }
    for (int i = 0; i + 1 < n; i += 2) {
        out.Put(&pSrc[i + 1], 1);
        if (!(i + 2 >= n && pSrc[i] == 'F')) {
            out.Put(&pSrc[i], 1);
        }
    }
    return out.Length();
}

unsigned int gsmSeptetAt(const unsigned char* pSrc, int nOctets, int i)
{
    const int bit = i * 7;
    const int k = bit >> 3;
    unsigned int v = pSrc[k];
    if (k + 1 < nOctets) {
        v |= static_cast<unsigned int>(pSrc[k + 1]) << 8;
    }
    return (v >> (bit & 7)) & 0x7F;
}

int gsmDecode7bit(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize)
{
    TextOut out(pDst, nDstSize);
    if (pSrc != nullptr && nSrcLength > 0) {
        Gsm7ToText(pSrc, nSrcLength, 0, nSrcLength * 8 / 7, Gsm7Alphabet(), out);
    }
    return out.Length();
}

int gsmDecode8bit(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize)
{
    TextOut out(pDst, nDstSize);
    if (pSrc != nullptr && nSrcLength > 0) {
        out.PutBytes(reinterpret_cast<const char*>(pSrc), nSrcLength);
    }
    return out.Length();
}

int gsmDecodeUcs2(const unsigned char* pSrc, char* pDst, int nSrcLength, int nDstSize)
{
    TextOut out(pDst, nDstSize);
    if (pSrc != nullptr && nSrcLength > 0) {
        Utf16ToText(pSrc, nSrcLength, out);
    }
    return out.Length();
}

std::string gsmDecodeNew2(const unsigned char* pSrc, int nSrcLength)
{
    std::string text;
    if (pSrc != nullptr && nSrcLength > 0) {
        text.reserve(static_cast<size_t>(nSrcLength) * 3 / 2);
        StringOut out(text);
        Utf16ToText(pSrc, nSrcLength, out);
    }
    return text;
}

int gsmHexToBytes(const char* pSrc, int nSrcLength, unsigned char* pDst, int nDstSize)
{
    if (pSrc == nullptr) {
        return 0;
    }
    int n = 0;
    for (int i = 0; i + 1 < nSrcLength && n < nDstSize; i += 2) {
        const int hi = HEX.v[static_cast<unsigned char>(pSrc[i])];
        if (hi < 0) {
            break;  // also the NUL: the second character is never read past it
        }
        const int lo = HEX.v[static_cast<unsigned char>(pSrc[i + 1])];
        if (lo < 0) {
            break;
        }
        pDst[n++] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return n;
}
