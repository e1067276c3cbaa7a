#include "SmsEncode.h"

#include <cstring>
#include <ctime>
#include <mutex>

#include "SmsCharset.h"
#include "SmsGsm7Tables.h"

std::atomic<int16_t> g_sSplitIndex{0};
std::atomic<bool> bInitSplitIndex{false};

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";
constexpr char CTRL_Z = 0x1A;
constexpr int MAX_UD_OCTETS = 140;
constexpr std::size_t MAX_PARTS = 255;

void AppendHexOctet(std::string& out, unsigned int octet)
{
    out += HEX_DIGITS[(octet >> 4) & 0x0F];
    out += HEX_DIGITS[octet & 0x0F];
}

// Semi-octet digits of a number, after skipping one leading '+'.
void AppendSwappedDigits(std::string& out, const char* digits, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 2) {
        if (i + 1 < n) {
            out += digits[i + 1];
            out += digits[i];
        } else {
            out += 'F';
            out += digits[i];
        }
    }
}

// A bounded view of a fixed-size number field without its leading '+'.
struct NumberField
{
    const char* digits;
    std::size_t count;
};

NumberField ReadNumberField(const char* field, std::size_t size)
{
    std::size_t len = strnlen(field, size);
    if (len > 0 && field[0] == '+') {
        return {field + 1, len - 1};
    }
    return {field, len};
}

// UTF-16 units of a wide string: characters above U+FFFF become surrogate
// pairs rather than losing their high bits.
std::vector<uint16_t> WideToUcs2Units(const std::wstring& text)
{
    std::vector<uint16_t> units;
    units.reserve(text.size() + 4);
    for (wchar_t wc : text) {
        const uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0xFFFF && c <= 0x10FFFF) {
            const uint32_t v = c - 0x10000;
            units.push_back(static_cast<uint16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(c > 0x10FFFF ? 0xFFFD : c));
        }
    }
    return units;
}

void AppendUnitsHex(std::string& out, const uint16_t* units, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        AppendHexOctet(out, units[i] >> 8);
        AppendHexOctet(out, units[i] & 0xFF);
    }
}

