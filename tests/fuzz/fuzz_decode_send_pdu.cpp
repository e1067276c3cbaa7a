// gsmDecodeSendPdu (SMS-SUBMIT as stored in the modem) on any input.

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
    fuzz::CheckDecoded(p, gsmDecodeSendPdu(pdu.c_str(), &p));
    fuzz::Require(p.tp_scts[0] == '\0');
    return 0;
}
