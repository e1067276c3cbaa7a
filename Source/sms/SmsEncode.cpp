#include "SmsEncode.h"

#include <cstring>
#include <ctime>
#include <mutex>

#include "SmsCharset.h"

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

std::string SubmitHeader(const SM_PARAM* pSrc)
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
    out += "08";  // the user data is always UCS-2
    out += "A7";  // relative validity: 24 hours
    return out;
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

}  // namespace

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

    std::string pdu;
    pdu.reserve(64 + 4 * units.size());
    const NumberField sca = ReadNumberField(pSrc->sca, sizeof pSrc->sca);
    if (sca.count == 0) {
        pdu += "00";  // the modem's own centre
    } else {
        AppendHexOctet(pdu, static_cast<unsigned int>((sca.count + 1) / 2 + 1));
        pdu += "91";
        AppendSwappedDigits(pdu, sca.digits, sca.count);
    }
    const std::size_t tpduStart = pdu.size();
    pdu += "1100";
    const NumberField tpa = ReadNumberField(pSrc->tpa, sizeof pSrc->tpa);
    AppendHexOctet(pdu, static_cast<unsigned int>(tpa.count));
    pdu += pSrc->bNational ? "81" : "91";
    AppendSwappedDigits(pdu, tpa.digits, tpa.count);
    pdu += "0008";
    pdu += "AA";  // relative validity: 4 days
    AppendHexOctet(pdu, static_cast<unsigned int>(udOctets));
    AppendUnitsHex(pdu, units.data(), units.size());

    strCmd = "AT+CMGS=" + std::to_string((pdu.size() - tpduStart) / 2) + "\r";
    pdu += CTRL_Z;
    return pdu;
}

int GetSubmitPdu(const SM_PARAM* pSrc, char* pDst)
{
    const std::string header = SubmitHeader(pSrc);
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

    // Cut into parts of at most 67 units; a part that would end on the first
    // half of a surrogate pair ends one unit earlier, so each part decodes alone.
    std::vector<std::size_t> ends;
    for (std::size_t pos = 0; pos < units.size();) {
        std::size_t end = pos + LONG_SMS_PART_UNITS;
        if (end >= units.size()) {
            end = units.size();
        } else if (IsHighSurrogate(units[end - 1])) {
            --end;
        }
        ends.push_back(end);
        pos = end;
        if (ends.size() > MAX_PARTS) {
            return false;  // the part count octet cannot say more
        }
    }

    const unsigned int reference = NextSplitIndex();
    const std::string header = SubmitHeader(pSrc);
    const unsigned int count = static_cast<unsigned int>(ends.size());
    std::size_t start = 0;
    for (unsigned int k = 0; k < count; ++k) {
        const std::size_t n = ends[k] - start;
        std::string part;
        part.reserve(header.size() + 14 + 4 * n);
        part += header;
        AppendHexOctet(part, static_cast<unsigned int>(6 + 2 * n));
        part += "050003";
        AppendHexOctet(part, reference);
        AppendHexOctet(part, count);
        AppendHexOctet(part, k + 1);
        AppendUnitsHex(part, units.data() + start, n);
        vecPdu.push_back(std::move(part));
        start = ends[k];
    }
    return true;
}
