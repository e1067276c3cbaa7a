// The conversion functions under the PDU decoder, each on its own and against
// destinations too small for their result.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SmsDecode.h"

namespace {

std::vector<unsigned char> Octets(const std::string& hex)
{
    std::vector<unsigned char> b(hex.size() / 2 + 1);
    b.resize(static_cast<size_t>(gsmHexToBytes(hex.c_str(), static_cast<int>(hex.size()), b.data(),
                                               static_cast<int>(b.size()))));
    return b;
}

TEST(PduConverters, SerializeNumbers)
{
    const struct
    {
        const char* src;
        int n, size;
        const char* out;
    } rows[] = {
        {"214365870921F3", 14, 32, "1234567890123"},
        {"2143658709", 10, 32, "1234567890"},
        {"214365870921F3", 14, 5, "1234"},  // cut to the destination
        {"2143", 10, 32, "1234"},           // stops at the NUL
        {"21436", 5, 32, "1234"},           // an odd last character has no pair
        {"F1F2", 4, 32, "1F2"},             // only a final filler is dropped
        {"2143", 4, 0, nullptr},            // no room at all: nothing written
    };
    for (const auto& r : rows) {
        char out[32];
        std::memset(out, 'x', sizeof out);
        const int len = gsmSerializeNumbers(r.src, out, r.n, r.size);
        if (r.out == nullptr) {
            EXPECT_EQ(len, 0);
            EXPECT_EQ(out[0], 'x');
            continue;
        }
        EXPECT_STREQ(out, r.out) << r.src;
        EXPECT_EQ(len, static_cast<int>(std::strlen(r.out)));
    }
}

TEST(PduConverters, HexToBytes)
{
    EXPECT_EQ(Octets("00FFa5B7"), (std::vector<unsigned char>{0x00, 0xFF, 0xA5, 0xB7}));
    EXPECT_EQ(Octets("4142\r\n43"), (std::vector<unsigned char>{0x41, 0x42}));
    EXPECT_EQ(Octets("41G2"), (std::vector<unsigned char>{0x41}));
    EXPECT_EQ(Octets("414"), (std::vector<unsigned char>{0x41}));
    unsigned char two[2];
    EXPECT_EQ(gsmHexToBytes("41424344", 8, two, 2), 2);
    EXPECT_EQ(gsmHexToBytes(nullptr, 8, two, 2), 0);
}

// Septets 'hellohello' packed into 9 octets; 7 octets hold 8 septets.
TEST(PduConverters, Decode7bit)
{
    const std::vector<unsigned char> hello = Octets("E8329BFD4697D9EC37");
    char out[64];
    EXPECT_EQ(gsmDecode7bit(hello.data(), out, static_cast<int>(hello.size()), sizeof out), 10);
    EXPECT_STREQ(out, "hellohello");
    const std::vector<unsigned char> eight = Octets("41E19058341E91");  // septets A..H
    EXPECT_EQ(gsmDecode7bit(eight.data(), out, 7, sizeof out), 8);
    EXPECT_STREQ(out, "ABCDEFGH");
}

// A character that does not fit is left out whole, with the NUL in bounds.
TEST(PduConverters, SmallDestinations)
{
    const std::vector<unsigned char> zhong2 = Octets("4E2D4E2D");
    const struct
    {
        int size;
        const char* out;
    } ucs2[] = {{7, "\xE4\xB8\xAD\xE4\xB8\xAD"}, {6, "\xE4\xB8\xAD"}, {4, "\xE4\xB8\xAD"}, {3, ""}, {1, ""}};
    for (const auto& r : ucs2) {
        char out[8];
        std::memset(out, 'x', sizeof out);
        const int len = gsmDecodeUcs2(zhong2.data(), out, 4, r.size);
        EXPECT_STREQ(out, r.out) << r.size;
        EXPECT_EQ(len, static_cast<int>(std::strlen(r.out)));
        EXPECT_EQ(out[r.size], 'x') << "wrote past the destination of " << r.size;
    }
    // Escape + 0x65 (the euro sign, 3 bytes) packed: 1B 65 -> 9B 32.
    const std::vector<unsigned char> euro = Octets("9B32");
    char out[8];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(gsmDecode7bit(euro.data(), out, 2, 3), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(gsmDecode7bit(euro.data(), out, 2, 4), 3);
    EXPECT_STREQ(out, "\xE2\x82\xAC");
    const unsigned char abc[] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(gsmDecode8bit(abc, out, 4, 3), 2);
    EXPECT_STREQ(out, "ab");
}

TEST(PduConverters, Ucs2Text)
{
    const struct
    {
        const char* hex;
        const char* text;
    } rows[] = {
        {"", ""},
        {"4E2D", "\xE4\xB8\xAD"},
        {"0048006900", "Hi"},                                 // odd octet ignored
        {"00480000006900", "H"},                              // stops at a zero unit
        {"D83DDE00", "\xF0\x9F\x98\x80"},                    // a pair is one character
        {"D83D0041", "\xEF\xBF\xBD" "A"},                    // lone high half
        {"0041DE00", "A\xEF\xBF\xBD"},                       // lone low half
        {"DE00D83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},            // halves the wrong way round
        {"00E9002000AC", "\xC3\xA9 \xC2\xAC"},
    };
    for (const auto& r : rows) {
        const std::vector<unsigned char> o = Octets(r.hex);
        const std::string s = gsmDecodeNew2(o.data(), static_cast<int>(o.size()));
        EXPECT_EQ(s, r.text) << r.hex;
        char out[32];
        gsmDecodeUcs2(o.data(), out, static_cast<int>(o.size()), sizeof out);
        EXPECT_EQ(std::string(out), s) << r.hex;
    }
}

TEST(PduConverters, DataCodingSchemes)
{
    const struct
    {
        unsigned char dcs;
        GsmAlphabet_t alphabet;
    } rows[] = {
        {0x00, GSM_ALPHABET_7BIT}, {0x04, GSM_ALPHABET_8BIT}, {0x08, GSM_ALPHABET_UCS2},
        {0x0C, GSM_ALPHABET_7BIT}, {0x10, GSM_ALPHABET_7BIT}, {0x11, GSM_ALPHABET_7BIT},
        {0x18, GSM_ALPHABET_UCS2}, {0x15, GSM_ALPHABET_8BIT}, {0x20, GSM_ALPHABET_NONE},
        {0x48, GSM_ALPHABET_UCS2}, {0x80, GSM_ALPHABET_7BIT}, {0xC0, GSM_ALPHABET_7BIT},
        {0xD8, GSM_ALPHABET_7BIT}, {0xE0, GSM_ALPHABET_UCS2}, {0xF1, GSM_ALPHABET_7BIT},
        {0xF5, GSM_ALPHABET_8BIT}, {0xF6, GSM_ALPHABET_8BIT},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(gsmDcsAlphabet(r.dcs), r.alphabet) << static_cast<int>(r.dcs);
    }
}

}  // namespace
