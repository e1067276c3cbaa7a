// gsmDecodePdu (SMS-DELIVER) and the text converters under it, on any input.

#include <cstdint>
#include <cstring>
#include <string>

#include "SmsDecode.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string pdu = fuzz::PduText(data, size);
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    fuzz::CheckDecoded(p, gsmDecodePdu(pdu.c_str(), &p));

    // The converters on a destination sized by the input: never a byte past
    // it, never half a character.
    const int n = size > 0x7FFF ? 0x7FFF : static_cast<int>(size);
    const int room = size > 0 ? data[0] % 64 : 0;
    char out[64];
    int len = gsmDecode7bit(data, out, n, room);
    fuzz::Require(room == 0 || (len < room && fuzz::ValidUtf8(out, static_cast<size_t>(len))));
    len = gsmDecodeUcs2(data, out, n, room);
    fuzz::Require(room == 0 || (len < room && fuzz::ValidUtf8(out, static_cast<size_t>(len))));
    const std::string whole = gsmDecodeNew2(data, n);
    fuzz::Require(fuzz::ValidUtf8(whole.data(), whole.size()));
    len = gsmSerializeNumbers(reinterpret_cast<const char*>(data), out, n, room);
    fuzz::Require(room == 0 || len < room);
    const std::string data8 = gsm8bitText(data, n, room & 1, room);
    fuzz::Require(fuzz::ValidUtf8(data8.data(), data8.size()));
    return 0;
}
