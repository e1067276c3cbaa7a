// USSD replies: the "+CUSD:" line read from a growing answer, and its text
// decoded by DCS, character set and the modem's 7-bit form.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "UssdText.h"

namespace {

std::string ReadCusdFixture(const std::string& name)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/cusd/" + name, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

struct LineRow
{
    const char* fixture;
    int status;
    bool hasText;
    std::string text;
    int dcs;
};

class CusdLine : public ::testing::TestWithParam<LineRow>
{
};

// The whole transcript gives the reply; every prefix that stops before the
// reply's line end gives no reply (never a shorter text taken for the whole).
TEST_P(CusdLine, WholeAndEveryPrefix)
{
    const LineRow& row = GetParam();
    const std::string answer = ReadCusdFixture(row.fixture);
    ASSERT_FALSE(answer.empty()) << row.fixture;
    UssdLine_t line;
    std::size_t end = 0;
    ASSERT_EQ(ParseUssdLine(answer, 0, line, end), USSD_LINE_COMPLETE);
    EXPECT_EQ(line.status, row.status);
    EXPECT_EQ(line.hasText, row.hasText);
    EXPECT_EQ(line.text, row.text);
    EXPECT_EQ(line.dcs, row.dcs);
    const std::size_t tag = answer.find("+CUSD:");
    for (std::size_t n = 0; n < answer.size(); ++n) {
        UssdLine_t partial;
        std::size_t partialEnd = 0;
        const UssdLineState_t state = ParseUssdLine(answer.substr(0, n), 0, partial, partialEnd);
        if (n < end) {
            EXPECT_EQ(state, n < tag + 6 ? USSD_LINE_NONE : USSD_LINE_INCOMPLETE) << row.fixture << " prefix " << n;
        } else {
            ASSERT_EQ(state, USSD_LINE_COMPLETE) << row.fixture << " prefix " << n;
            EXPECT_EQ(partial.text, row.text);
            EXPECT_EQ(partialEnd, end);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CusdLine,
    ::testing::Values(LineRow{"plain.at", 0, true, "Balance 12.30", 15},
                      LineRow{"menu.at", 1, true, "1. Balance\r\n2. Data", 15},
                      LineRow{"quotes_commas.at", 0, true, "Say \"hi\", ok", 15},
                      LineRow{"status_only.at", 2, false, "", -1},
                      LineRow{"before_ok.at", 0, true, "first", 15},
                      LineRow{"ucs2.at", 0, true, "4F59989D", 72}));

TEST(CusdLine, MalformedRepliesNeverComplete)
{
    const char* const rows[] = {
        "+CUSD: 0,\"cut short\r\n\r\nOK\r\n",  // no closing quote and DCS
        "+CUSD: 0,cut short,15\r\n",           // no quotes
        "+CUSD: ,\"x\",15\r\n",                // no status
        "+CUSD: 0,\"x\",\r\n",                 // no DCS digits
        "+CUSD: 0,\"x\",1555\r\n",             // a DCS of four digits
        "+CUSD: 0,\",15\r\n",                  // the opening quote is no closing one
    };
    for (const char* answer : rows) {
        UssdLine_t line;
        std::size_t end = 0;
        EXPECT_EQ(ParseUssdLine(answer, 0, line, end), USSD_LINE_INCOMPLETE) << answer;
    }
    UssdLine_t line;
    std::size_t end = 0;
    EXPECT_EQ(ParseUssdLine("\r\nOK\r\n", 0, line, end), USSD_LINE_NONE);
    EXPECT_EQ(ParseUssdLine("+CUSD: 0,\"a\",15\r\n", 99, line, end), USSD_LINE_NONE);  // from past the end
}

struct DecodeRow
{
    const char* name;
    std::string onLine;
    int dcs;
    const char* charset;
    UssdSevenBitForm_t form;
    bool ok;
    std::string text;
};

class UssdDecode : public ::testing::TestWithParam<DecodeRow>
{
};

TEST_P(UssdDecode, ByDcsAndCharset)
{
    const DecodeRow& row = GetParam();
    UssdLine_t line;
    line.status = 0;
    line.hasText = true;
    line.text = row.onLine;
    line.dcs = row.dcs;
    std::string text;
    EXPECT_EQ(DecodeUssdText(line, row.charset, row.form, text), row.ok);
    EXPECT_EQ(text, row.text);
}

const UssdSevenBitForm_t PLAIN = USSD_7BIT_CHARSET;
const UssdSevenBitForm_t PACKED = USSD_7BIT_PACKED;

INSTANTIATE_TEST_SUITE_P(
    Rows, UssdDecode,
    ::testing::Values(
        DecodeRow{"Ira", "Balance 12.30", 15, "IRA", PLAIN, true, "Balance 12.30"},
        // Digits that look like hex are text where the DCS says 7-bit.
        DecodeRow{"DigitsStayText", "1000", 15, "GSM", PLAIN, true, "1000"},
        DecodeRow{"GsmAtUnderscoreEuro", std::string("\x00\x11\x1b\x65", 4), 15, "GSM", PLAIN, true,
                  "@_\xE2\x82\xAC"},
        DecodeRow{"GsmLoneEscapeIsSpace", "a\x1b", 15, "GSM", PLAIN, true, "a "},
        DecodeRow{"CharsetUcs2", "004F006B002000E9", 15, "UCS2", PLAIN, true, "Ok \xC3\xA9"},
        DecodeRow{"Latin1", "caf\xE9", 15, "8859-1", PLAIN, true, "caf\xC3\xA9"},
        DecodeRow{"Ucs2Dcs72", "4F59989D", 72, "GSM", PLAIN, true, "\xE4\xBD\x99\xE9\xA2\x9D"},
        DecodeRow{"Ucs2Dcs72LooksLikeDigits", "1000", 72, "GSM", PLAIN, true, "\xE1\x80\x80"},
        DecodeRow{"Ucs2OddLength", "4F5", 72, "GSM", PLAIN, false, "4F5"},
        DecodeRow{"Ucs2ThreeOctets", "4F5998", 72, "GSM", PLAIN, false, "4F5998"},
        DecodeRow{"Ucs2NotHex", "4F5G", 72, "GSM", PLAIN, false, "4F5G"},
        DecodeRow{"EightBitAsHex", "6869", 68, "GSM", PLAIN, true, "6869"},
        DecodeRow{"EightBitLowerHexUpper", "6a0b", 68, "GSM", PLAIN, true, "6A0B"},
        DecodeRow{"EightBitClassF4", "FF00", 0xF4, "GSM", PLAIN, true, "FF00"},
        DecodeRow{"Packed", "AA180C3602", 15, "GSM", PACKED, true, "*100#"},
        DecodeRow{"PackedSevenCharsCrPadding", "31D98C56B3DD1A", 15, "IRA", PACKED, true, "1234567"},
        DecodeRow{"PackedSixChars", "31D98C56B301", 15, "IRA", PACKED, true, "123456"},
        DecodeRow{"PackedZeroPadding", "31D98C56B3DD00", 15, "IRA", PACKED, true, "1234567"},
        DecodeRow{"PackedOddHex", "AA180C360", 15, "GSM", PACKED, false, "AA180C360"},
        DecodeRow{"PackedExtension", "9B32", 15, "GSM", PACKED, true, "\xE2\x82\xAC"},
        DecodeRow{"LanguageGsm", "en\rHi", 0x10, "GSM", PLAIN, true, "Hi"},
        DecodeRow{"LanguageIra", "en\rHi", 0x10, "IRA", PLAIN, true, "Hi"},
        DecodeRow{"LanguageTooShort", "en", 0x10, "IRA", PLAIN, false, "en"},
        DecodeRow{"LanguageUcs2", "653700480069", 0x11, "GSM", PLAIN, true, "Hi"},
        DecodeRow{"LanguageUcs2TooShort", "65", 0x11, "GSM", PLAIN, false, "65"},
        DecodeRow{"ReservedReadsAsDefault", "Hi", 0x30, "IRA", PLAIN, true, "Hi"},
        DecodeRow{"CompressedAsHex", "0102", 0x60, "GSM", PLAIN, true, "0102"},
        DecodeRow{"BinaryOnLineMadeUtf8", "\xFF\xFE", 72, "GSM", PLAIN, false, "\xC3\xBF\xC3\xBE"},
        // Undecodable text with a NUL: shown up to the NUL, never as invalid UTF-8.
        DecodeRow{"UndecodableUpToItsNul", std::string("a\0\x80", 3), 72, "GSM", PLAIN, false, "a"},
        DecodeRow{"Utf8Charset", "\xC3\xA9", 15, "UTF-8", PLAIN, true, "\xC3\xA9"}),
    [](const ::testing::TestParamInfo<DecodeRow>& info) { return std::string(info.param.name); });

TEST(UssdDecode, StatusOnlyHasNoText)
{
    UssdLine_t line;
    line.status = 4;
    std::string text = "left over";
    EXPECT_TRUE(DecodeUssdText(line, "GSM", PLAIN, text));
    EXPECT_EQ(text, "");
}

TEST(UssdCode, PackedAsTheModemsThatTakeHexWantIt)
{
    const struct
    {
        const char* code;
        const char* packed;
    } rows[] = {{"*100#", "AA180C3602"}, {"1234567", "31D98C56B3DD1A"}, {"123456", "31D98C56B301"},
                {"12345678", "31D98C56B3DD70"}, {"#", "23"}};
    for (const auto& row : rows) {
        EXPECT_EQ(PackUssdCode(row.code), row.packed) << row.code;
        UssdLine_t line;
        line.hasText = true;
        line.text = PackUssdCode(row.code);
        line.dcs = 15;
        std::string text;
        EXPECT_TRUE(DecodeUssdText(line, "GSM", PACKED, text));
        EXPECT_EQ(text, row.code);
    }
}

}  // namespace
