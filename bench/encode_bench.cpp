// Encoder throughput: the single-part Chinese SMS (the largest single PDU) and
// a 300-character concatenated message, as the send path builds them.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "SmsEncode.h"

namespace {

std::string ChineseText(int count)
{
    // Distinct characters, so nothing is helped by repetition.
    std::string s;
    for (int i = 0; i < count; ++i) {
        const unsigned int c = 0x4E00 + 37 * static_cast<unsigned int>(i);
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

SM_PARAM Param()
{
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    std::strcpy(p.sca, "+8613800100500");
    std::strcpy(p.tpa, "13912345678");
    p.bNational = true;
    p.tp_dcs = 8;
    return p;
}

void BM_EncodeShortChinese67(benchmark::State& state)
{
    SM_PARAM p = Param();
    const std::string text = ChineseText(67);
    std::strcpy(p.tp_ud, text.c_str());
    std::string cmd;
    for (auto _ : state) {
        std::string pdu = gsmEncodePduNew(&p, cmd);
        benchmark::DoNotOptimize(pdu);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeShortChinese67);

void BM_EncodeShortLatin(benchmark::State& state)
{
    SM_PARAM p = Param();
    std::strcpy(p.tp_ud, "Meeting moved to 15:30, room 4B. Bring the signed contract, thanks.");
    std::string cmd;
    for (auto _ : state) {
        std::string pdu = gsmEncodePduNew(&p, cmd);
        benchmark::DoNotOptimize(pdu);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeShortLatin);

void BM_EncodeLongChinese300(benchmark::State& state)
{
    SM_PARAM p = Param();
    const std::string text = ChineseText(300);
    p.text = text.c_str();
    std::vector<std::string> parts;
    for (auto _ : state) {
        parts.clear();
        gsmLongSmsPdu(&p, parts, true);
        benchmark::DoNotOptimize(parts.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeLongChinese300);

}  // namespace
