#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SmsEncode.h"
#include "locale_env.h"

namespace {

const std::string ZHONG = "\xE4\xB8\xAD";                  // U+4E2D
const std::string GRIN = "\xF0\x9F\x98\x80";               // U+1F600
const char CTRL_Z = 0x1A;

SM_PARAM MakeParam(const char* sca, const char* tpa, bool national)
{
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.sca, sca, sizeof p.sca - 1);
    std::strncpy(p.tpa, tpa, sizeof p.tpa - 1);
    p.bNational = national;
    p.tp_dcs = 8;
    return p;
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

std::string Short(SM_PARAM p, const std::string& text, std::string& cmd)
{
    std::strncpy(p.tp_ud, text.c_str(), sizeof p.tp_ud - 1);
    return gsmEncodePduNew(&p, cmd);
}

std::vector<std::string> Long(SM_PARAM p, const std::string& text, uint8_t ref)
{
    // Pin the reference so the goldens can spell it out.
    bInitSplitIndex = true;
    g_sSplitIndex = ref == 1 ? 255 : static_cast<int16_t>(ref - 1);
    p.text = text.c_str();
    std::vector<std::string> parts;
    EXPECT_TRUE(gsmLongSmsPdu(&p, parts, true));
    return parts;
}

}  // namespace

TEST(PduEncoder, InvertNumbersTable)
{
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"12345", "2143F5"},
        {"1234567890123", "214365870921F3"},
        {"1234", "2143"},
        {"1", "F1"},
        {"", ""},
    };
    for (const auto& r : rows) {
        char buf[32];
        std::memset(buf, 'Z', sizeof buf);
        const int n = gsmInvertNumbers(r.in, buf, static_cast<int>(std::strlen(r.in)));
        EXPECT_STREQ(buf, r.out);
        EXPECT_EQ(n, static_cast<int>(std::strlen(r.out)));
    }
}

TEST(PduEncoder, HexRoundTrip)
{
    const unsigned char octets[] = {0x00, 0x1A, 0x7F, 0x80, 0xAB, 0xFF};
    char hex[2 * sizeof octets + 1];
    EXPECT_EQ(gsmBytes2String(octets, hex, sizeof octets), 12);
    EXPECT_STREQ(hex, "001A7F80ABFF");
    unsigned char back[sizeof octets];
    EXPECT_EQ(gsmString2Bytes(hex, back, 12), 6);
    EXPECT_EQ(std::memcmp(back, octets, sizeof octets), 0);
    // Lower-case hex from a modem reads the same.
    EXPECT_EQ(gsmString2Bytes("001a7f80abff", back, 12), 6);
    EXPECT_EQ(std::memcmp(back, octets, sizeof octets), 0);
}

TEST(PduEncoder, ShortAbcGolden)
{
    std::string cmd;
    const std::string pdu = Short(MakeParam("", "12345678901", true), "abc", cmd);
    EXPECT_EQ(pdu, std::string("0011000B812143658709F10008AA06006100620063") + CTRL_Z);
    EXPECT_EQ(cmd, "AT+CMGS=20\r");
}

TEST(PduEncoder, ShortNumberForms)
{
    const struct {
        const char* sca;
        const char* tpa;
        bool national;
        const char* prefix;  // service centre and TPDU up to the PID
    } rows[] = {
        {"+12345678901", "12345678901", true, "07912143658709F111000B812143658709F1"},
        {"12345678901", "+12345678901", false, "07912143658709F111000B912143658709F1"},
        {"", "8613912345678", false, "0011000D91683119325476F8"},
        {"+8613800100500", "10086", true, "0891683108100005F0110005810180F6"},
        {"", "861391234567", false, "0011000C91683119325476"},
    };
    for (const auto& r : rows) {
        std::string cmd;
        const std::string pdu = Short(MakeParam(r.sca, r.tpa, r.national), "abc", cmd);
        EXPECT_EQ(pdu.substr(0, std::strlen(r.prefix)), r.prefix) << r.tpa;
        EXPECT_EQ(pdu.substr(std::strlen(r.prefix)), std::string("0008AA06006100620063") + CTRL_Z);
        const std::size_t scaChars = 2 + 2 * std::stoul(pdu.substr(0, 2), nullptr, 16);
        EXPECT_EQ(cmd, "AT+CMGS=" + std::to_string((pdu.size() - 1 - scaChars) / 2) + "\r");
    }
}

