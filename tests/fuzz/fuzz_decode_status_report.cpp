// gsmPduMti and gsmDecodeStatusReport (SMS-STATUS-REPORT) on any input.

#include <cstdint>
#include <cstring>
#include <string>

#include "SmsDecode.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string pdu = fuzz::PduText(data, size);
    const GsmMti_t mti = gsmPduMti(pdu.c_str());
    fuzz::Require(mti >= GSM_MTI_NONE && mti <= GSM_MTI_RESERVED);

    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    const int ret = gsmDecodeStatusReport(pdu.c_str(), &p);
    fuzz::CheckDecoded(p, ret);
    // A report is one only with its status read, and then says what it means;
    // a PDU without a first octet is none.
    fuzz::Require(p.bStatusReport ? std::strcmp(p.tp_ud, gsmStatusText(p.tp_st)) == 0 : ret == 0);
    fuzz::Require(!p.bStatusReport || mti != GSM_MTI_NONE);
    return 0;
}
