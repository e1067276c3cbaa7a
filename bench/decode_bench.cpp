// Decoder throughput on the SMS-DELIVER PDUs of tests/fixtures/pdu/gammu.tsv
// (7-bit, UCS-2, 8-bit, alphanumeric senders, concatenated parts), the same
// PDUs bench/compare_decode.py hands to python-gammu.

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "PhoneCardBase.h"
#include "SmsDecode.h"

namespace {

std::string SourceDir()
{
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/'));
}

// The pdu column of every deliver row.
std::vector<std::string> DeliverPdus()
{
    std::vector<std::string> pdus;
    std::ifstream in(SourceDir() + "/../tests/fixtures/pdu/gammu.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 8, "deliver\t") != 0) {
            continue;
        }
        const size_t a = line.find('\t', 8);
        const size_t b = line.find('\t', a + 1);
        if (a != std::string::npos && b != std::string::npos) {
            pdus.push_back(line.substr(a + 1, b - a - 1));
        }
    }
    return pdus;
}

void BM_DecodeDeliverMix(benchmark::State& state)
{
    const std::vector<std::string> pdus = DeliverPdus();
    if (pdus.empty()) {
        state.SkipWithError("tests/fixtures/pdu/gammu.tsv not found");
        return;
    }
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gsmDecodePdu(pdus[i].c_str(), &p));
        benchmark::ClobberMemory();
        i = i + 1 == pdus.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeDeliverMix);

void BM_DecodeOne(benchmark::State& state, const char* pdu)
{
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    for (auto _ : state) {
        benchmark::DoNotOptimize(gsmDecodePdu(pdu, &p));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
// The longest texts: 160 septets, and 70 UCS-2 characters.
BENCHMARK_CAPTURE(BM_DecodeOne, Gsm7Full160,
                  "0891683108100005F0000C91447700091032000032507180030000A0B0986C46ABD96EB81C"
                  "2C269BD16AB61B2E078BC966B49AED86CBC162B219AD66BBE172B0986C46ABD96EB81C2C26"
                  "9BD16AB61B2E078BC966B49AED86CBC162B219AD66BBE172B0986C46ABD96EB81C2C269BD1"
                  "6AB61B2E078BC966B49AED86CBC162B219AD66BBE172B0986C46ABD96EB81C2C269BD16AB6"
                  "1B2E078BC966B49AED86CBC162B219AD66BBE172");
BENCHMARK_CAPTURE(BM_DecodeOne, Ucs2Full70,
                  "0891683108100005F0000D91683119325476F80008325071800300008C"
                  "957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F"
                  "957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F"
                  "957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F"
                  "957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F957F");

// A full SIM of 255 stored messages, "+CMGL: " header and PDU each, the
// fixture PDUs over and over (their long messages included), parsed and
// joined as one listing answer.
void BM_Listing255(benchmark::State& state)
{
    const std::vector<std::string> pdus = DeliverPdus();
    if (pdus.empty()) {
        state.SkipWithError("tests/fixtures/pdu/gammu.tsv not found");
        return;
    }
    std::string listing = "\r\n";
    for (int i = 0; i < 255; ++i) {
        const std::string& pdu = pdus[static_cast<size_t>(i) % pdus.size()];
        // The header announces the octets after the service-centre field.
        const size_t tpdu = pdu.size() / 2 - 1 - std::stoul(pdu.substr(0, 2), nullptr, 16);
        listing += "+CMGL: " + std::to_string(i) + ",1,," + std::to_string(tpdu) + "\r\n" + pdu + "\r\n";
    }
    listing += "\r\nOK\r\n";
    size_t records = 0;
    for (auto _ : state) {
        CPhoneCardBase phone;
        benchmark::DoNotOptimize(phone.OnReadAllSmsCmdRsp(listing));
        records = phone.GetReadSms().size();
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_Listing255)->Unit(benchmark::kMillisecond);

}  // namespace