TEST(PduEncoder, ShortKeepsAFullChineseText)
{
    // 67 characters are 201 bytes in UTF-8: all of them must go out.
    for (const char* lang : {"C.UTF-8", static_cast<const char*>(nullptr)}) {
        ScopedLocaleEnv env(lang);
        std::string cmd;
        const std::string pdu = Short(MakeParam("", "13912345678", true), Repeat(ZHONG, 67), cmd);
        const std::string head = "0011000B813119325476F80008AA86";
        ASSERT_EQ(pdu.substr(0, head.size()), head);
        EXPECT_EQ(pdu.substr(head.size()), Repeat("4E2D", 67) + CTRL_Z);
        EXPECT_EQ(cmd, "AT+CMGS=" + std::to_string(14 + 134) + "\r");
    }
}

TEST(PduEncoder, ShortEmojiIsASurrogatePair)
{
    std::string cmd;
    const std::string pdu = Short(MakeParam("", "10086", true), "a" + GRIN, cmd);
    EXPECT_EQ(pdu, std::string("00110005810180F60008AA060061D83DDE00") + CTRL_Z);
}

TEST(PduEncoder, ShortRefusesWhatItCannotSend)
{
    const std::string rows[] = {
        "ok\xFF",                 // valid in no encoding
        Repeat("a", 71),          // 142 octets
        Repeat(GRIN, 35) + "a",   // 71 UCS-2 units
    };
    for (const std::string& text : rows) {
        std::string cmd = "stale";
        EXPECT_EQ(Short(MakeParam("", "10086", true), text, cmd), "");
        EXPECT_EQ(cmd, "");
    }
    // 70 units is the most one PDU holds, and still fits.
    std::string cmd;
    EXPECT_NE(Short(MakeParam("", "10086", true), Repeat(GRIN, 35), cmd), "");
    EXPECT_EQ(cmd, "AT+CMGS=" + std::to_string(11 + 140) + "\r");
}

TEST(PduEncoder, PartHeaderGoldens)
{
    const struct {
        const char* sca;
        const char* tpa;
        bool national;
        const char* header;
    } rows[] = {
        {"", "13912345678", true, "0191" "51000BA13119325476F80008A7"},
        {"8613800100500", "8613912345678", false, "0891683108100005F0" "51000D91683119325476F80008A7"},
        {"+8613800100500", "+8613912345678", true, "0891683108100005F0" "51000DA1683119325476F80008A7"},
        {"12345678901", "10086", false, "07912143658709F1" "510005910180F60008A7"},
    };
    for (const auto& r : rows) {
        const SM_PARAM p = MakeParam(r.sca, r.tpa, r.national);
        char buf[SUBMIT_PDU_HEADER_MAX];
        EXPECT_EQ(GetSubmitPdu(&p, buf), static_cast<int>(std::strlen(r.header)));
        EXPECT_STREQ(buf, r.header);
    }
}

TEST(PduEncoder, PartHeaderOfFullFieldsFitsTheBuffer)
{
    SM_PARAM p;
    std::memset(&p, '9', sizeof p);  // number fields without a NUL
    p.text = nullptr;
    p.bNational = false;
    p.bConcatenated = false;
    char buf[SUBMIT_PDU_HEADER_MAX + 8];
    std::memset(buf, 'Z', sizeof buf);
    const int n = GetSubmitPdu(&p, buf);
    EXPECT_LT(n, SUBMIT_PDU_HEADER_MAX);
    EXPECT_EQ(std::strlen(buf), static_cast<std::size_t>(n));
    EXPECT_EQ(buf[SUBMIT_PDU_HEADER_MAX], 'Z');
}

