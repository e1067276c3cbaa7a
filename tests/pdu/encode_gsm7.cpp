// The 7-bit encoder: the alphabet it accepts, byte-exact PDUs, and the texts
// it refuses. What the PDUs say is checked against python-gammu in
// encode_gammu_crosscheck.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SmsEncode.h"

namespace {

struct AlphabetRow
{
    const char* name;
    std::wstring text;
    bool fits;
    std::vector<uint8_t> septets;
};

void PrintTo(const AlphabetRow& row, std::ostream* os)
{
    *os << row.name;
}

class Gsm7Alphabet : public ::testing::TestWithParam<AlphabetRow>
{
};

TEST_P(Gsm7Alphabet, SeptetsOrRefusal)
{
    std::vector<uint8_t> septets = {0x55};  // replaced, or emptied on refusal
    EXPECT_EQ(gsmWideToGsm7(GetParam().text, septets), GetParam().fits);
    EXPECT_EQ(septets, GetParam().septets);
}

INSTANTIATE_TEST_SUITE_P(
    Encoder, Gsm7Alphabet,
    ::testing::Values(AlphabetRow{"Ascii", L"Hi 0", true, {0x48, 0x69, 0x20, 0x30}},
                      AlphabetRow{"AtIsZero", L"@", true, {0x00}},
                      // The escape's own place decodes as a blank; a blank is 0x20.
                      AlphabetRow{"Blank", L" ", true, {0x20}},
                      AlphabetRow{"LineEnds", L"\r\n", true, {0x0D, 0x0A}},
                      AlphabetRow{"AccentsAndGreek", L"\u00E4\u0394\u00DF", true, {0x7B, 0x10, 0x1E}},
                      AlphabetRow{"EuroIsEscaped", L"\u20AC", true, {0x1B, 0x65}},
                      AlphabetRow{"BracesAndFormFeed", L"{\f}", true, {0x1B, 0x28, 0x1B, 0x0A, 0x1B, 0x29}},
                      AlphabetRow{"Empty", L"", true, {}},
                      AlphabetRow{"Chinese", L"a\u4E2D", false, {}},
                      AlphabetRow{"Backquote", L"`", false, {}},
                      AlphabetRow{"Emoji", L"\U0001F600", false, {}},
                      // Lower-case c with cedilla is not in the default alphabet.
                      AlphabetRow{"SmallCCedilla", L"\u00E7", false, {}}));

SM_PARAM Param(const char* tpa, bool national, const char* sca, const std::string& text)
{
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.tpa, tpa, sizeof p.tpa - 1);
    std::strncpy(p.sca, sca, sizeof p.sca - 1);
    p.bNational = national;
    p.text = text.c_str();
    return p;
}

TEST(Gsm7Encoder, SinglePartGoldens)
{
    const struct
    {
        const char* tpa;
        bool national;
        const char* sca;
        std::string text;
        const char* pdu;
    } rows[] = {
        {"12345678901", true, "", "hello", "0011000B812143658709F10000AA05E8329BFD06"},
        {"+8613912345678", false, "8613800100500", "hello",
         "0891683108100005F011000D91683119325476F80000AA05E8329BFD06"},
        // Escape and septet count as two septets of the length.
        {"10086", true, "", "\xE2\x82\xAC", "00110005810180F60000AA029B32"},
        {"10086", true, "", "", "00110005810180F60000AA00"},
    };
    for (const auto& row : rows) {
        const SM_PARAM p = Param(row.tpa, row.national, row.sca, row.text);
        std::vector<std::string> pdus;
        ASSERT_TRUE(gsmGsm7SmsPdu(&p, pdus)) << row.text;
        EXPECT_EQ(pdus, std::vector<std::string>({row.pdu})) << row.text;
    }
}

TEST(Gsm7Encoder, PartsCarryTheHeaderAndOneReference)
{
    bInitSplitIndex = true;
    g_sSplitIndex = 0x40;
    const std::string text(161, 'y');
    const SM_PARAM p = Param("13912345678", true, "", text);
    std::vector<std::string> pdus;
    ASSERT_TRUE(gsmGsm7SmsPdu(&p, pdus));
    ASSERT_EQ(pdus.size(), 2u);
    // 7 septets of header (6 octets and a fill bit) and 153 of text, then 8;
    // the first text octet is 'y' after the fill bit.
    EXPECT_EQ(pdus[0].substr(0, 50), "019151000BA13119325476F80000A7A0050003410201F2F97C");
    EXPECT_EQ(pdus[0].size(), 2u * (15 + 1 + 140));
    EXPECT_EQ(pdus[1], "019151000BA13119325476F80000A70F050003410202F2F97C3E9FCFE701");
    // Long messages share one reference counter, whatever their alphabet.
    EXPECT_EQ(g_sSplitIndex, 0x41);
}

TEST(Gsm7Encoder, RefusesWhatItCannotSend)
{
    const std::string tooLong(256 * 153, 'z');  // 256 parts
    const std::string invalid = "ok \xFF\xFE";
    const std::string chinese = "\xE4\xB8\xAD";
    for (const std::string* text : {&tooLong, &invalid, &chinese}) {
        const SM_PARAM p = Param("13912345678", true, "", *text);
        std::vector<std::string> pdus = {"kept"};
        EXPECT_FALSE(gsmGsm7SmsPdu(&p, pdus)) << text->substr(0, 8);
        EXPECT_EQ(pdus, std::vector<std::string>({"kept"}));
    }
    // 255 parts are the most the part count octet can say.
    const std::string most(255 * 153, 'z');
    const SM_PARAM p = Param("13912345678", true, "", most);
    std::vector<std::string> pdus;
    EXPECT_TRUE(gsmGsm7SmsPdu(&p, pdus));
    EXPECT_EQ(pdus.size(), 255u);
}

}  // namespace