bool IsHighSurrogate(uint16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// The part header of a concatenated SMS-SUBMIT up to its validity period.
std::string SubmitHeader(const SM_PARAM* pSrc, const char* dcs)
{
    std::string out;
    out.reserve(SUBMIT_PDU_HEADER_MAX);
    const NumberField sca = ReadNumberField(pSrc->sca, sizeof pSrc->sca);
    AppendHexOctet(out, static_cast<unsigned int>((sca.count + 1) / 2 + 1));
    out += "91";
    AppendSwappedDigits(out, sca.digits, sca.count);
    out += "5100";
    const NumberField tpa = ReadNumberField(pSrc->tpa, sizeof pSrc->tpa);
    AppendHexOctet(out, static_cast<unsigned int>(tpa.count));
    out += pSrc->bNational ? "A1" : "91";
    AppendSwappedDigits(out, tpa.digits, tpa.count);
    AppendHexOctet(out, pSrc->tp_pid);
    out += dcs;
    out += "A7";  // relative validity: 24 hours
    return out;
}

// A whole single-part SMS-SUBMIT: the short form's header, then the user-data
// length `udl` (octets for UCS-2, septets for 7-bit) and the user data.
// `tpduStart` is where the TPDU begins, after the service-centre octets.
std::string SingleSubmit(const SM_PARAM* pSrc, const char* dcs, unsigned int udl, const std::string& udHex,
                         std::size_t& tpduStart)
{
    std::string pdu;
    pdu.reserve(64 + udHex.size());
    const NumberField sca = ReadNumberField(pSrc->sca, sizeof pSrc->sca);
    if (sca.count == 0) {
        pdu += "00";  // the modem's own centre
    } else {
        AppendHexOctet(pdu, static_cast<unsigned int>((sca.count + 1) / 2 + 1));
        pdu += "91";
        AppendSwappedDigits(pdu, sca.digits, sca.count);
    }
    tpduStart = pdu.size();
    pdu += "1100";
    const NumberField tpa = ReadNumberField(pSrc->tpa, sizeof pSrc->tpa);
    AppendHexOctet(pdu, static_cast<unsigned int>(tpa.count));
    pdu += pSrc->bNational ? "81" : "91";
    AppendSwappedDigits(pdu, tpa.digits, tpa.count);
    pdu += "00";  // protocol identifier
    pdu += dcs;
    pdu += "AA";  // relative validity: 4 days
    AppendHexOctet(pdu, udl);
    pdu += udHex;
    return pdu;
}

constexpr uint8_t GSM7_ESCAPE = 0x1B;
// Septets of one SMS in 7-bit, and of one concatenated part after its
// 7-septet header (6 octets and one fill bit).
constexpr std::size_t GSM7_SINGLE_SEPTETS = 160;
constexpr std::size_t GSM7_PART_SEPTETS = 153;
constexpr unsigned int GSM7_HEADER_SEPTETS = 7;
constexpr unsigned int GSM7_HEADER_FILL_BITS = 1;

// The septet of `c` in `table`, or -1; the escape's own place is no character.
int SeptetIn(const uint16_t* table, wchar_t c)
{
    for (int s = 0; s < 128; ++s) {
        if (s != GSM7_ESCAPE && table[s] != 0 && static_cast<wchar_t>(table[s]) == c) {
            return s;
        }
    }
    return -1;
}

// Guards the one-time seeding of g_sSplitIndex; the advances need no lock.
std::mutex seed_lock;

uint8_t NextSplitIndex()
{
    if (!bInitSplitIndex.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> hold(seed_lock);
        if (!bInitSplitIndex.load(std::memory_order_relaxed)) {
            // Only needs to differ between runs, so receivers do not join
            // parts of two messages that happen to reuse a reference.
            g_sSplitIndex.store(static_cast<int16_t>(std::time(nullptr) % 255));
            bInitSplitIndex.store(true, std::memory_order_release);
        }
    }
    // One atomic step from the value read to the next: two threads building
    // messages at once never get the same reference.
    int16_t current = g_sSplitIndex.load();
    int16_t next;
    do {
        next = current < 255 && current >= 0 ? static_cast<int16_t>(current + 1) : int16_t{1};
    } while (!g_sSplitIndex.compare_exchange_weak(current, next));
    return static_cast<uint8_t>(next);
}

// Where each part of a text of `total` units ends: at most `perPart` units a
// part, one fewer where `keepsNext(last unit)` says that unit belongs with
// the next one. False when the part count octet cannot count the parts.
template <typename KeepsNext>
bool CutIntoParts(std::size_t total, std::size_t perPart, KeepsNext keepsNext, std::vector<std::size_t>& ends)
{
    for (std::size_t pos = 0; pos < total;) {
        std::size_t end = pos + perPart;
        if (end >= total) {
            end = total;
        } else if (keepsNext(end - 1)) {
            --end;
        }
        ends.push_back(end);
        pos = end;
        if (ends.size() > MAX_PARTS) {
            return false;
        }
    }
    return true;
}

// The part PDUs of one message, under the next reference: each is `header`,
// the user-data length `udlOf(unit count)`, the concatenation element (8-bit
// reference, part count, part number from 1), then what
// `appendText(part, first unit, unit count)` appends.
template <typename UdlOf, typename AppendText>
void AppendParts(const std::string& header, const std::vector<std::size_t>& ends, std::vector<std::string>& vecPdu,
                 UdlOf udlOf, AppendText appendText)
{
    const unsigned int reference = NextSplitIndex();
    const unsigned int count = static_cast<unsigned int>(ends.size());
    std::size_t start = 0;
    for (unsigned int k = 0; k < count; ++k) {
        const std::size_t n = ends[k] - start;
        std::string part;
        part.reserve(header.size() + 14 + 4 * n);
        part += header;
        AppendHexOctet(part, udlOf(n));
        part += "050003";
        AppendHexOctet(part, reference);
        AppendHexOctet(part, count);
        AppendHexOctet(part, k + 1);
        appendText(part, start, n);
        vecPdu.push_back(std::move(part));
        start = ends[k];
    }
}

}  // namespace