TEST(PduEncoder, LongGoldens)
{
    const std::string head = "0891683108100005F0" "51000BA13119325476F80008A7";
    const SM_PARAM p = MakeParam("8613800100500", "13912345678", true);

    // 67 characters still get the header, with count 1.
    std::vector<std::string> parts = Long(p, Repeat(ZHONG, 67), 0x48);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0], head + "8C050003480101" + Repeat("4E2D", 67));

    parts = Long(p, Repeat(ZHONG, 68), 0x49);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], head + "8C050003490201" + Repeat("4E2D", 67));
    EXPECT_EQ(parts[1], head + "08050003490202" + "4E2D");

    // 300 Latin characters: four full parts and 32 characters.
    parts = Long(p, Repeat("x", 300), 0xFF);
    ASSERT_EQ(parts.size(), 5u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(parts[k], head + "8C050003FF050" + std::to_string(k + 1) + Repeat("0078", 67));
    }
    EXPECT_EQ(parts[4], head + "46050003FF0505" + Repeat("0078", 32));
}

TEST(PduEncoder, LongNeverSplitsASurrogatePair)
{
    // The 67th unit would be the first half of the emoji.
    const SM_PARAM p = MakeParam("", "10086", true);
    const std::vector<std::string> parts = Long(p, Repeat("a", 66) + GRIN + "b", 0x10);
    const std::string head = "0191" "510005A10180F60008A7";
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], head + "8A050003100201" + Repeat("0061", 66));
    EXPECT_EQ(parts[1], head + "0C050003100202" + "D83DDE000062");
}

TEST(PduEncoder, ReferenceAdvancesAndWraps)
{
    SM_PARAM p = MakeParam("", "10086", true);
    const std::string text = Repeat("a", 68);
    p.text = text.c_str();
    auto run = [&]() {
        std::vector<std::string> parts;
        EXPECT_TRUE(gsmLongSmsPdu(&p, parts, true));
        EXPECT_EQ(parts.size(), 2u);
        // Reference sits after "08" "050003" in the last part's header.
        const std::string& last = parts.back();
        const std::size_t at = last.find("08050003");
        EXPECT_NE(at, std::string::npos);
        return std::stoi(last.substr(at + 8, 2), nullptr, 16);
    };

    bInitSplitIndex = true;
    g_sSplitIndex = 254;
    EXPECT_EQ(run(), 255);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(run(), 2);

    // Unseeded: the clock picks the start, always within 1..255.
    bInitSplitIndex = false;
    g_sSplitIndex = 0;
    const int first = run();
    EXPECT_TRUE(bInitSplitIndex);
    EXPECT_GE(first, 1);
    EXPECT_LE(first, 255);
    EXPECT_EQ(run(), first == 255 ? 1 : first + 1);
}

TEST(PduEncoder, LongRefusesWhatItCannotSend)
{
    SM_PARAM p = MakeParam("", "10086", true);
    const std::string huge = Repeat("a", 255 * 67 + 1);
    const std::string rows[] = {"", "ok\xFF", huge};
    bInitSplitIndex = true;
    g_sSplitIndex = 7;
    for (const std::string& text : rows) {
        p.text = text.c_str();
        std::vector<std::string> parts{"earlier"};
        EXPECT_FALSE(gsmLongSmsPdu(&p, parts, true));
        EXPECT_EQ(parts.size(), 1u);
    }
    EXPECT_EQ(g_sSplitIndex, 7);  // no message went out, no reference used
    p.text = nullptr;
    std::vector<std::string> parts;
    EXPECT_FALSE(gsmLongSmsPdu(&p, parts, true));

    // 255 parts is the most the header can number.
    const std::string most = Repeat("a", 255 * 67);
    p.text = most.c_str();
    EXPECT_TRUE(gsmLongSmsPdu(&p, parts, true));
    ASSERT_EQ(parts.size(), 255u);
    EXPECT_NE(parts.back().find("050003" "08" "FF" "FF"), std::string::npos);
}
