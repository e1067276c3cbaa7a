// The PDU decoder against PDUs written by an independent encoder, hand-built
// PDUs of the shapes modems store, and broken PDUs that must come out cleanly.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "SmsDecode.h"
#include "decode_fixture_rows.h"
#include "pdu_build.h"

namespace {

using namespace pdu_build;

SM_PARAM Decode(const std::string& kind, const std::string& pdu, int* ret = nullptr)
{
    SM_PARAM p;
    std::memset(&p, 0x5A, sizeof p);  // stale bytes must not survive decoding
    const int n = kind == "submit" ? gsmDecodeSendPdu(pdu.c_str(), &p)
                                   : gsmDecodePdu(pdu.c_str(), &p);
    if (ret != nullptr) {
        *ret = n;
    }
    return p;
}

// Every text field ends inside its array, and the result is the text's length.
void ExpectTerminated(const SM_PARAM& p, int ret)
{
    ASSERT_NE(std::memchr(p.sca, 0, sizeof p.sca), nullptr);
    ASSERT_NE(std::memchr(p.tpa, 0, sizeof p.tpa), nullptr);
    ASSERT_NE(std::memchr(p.tp_scts, 0, sizeof p.tp_scts), nullptr);
    ASSERT_NE(std::memchr(p.tp_ud, 0, sizeof p.tp_ud), nullptr);
    ASSERT_NE(std::memchr(p.szPartData, 0, sizeof p.szPartData), nullptr);
    EXPECT_EQ(ret, static_cast<int>(std::strlen(p.tp_ud)));
    EXPECT_EQ(p.nPartDataLen, static_cast<int>(std::strlen(p.szPartData)));
}

const char REPLACEMENT[] = "\xEF\xBF\xBD";

// ---------------------------------------------------------------------------
// PDUs from the independent encoder: every field, and the parts joined.

class PduDecoderGammu : public ::testing::TestWithParam<PduFixtureRow>
{
};

TEST_P(PduDecoderGammu, EveryField)
{
    const PduFixtureRow& row = GetParam();
    int ret = 0;
    const SM_PARAM p = Decode(row.kind, row.pdu, &ret);
    ExpectTerminated(p, ret);
    EXPECT_STREQ(p.sca, "8613800100500");
    EXPECT_STREQ(p.tpa, row.tpa.c_str());
    EXPECT_STREQ(p.tp_scts, row.scts.c_str());
    EXPECT_STREQ(p.tp_ud, row.text.c_str());
    EXPECT_EQ(p.bConcatenated, row.concat);
    EXPECT_EQ(p.nReference, row.ref);
    EXPECT_EQ(p.nReference2, row.ref & 0xFF);
    EXPECT_EQ(p.nPartCount, row.count);
    EXPECT_EQ(p.nPartCount2, row.count);
    EXPECT_EQ(p.nPartNumber, row.number);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PduDecoderGammu, ::testing::ValuesIn(GammuFixtures()),
                         [](const ::testing::TestParamInfo<PduFixtureRow>& info) {
                             std::string n = info.param.kind + "_" + info.param.name;
                             for (char& c : n) {
                                 if (c == '.') {
                                     c = '_';
                                 }
                             }
                             return n;
                         });

TEST(PduDecoder, FixturesCoverEveryKind)
{
    std::map<std::string, int> kinds;
    for (const PduFixtureRow& r : GammuFixtures()) {
        ++kinds[r.kind];
    }
    EXPECT_GE(kinds["deliver"], 20);
    EXPECT_GE(kinds["submit"], 3);
}

// The parts of each long message, in their own coding, give the message back:
// 7-bit parts by their texts, UCS-2 parts by their octets joined.
TEST(PduDecoder, GammuPartsJoinToTheirMessage)
{
    std::map<std::string, std::vector<PduFixtureRow>> messages;
    for (const PduFixtureRow& r : GammuFixtures()) {
        if (r.concat) {
            messages[r.name.substr(0, r.name.find('.'))].push_back(r);
        }
    }
    ASSERT_GE(messages.size(), 5u);
    for (const auto& m : messages) {
        std::string joined;
        std::vector<unsigned char> octets;
        for (const PduFixtureRow& r : m.second) {
            const SM_PARAM p = Decode(r.kind, r.pdu);
            if (gsmDcsAlphabet(p.tp_dcs) == GSM_ALPHABET_UCS2) {
                unsigned char b[300];
                const int n = gsmHexToBytes(p.szPartData, p.nPartDataLen, b, sizeof b);
                octets.insert(octets.end(), b, b + n);
            } else {
                joined += p.tp_ud;
            }
        }
        if (!octets.empty()) {
            joined += gsmDecodeNew2(octets.data(), static_cast<int>(octets.size()));
        }
        EXPECT_EQ(joined, m.second.front().message) << m.first;
    }
}

// Every prefix of every fixture decodes without harm, and the text of a cut
// PDU is a prefix of the whole text (a pair of surrogates cut in half may end
// it in U+FFFD).
TEST(PduDecoder, EveryPrefixOfEveryFixtureIsClean)
{
    for (const PduFixtureRow& row : GammuFixtures()) {
        for (size_t n = 0; n <= row.pdu.size(); ++n) {
            int ret = 0;
            const SM_PARAM p = Decode(row.kind, row.pdu.substr(0, n), &ret);
            ExpectTerminated(p, ret);
            std::string text = p.tp_ud;
            if (text.size() >= 3 && text.compare(text.size() - 3, 3, REPLACEMENT) == 0) {
                text.resize(text.size() - 3);
            }
            ASSERT_EQ(row.text.compare(0, text.size(), text), 0) << row.name << " cut at " << n;
            ASSERT_EQ(row.tpa.compare(0, std::strlen(p.tpa), p.tpa), 0) << row.name << " cut at " << n;
        }
    }
}

// ---------------------------------------------------------------------------
// Hand-built PDUs of the shapes modems store.

struct DecodeCase
{
    const char* name;
    const char* kind;
    std::string pdu;
    const char* sca;
    const char* tpa;
    const char* scts;
    std::string text;
    bool concat;
    int ref, count, number;
    const char* partData;  // nullptr: not checked
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c)
{
    return os << c.name;
}

const DecodeCase DECODE_CASES[] = {
    {"Ucs2Hi", "deliver", Deliver("04", "08", "0400480069"), "", "31641600986", "23051708300000",
     "Hi", false, 0, 0, 0, nullptr},
    {"Ucs2PartRef8", "deliver", Deliver("44", "08", "0A0500030A020100480069"), "", "31641600986",
     "23051708300000", "Hi", true, 10, 2, 1, "00480069"},
    {"EightBitAbc", "deliver", Deliver("04", "04", "03414243"), "", "31641600986", "23051708300000",
     "ABC", false, 0, 0, 0, nullptr},
    {"Gsm7AtAndEuro", "deliver", Deliver("04", "00", Septets({0x00, 0x1B, 0x65, 0x41})), "",
     "31641600986", "23051708300000", "@\xE2\x82\xAC" "A", false, 0, 0, 0, nullptr},
    // The standard asks for the basic character after an escape it does not know.
    {"Gsm7UnknownEscape", "deliver", Deliver("04", "00", Septets({0x1B, 0x41, 0x1B})), "",
     "31641600986", "23051708300000", "A", false, 0, 0, 0, nullptr},
    // Chinese operator, national sender, status-report indication in the first octet.
    {"OperatorUcs2Sri", "deliver", "0891683108200805F02405A10180F6000832507180030023044F60597D",
     "8613800280500", "10086", "23051708300032", "\xE4\xBD\xA0\xE5\xA5\xBD", false, 0, 0, 0,
     nullptr},
    {"Ucs2PartRef16Sri", "deliver", Deliver("64", "08", "09060804ABCD03024F60"), "",
     "31641600986", "23051708300000", "\xE4\xBD\xA0", true, 0xABCD, 3, 2, "4F60"},
    // A header without the header bit is text: 050003... reads as UCS-2 characters.
    {"HeaderBitClear", "deliver", Deliver("04", "08", "060500030A0201"), "", "31641600986",
     "23051708300000", "\xD4\x80\xCC\x8A\xC8\x81", false, 0, 0, 0, nullptr},
    // Port addressing before the concatenation element; text after 2 fill bits.
    {"Gsm7PortAndConcat", "deliver",
     Deliver("40", "00", Pack7({0x0B, 0x05, 0x04, 0x0B, 0x84, 0x23, 0xF0, 0x00, 0x03, 0x21, 0x02, 0x02},
                              Ascii("second half"))),
     "", "31641600986", "23051708300000", "second half", true, 0x21, 2, 2, nullptr},
    {"Gsm7Ref16", "deliver",
     Deliver("40", "00", Pack7({0x06, 0x08, 0x04, 0x12, 0x34, 0x02, 0x01}, Ascii("Hello"))), "",
     "31641600986", "23051708300000", "Hello", true, 0x1234, 2, 1, nullptr},
    {"Class1Gsm7", "deliver", Deliver("04", "11", Septets(Ascii("flash"))), "", "31641600986",
     "23051708300000", "flash", false, 0, 0, 0, nullptr},
    {"DataClass1Gsm7", "deliver", Deliver("04", "F1", Septets(Ascii("data"))), "", "31641600986",
     "23051708300000", "data", false, 0, 0, 0, nullptr},
    // 8-bit data is shown as data, with the port a 16-bit port element names.
    {"WapPushShowsPortAndData", "deliver", Deliver("44", "F5", "0B0605040B8423F0010203"), "",
     "31641600986", "23051708300000", "[binary data, 3 bytes, port 2948] 010203", false, 0, 0, 0,
     nullptr},
    {"EightBitPort8", "deliver", Deliver("44", "04", "0704040210204142"), "", "31641600986",
     "23051708300000", "[binary data, 2 bytes, port 16] 4142", false, 0, 0, 0, nullptr},
    {"WapPushPartWithPortAndConcat", "deliver",
     Deliver("44", "F5", "0F0B05040B8423F00003070201" "0006C4"), "", "31641600986",
     "23051708300000", "[binary data, 3 bytes, port 2948] 0006C4", true, 7, 2, 1, "0006C4"},
    // Shift elements around the concatenation element, in either order and
    // with either reference size; the text starts after 2, then 1 fill bit.
    {"Gsm7ShiftsThenConcat", "deliver",
     Deliver("40", "00",
             Pack7({0x0B, 0x24, 0x01, 0x01, 0x25, 0x01, 0x01, 0x00, 0x03, 0x21, 0x02, 0x01},
                   {0x07, 0x1B, 0x47, 0x41})),
     "", "31641600986", "23051708300000", "\xC4\xB1\xC4\x9E" "A", true, 0x21, 2, 1, nullptr},
    {"Gsm7Ref16BetweenShifts", "deliver",
     Deliver("40", "00",
             Pack7({0x0C, 0x25, 0x01, 0x01, 0x08, 0x04, 0x12, 0x34, 0x03, 0x02, 0x24, 0x01, 0x01},
                   {0x1C, 0x1B, 0x73})),
     "", "31641600986", "23051708300000", "\xC5\x9E\xC5\x9F", true, 0x1234, 3, 2, nullptr},
    // Compressed data cannot be read as text: it is shown as data.
    {"CompressedShownAsData", "deliver", Deliver("04", "24", "03414243"), "", "31641600986",
     "23051708300000", "[compressed data, 3 bytes] 414243", false, 0, 0, 0, nullptr},
    {"CompressedPartShownAsData", "deliver", Deliver("44", "26", "09050003070201FF0102"), "", "31641600986",
     "23051708300000", "[compressed data, 3 bytes] FF0102", true, 7, 2, 1, "FF0102"},
    {"MessageWaitingUcs2", "deliver", Deliver("04", "E0", "024F60"), "", "31641600986",
     "23051708300000", "\xE4\xBD\xA0", false, 0, 0, 0, nullptr},
    {"AlphanumericGreek", "deliver",
     "00040AD0" + Septets({0x10, 0x13, 0x41, 0x1B, 0x65}).substr(2) + "000032507180030000" +
         Septets(Ascii("x")),
     "", "\xCE\x94\xCE\x93" "A\xE2\x82\xAC", "23051708300000", "x", false, 0, 0, 0, nullptr},
    {"LowerCaseHexAndCrLf", "deliver", "0004" "0b911346610089f60008" "32507180030000" "0400480069\r\n",
     "", "31641600986", "23051708300000", "Hi", false, 0, 0, 0, nullptr},
    {"SubmitNoValidity", "submit", "0001000B911346610089F600080400480069", "", "31641600986", "",
     "Hi", false, 0, 0, 0, nullptr},
    {"SubmitRelativeValidity", "submit", "0011000B911346610089F60008AA0400480069", "",
     "31641600986", "", "Hi", false, 0, 0, 0, nullptr},
    {"SubmitAbsoluteValidity", "submit",
     "0019000B911346610089F6000832507180030000" "0400480069", "", "31641600986", "", "Hi", false,
     0, 0, 0, nullptr},
    {"SubmitEnhancedValidity", "submit",
     "0009000B911346610089F6000801000000000000" "0400480069", "", "31641600986", "", "Hi", false,
     0, 0, 0, nullptr},
    {"SubmitLongPart", "submit", "0051000B911346610089F60008A70A05000377020200480069", "",
     "31641600986", "", "Hi", true, 0x77, 2, 2, "00480069"},
};

class PduDecoderCases : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(PduDecoderCases, EveryField)
{
    const DecodeCase& c = GetParam();
    int ret = 0;
    const SM_PARAM p = Decode(c.kind, c.pdu, &ret);
    ExpectTerminated(p, ret);
    EXPECT_STREQ(p.sca, c.sca);
    EXPECT_STREQ(p.tpa, c.tpa);
    EXPECT_STREQ(p.tp_scts, c.scts);
    EXPECT_EQ(std::string(p.tp_ud), c.text);
    // Only compressed data is flagged as having no text.
    EXPECT_EQ(p.bUndecodable, c.text.rfind("[compressed data,", 0) == 0);
    EXPECT_EQ(p.bConcatenated, c.concat);
    EXPECT_EQ(p.nReference, c.ref);
    EXPECT_EQ(p.nPartCount, c.count);
    EXPECT_EQ(p.nPartNumber, c.number);
    if (c.partData != nullptr) {
        EXPECT_STREQ(p.szPartData, c.partData);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PduDecoderCases, ::testing::ValuesIn(DECODE_CASES),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) {
                             return std::string(info.param.name);
                         });

// A surrogate pair split across two UCS-2 parts: each part alone shows U+FFFD
// for its half, the joined octets give the character.
TEST(PduDecoder, SurrogatePairSplitAcrossParts)
{
    const SM_PARAM a = Decode("deliver", Deliver("44", "08", "0A0500030702010041D83D"));
    const SM_PARAM b = Decode("deliver", Deliver("44", "08", "0A050003070202DE000042"));
    EXPECT_EQ(std::string(a.tp_ud), std::string("A") + REPLACEMENT);
    EXPECT_EQ(std::string(b.tp_ud), std::string(REPLACEMENT) + "B");
    unsigned char octets[16];
    int n = gsmHexToBytes(a.szPartData, a.nPartDataLen, octets, sizeof octets);
    n += gsmHexToBytes(b.szPartData, b.nPartDataLen, octets + n, sizeof octets - n);
    EXPECT_EQ(gsmDecodeNew2(octets, n), "A\xF0\x9F\x98\x80" "B");
}

// ---------------------------------------------------------------------------
// Malformed PDUs: what can be decoded, nothing else, and never past a field.

struct MalformedCase
{
    const char* name;
    const char* kind;
    std::string pdu;
    const char* tpa;
    std::string text;
};

std::ostream& operator<<(std::ostream& os, const MalformedCase& c)
{
    return os << c.name;
}

const MalformedCase MALFORMED_CASES[] = {
    {"Empty", "deliver", "", "", ""},
    {"CentreOnly", "deliver", "00", "", ""},
    {"NotHex", "deliver", "hello world", "", ""},
    {"CentreLengthBeyondInput", "deliver", "FF91683108", "", ""},
    {"SenderLength40", "deliver", "00042891111111", "111111", ""},
    {"SenderLength255", "deliver", "0004FF91" + std::string(260, '1'), "1111111111111111111111111111111", ""},
    // 255 septets announced, 10 octets present: the 11 septets they hold.
    {"Gsm7Udl255", "deliver", Deliver("04", "00", "FF" + Septets(Ascii("abcdefghijk")).substr(2)),
     "31641600986", "abcdefghijk"},
    {"Ucs2Udl255", "deliver", Deliver("04", "08", "FF00480069"), "31641600986", "Hi"},
    {"Ucs2OddLength", "deliver", Deliver("04", "08", "050048006900"), "31641600986", "Hi"},
    {"EightBitUdl255", "deliver", Deliver("04", "04", "FF4142"), "31641600986", "AB"},
    // A zero byte makes 8-bit data binary: all of it is shown, as hex.
    {"EightBitWithZero", "deliver", Deliver("04", "04", "03410042"), "31641600986",
     "[binary data, 3 bytes] 410042"},
    {"HeaderLongerThanData", "deliver", Deliver("44", "08", "0AFF0003"), "31641600986", ""},
    {"ElementLongerThanHeader", "deliver", Deliver("44", "08", "0A0400090A020041"),
     "31641600986", "A"},
    {"StopsAtGarbage", "deliver", Deliver("04", "08", "0400480069").substr(0, 44) + "ZZ0069", "31641600986", "H"},
    {"UdlMissing", "deliver", Deliver("04", "08", ""), "31641600986", ""},
    {"TimeStampCut", "deliver", "0004" "0B911346610089F60008" "3250", "31641600986", ""},
    {"OddHexLength", "deliver", Deliver("04", "08", "0400480069") + "0", "31641600986", "Hi"},
    {"HugeInput", "deliver", std::string(20000, 'F'), "", ""},
    {"SubmitCut", "submit", "0011000B911346610089", "3164160098", ""},
    {"SubmitUdl255", "submit", "0011000B911346610089F60008AAFF0048", "31641600986", "H"},
};

class PduDecoderMalformed : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(PduDecoderMalformed, DecodesWhatIsThere)
{
    const MalformedCase& c = GetParam();
    int ret = 0;
    const SM_PARAM p = Decode(c.kind, c.pdu, &ret);
    ExpectTerminated(p, ret);
    EXPECT_STREQ(p.tpa, c.tpa);
    EXPECT_EQ(std::string(p.tp_ud), c.text);
}

INSTANTIATE_TEST_SUITE_P(Broken, PduDecoderMalformed, ::testing::ValuesIn(MALFORMED_CASES),
                         [](const ::testing::TestParamInfo<MalformedCase>& info) {
                             return std::string(info.param.name);
                         });

// A time stamp is kept only when it names an instant; the message is decoded
// all the same. The stamp as it stands in the PDU (swapped semi-octets).
struct StampFieldCase
{
    const char* name;
    const char* swapped;
    const char* scts;
};

std::ostream& operator<<(std::ostream& os, const StampFieldCase& c)
{
    return os << c.name;
}

const StampFieldCase STAMP_FIELD_CASES[] = {
    {"Valid", "32507180030023", "23051708300032"},
    {"ZoneBehindUtc", "3250718003000A", "230517083000A0"},
    {"JunkOctets", "AAAAAAAAAAAAAA", ""},
    {"MonthThirteen", "32317180030000", ""},
    {"FebruaryThirtieth", "32200380030000", ""},
    {"HourTwentyFour", "32507142030000", ""},
    {"SecondSixty", "32507180030600", ""},
    {"ZoneUnitsNotDecimal", "325071800300A0", ""},
    {"ZoneBeyondFourteenHours", "32507180030075", ""},
};

class PduDecoderTimeStamp : public ::testing::TestWithParam<StampFieldCase>
{
};

TEST_P(PduDecoderTimeStamp, KeptOnlyWhenItNamesAnInstant)
{
    const StampFieldCase& c = GetParam();
    int ret = 0;
    const SM_PARAM p = Decode("deliver", "0004" "0B911346610089F60008" + std::string(c.swapped) + "0400480069", &ret);
    ExpectTerminated(p, ret);
    EXPECT_STREQ(p.tp_scts, c.scts);
    EXPECT_STREQ(p.tpa, "31641600986");
    EXPECT_STREQ(p.tp_ud, "Hi");
}

INSTANTIATE_TEST_SUITE_P(Stamps, PduDecoderTimeStamp, ::testing::ValuesIn(STAMP_FIELD_CASES),
                         [](const ::testing::TestParamInfo<StampFieldCase>& info) {
                             return std::string(info.param.name);
                         });

// Cut inside its time stamp, a PDU has no time: never the digits that came.
TEST(PduDecoder, CutTimeStampIsEmpty)
{
    const std::string whole = "0004" "0B911346610089F60008" "32507180030023";
    for (size_t n = whole.size() - 14; n < whole.size(); ++n) {
        const SM_PARAM p = Decode("deliver", whole.substr(0, n));
        EXPECT_STREQ(p.tp_scts, "") << n;
    }
}

TEST(PduDecoder, NullInputClearsTheRecord)
{
    SM_PARAM p;
    std::memset(&p, 0x5A, sizeof p);
    EXPECT_EQ(gsmDecodePdu(nullptr, &p), 0);
    EXPECT_STREQ(p.tp_ud, "");
    EXPECT_STREQ(p.tpa, "");
    EXPECT_EQ(p.bConcatenated, false);
}

// A 40-digit sender fills tpa to its last byte and no further.
TEST(PduDecoder, LongSenderIsCutToTheField)
{
    const std::string pdu = "000428" "91" + std::string(40, '2') + "0008" "32507180030000" "020041";
    const SM_PARAM p = Decode("deliver", pdu);
    EXPECT_EQ(std::string(p.tpa), std::string(sizeof p.tpa - 1, '2'));
    EXPECT_STREQ(p.tp_ud, "A");
}

}  // namespace