void gsmAppendPackedSeptets(std::string& out, const uint8_t* septets, std::size_t n, unsigned int fillBits)
{
    uint32_t bits = 0;
    unsigned int held = fillBits;
    for (std::size_t i = 0; i < n; ++i) {
        bits |= static_cast<uint32_t>(septets[i] & 0x7F) << held;
        held += 7;
        while (held >= 8) {
            AppendHexOctet(out, bits & 0xFF);
            bits >>= 8;
            held -= 8;
        }
    }
    if (held > 0) {
        AppendHexOctet(out, bits & 0xFF);
    }
}

int gsmString2Bytes(const char* pSrc, unsigned char* pDst, int nSrcLength)
{
    auto nibble = [](unsigned char c) -> unsigned int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return static_cast<unsigned int>(c - 55) & 0x0F;
    };
    const int n = nSrcLength / 2;
    for (int i = 0; i < n; ++i) {
        const unsigned char hi = static_cast<unsigned char>(pSrc[2 * i]);
        const unsigned char lo = static_cast<unsigned char>(pSrc[2 * i + 1]);
        pDst[i] = static_cast<unsigned char>((nibble(hi) << 4) | nibble(lo));
    }
    return n;
}

int gsmBytes2String(const unsigned char* pSrc, char* pDst, int nSrcLength)
{
    for (int i = 0; i < nSrcLength; ++i) {
        pDst[2 * i] = HEX_DIGITS[pSrc[i] >> 4];
        pDst[2 * i + 1] = HEX_DIGITS[pSrc[i] & 0x0F];
    }
    pDst[2 * (nSrcLength > 0 ? nSrcLength : 0)] = '\0';
    return nSrcLength > 0 ? 2 * nSrcLength : 0;
}

int gsmInvertNumbers(const char* pSrc, char* pDst, int nSrcLength)
{
    if (nSrcLength < 0) {
        nSrcLength = 0;
    }
    std::string out;
    AppendSwappedDigits(out, pSrc, static_cast<std::size_t>(nSrcLength));
    std::memcpy(pDst, out.data(), out.size());
    pDst[out.size()] = '\0';
    return static_cast<int>(out.size());
}

int gsmEncodeUcs2(const char* pSrc, unsigned char* pDst, int nSrcLength)
{
    if (nSrcLength <= 0) {
        return 0;
    }
    std::wstring wide;
    if (!MultiByteToWide(pSrc, static_cast<std::size_t>(nSrcLength), wide)) {
        return -1;
    }
    const std::vector<uint16_t> units = WideToUcs2Units(wide);
    const std::size_t capacity = 2 * static_cast<std::size_t>(nSrcLength);
    std::size_t written = 0;
    for (std::size_t i = 0; i < units.size() && written + 2 <= capacity; ++i) {
        pDst[written++] = static_cast<unsigned char>(units[i] >> 8);
        pDst[written++] = static_cast<unsigned char>(units[i] & 0xFF);
    }
    return static_cast<int>(written);
}

std::string gsmEncodePduNew(const SM_PARAM* pSrc, std::string& strCmd)
{
    strCmd.clear();
    std::wstring wide;
    if (!MultiByteToWide(pSrc->tp_ud, sizeof pSrc->tp_ud, wide)) {
        return std::string();
    }
    const std::vector<uint16_t> units = WideToUcs2Units(wide);
    const std::size_t udOctets = 2 * units.size();
    if (udOctets > MAX_UD_OCTETS) {
        return std::string();
    }

    std::string udHex;
    AppendUnitsHex(udHex, units.data(), units.size());
    std::size_t tpduStart = 0;
    std::string pdu = SingleSubmit(pSrc, "08", static_cast<unsigned int>(udOctets), udHex, tpduStart);

    strCmd = "AT+CMGS=" + std::to_string((pdu.size() - tpduStart) / 2) + "\r";
    pdu += CTRL_Z;
    return pdu;
}

