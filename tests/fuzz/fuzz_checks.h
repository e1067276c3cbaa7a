#ifndef TARNEL_FUZZ_CHECKS_H
#define TARNEL_FUZZ_CHECKS_H

// Invariants the fuzz targets hold the code to, beyond "no sanitizer report".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SmsDecode.h"
#include "SmsTime.h"

namespace fuzz {

// A fuzz input as PDU hex text: raw octets are written as hex, so mutations
// explore the octet space; an input starting with '#' is passed on as text,
// so the hex reader meets every other character too.
inline std::string PduText(const uint8_t* data, size_t size)
{
    if (size > 0 && data[0] == '#') {
        return std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    static const char D[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        s += D[data[i] >> 4];
        s += D[data[i] & 15];
    }
    return s;
}

inline bool ValidUtf8(const char* s, size_t n)
{
    size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > n) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

inline void Require(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

template <size_t N>
size_t TerminatedLength(const char (&field)[N])
{
    const void* nul = std::memchr(field, 0, N);
    Require(nul != nullptr);
    return static_cast<size_t>(static_cast<const char*>(nul) - field);
}

// What every decoded record must satisfy.
inline void CheckDecoded(const SM_PARAM& p, int ret)
{
    TerminatedLength(p.sca);
    Require(ValidUtf8(p.tpa, TerminatedLength(p.tpa)));
    // A time stamp is there only when it names an instant.
    int64_t instant = 0;
    Require(TerminatedLength(p.tp_scts) == 0 || gsmTimeStampToUtc(p.tp_scts, &instant));
    Require(TerminatedLength(p.tp_dt) == 0 || gsmTimeStampToUtc(p.tp_dt, &instant));
    const size_t text = TerminatedLength(p.tp_ud);
    Require(ret == static_cast<int>(text));
    // 8-bit data too: it is either plain text or described in hex.
    Require(ValidUtf8(p.tp_ud, text));
    Require(!p.bUndecodable || std::strncmp(p.tp_ud, "[compressed data, ", 18) == 0);
    Require(p.nPartDataLen == static_cast<int>(TerminatedLength(p.szPartData)));
    Require(p.bConcatenated || (p.nReference == 0 && p.nPartCount == 0 && p.nPartNumber == 0));
}

}  // namespace fuzz

#endif