int GetSubmitPdu(const SM_PARAM* pSrc, char* pDst)
{
    const std::string header = SubmitHeader(pSrc, "08");
    // Field sizes bound the header well below the buffer size.
    const std::size_t n = header.size() < static_cast<std::size_t>(SUBMIT_PDU_HEADER_MAX)
                              ? header.size()
                              : static_cast<std::size_t>(SUBMIT_PDU_HEADER_MAX) - 1;
    std::memcpy(pDst, header.data(), n);
    pDst[n] = '\0';
    return static_cast<int>(n);
}

bool gsmLongSmsPdu(const SM_PARAM* pSrc, std::vector<std::string>& vecPdu, bool bUcs2)
{
    (void)bUcs2;
    if (pSrc->text == nullptr) {
        return false;
    }
    std::wstring wide;
    if (!MultiByteToWide(pSrc->text, std::strlen(pSrc->text), wide) || wide.empty()) {
        return false;
    }
    const std::vector<uint16_t> units = WideToUcs2Units(wide);

    // A part that would end on the first half of a surrogate pair ends one
    // unit earlier, so that each part decodes alone.
    std::vector<std::size_t> ends;
    if (!CutIntoParts(units.size(), LONG_SMS_PART_UNITS,
                      [&](std::size_t last) { return IsHighSurrogate(units[last]); }, ends)) {
        return false;
    }
    AppendParts(
        SubmitHeader(pSrc, "08"), ends, vecPdu,
        [](std::size_t n) { return static_cast<unsigned int>(6 + 2 * n); },  // header and UCS-2 octets
        [&](std::string& part, std::size_t start, std::size_t n) { AppendUnitsHex(part, units.data() + start, n); });
    return true;
}

bool gsmWideToGsm7(const std::wstring& text, std::vector<uint8_t>& septets)
{
    septets.clear();
    septets.reserve(text.size());
    for (const wchar_t c : text) {
        const int plain = SeptetIn(GSM7_LOCKING_SHIFT[0], c);
        if (plain >= 0) {
            septets.push_back(static_cast<uint8_t>(plain));
            continue;
        }
        const int extended = SeptetIn(GSM7_SINGLE_SHIFT[0], c);
        if (extended < 0) {
            septets.clear();
            return false;
        }
        septets.push_back(GSM7_ESCAPE);
        septets.push_back(static_cast<uint8_t>(extended));
    }
    return true;
}

bool gsmGsm7SmsPdu(const SM_PARAM* pSrc, std::vector<std::string>& vecPdu)
{
    if (pSrc->text == nullptr) {
        return false;
    }
    std::wstring wide;
    std::vector<uint8_t> septets;
    if (!MultiByteToWide(pSrc->text, std::strlen(pSrc->text), wide) || !gsmWideToGsm7(wide, septets)) {
        return false;
    }
    if (septets.size() <= GSM7_SINGLE_SEPTETS) {
        std::string udHex;
        gsmAppendPackedSeptets(udHex, septets.data(), septets.size(), 0);
        std::size_t tpduStart = 0;
        vecPdu.push_back(SingleSubmit(pSrc, "00", static_cast<unsigned int>(septets.size()), udHex, tpduStart));
        return true;
    }

    // A part never ends on an escape: the character it announces would
    // arrive in the next part, and each part is read alone.
    std::vector<std::size_t> ends;
    if (!CutIntoParts(septets.size(), GSM7_PART_SEPTETS,
                      [&](std::size_t last) { return septets[last] == GSM7_ESCAPE; }, ends)) {
        return false;
    }
    AppendParts(
        SubmitHeader(pSrc, "00"), ends, vecPdu,
        [](std::size_t n) { return static_cast<unsigned int>(GSM7_HEADER_SEPTETS + n); },
        [&](std::string& part, std::size_t start, std::size_t n) {
            gsmAppendPackedSeptets(part, septets.data() + start, n, GSM7_HEADER_FILL_BITS);
        });
    return true;
}
