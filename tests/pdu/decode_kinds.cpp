// The decoder beyond plain text messages: national language shift tables,
// status reports and 8-bit data. Expected characters were checked by hand
// against the tables of the standard, not taken from the generated source.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SmsDecode.h"
#include "pdu_build.h"

namespace {

using namespace pdu_build;

// ---------------------------------------------------------------------------
// National language tables, named by the user-data header.

struct ShiftCase
{
    const char* name;
    int lock;   // language id of a locking shift element, -1 none
    int shift;  // language id of a single shift element, -1 none
    std::vector<unsigned char> septets;
    std::string text;
};

std::ostream& operator<<(std::ostream& os, const ShiftCase& c)
{
    return os << c.name;
}

const unsigned char ESC = 0x1B;
const char FFFD[] = "\xEF\xBF\xBD";

const ShiftCase SHIFT_CASES[] = {
    // ı Ş İ ç
    {"TurkishLocking", 1, -1, {0x07, 0x1C, 0x40, 0x60}, "\xC4\xB1\xC5\x9E\xC4\xB0\xC3\xA7"},
    // Ğ €, then an empty cell (the default table's A), then ì of the default locking table.
    {"TurkishSingleShift", -1, 1, {ESC, 0x47, ESC, 0x65, ESC, 0x41, 0x07}, "\xC4\x9E\xE2\x82\xAC" "A\xC3\xAC"},
    // An empty single shift cell falls back to the locking table in force: ı.
    {"TurkishEmptyShiftCellTakesTurkishLocking", 1, 1, {ESC, 0x07}, "\xC4\xB1"},
    // Escape, escape reads as a space; an escape at the end shows nothing.
    {"TurkishEscapeEscapeAndTrailingEscape", 1, 1, {ESC, ESC, 0x41, ESC}, " A"},
    // ç Á ú, and a plain a.
    {"SpanishSingleShift", -1, 2, {ESC, 0x09, ESC, 0x41, ESC, 0x75, 0x61}, "\xC3\xA7\xC3\x81\xC3\xBA" "a"},
    // Spanish has no locking table: ì ¡ of the default one.
    {"SpanishLockingIsTheDefault", 2, -1, {0x07, 0x40}, "\xC3\xAC\xC2\xA1"},
    // ∞ º `
    {"PortugueseLocking", 3, -1, {0x15, 0x24, 0x7D}, "\xE2\x88\x9E\xC2\xBA`"},
    // Φ â
    {"PortugueseSingleShift", -1, 3, {ESC, 0x12, ESC, 0x7F}, "\xCE\xA6\xC3\xA2"},
    // ক, and 0x11, which Bengali leaves empty.
    {"BengaliLockingAndGap", 4, -1, {0x15, 0x11}, std::string("\xE0\xA6\x95") + FFFD},
    // અ ક
    {"GujaratiLocking", 5, -1, {0x03, 0x15}, "\xE0\xAA\x85\xE0\xAA\x95"},
    // ँ क ॐ, then ० and ¿ of the Hindi single shift table.
    {"HindiBoth", 6, 6, {0x00, 0x15, 0x60, ESC, 0x1C, ESC, 0x04},
     "\xE0\xA4\x81\xE0\xA4\x95\xE0\xA5\x90\xE0\xA5\xA6\xC2\xBF"},
    {"KannadaLocking", 7, -1, {0x15}, "\xE0\xB2\x95"},     // ಕ
    {"MalayalamLocking", 8, -1, {0x15}, "\xE0\xB4\x95"},   // ക
    {"OriyaLocking", 9, -1, {0x15}, "\xE0\xAC\x95"},       // କ
    {"PunjabiLocking", 10, -1, {0x15}, "\xE0\xA8\x95"},    // ਕ
    // க, and 0x40 (ba), which Tamil does not have.
    {"TamilLockingAndGap", 11, -1, {0x15, 0x40}, std::string("\xE0\xAE\x95") + FFFD},
    {"TeluguLocking", 12, -1, {0x15}, "\xE0\xB0\x95"},     // క
    // ا ب, then ۰ of the Urdu single shift table.
    {"UrduBoth", 13, 13, {0x00, 0x02, ESC, 0x1C}, "\xD8\xA7\xD8\xA8\xDB\xB0"},
    // Ids without a table read as the default alphabet: ì €.
    {"UnknownLanguagesAreTheDefault", 14, 255, {0x07, ESC, 0x65}, "\xC3\xAC\xE2\x82\xAC"},
    // No header at all: the default alphabet and its extension table.
    {"NoShiftElements", -1, -1, {0x07, ESC, 0x3C, ESC, 0x47}, "\xC3\xAC[G"},
};

class PduDecoderShiftTables : public ::testing::TestWithParam<ShiftCase>
{
};

TEST_P(PduDecoderShiftTables, TextUsesTheAnnouncedTables)
{
    const ShiftCase& c = GetParam();
    std::vector<unsigned char> header;
    if (c.lock >= 0) {
        header.insert(header.end(), {0x25, 0x01, static_cast<unsigned char>(c.lock)});
    }
    if (c.shift >= 0) {
        header.insert(header.end(), {0x24, 0x01, static_cast<unsigned char>(c.shift)});
    }
    if (!header.empty()) {
        header.insert(header.begin(), static_cast<unsigned char>(header.size()));
    }
    SM_PARAM p;
    std::memset(&p, 0x5A, sizeof p);
    const int ret = gsmDecodePdu(Deliver(header.empty() ? "04" : "44", "00", Pack7(header, c.septets)).c_str(), &p);
    EXPECT_EQ(std::string(p.tp_ud), c.text);
    EXPECT_EQ(ret, static_cast<int>(std::strlen(p.tp_ud)));
    EXPECT_FALSE(p.bConcatenated);
}

INSTANTIATE_TEST_SUITE_P(Languages, PduDecoderShiftTables, ::testing::ValuesIn(SHIFT_CASES),
                         [](const ::testing::TestParamInfo<ShiftCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Status reports.

// No centre, first octet 06 (status report, no more messages), reference 2A,
// recipient 31641600986, sent 23-05-17 08:30:00, discharged 23-05-17 08:34:59.
std::string Report(const std::string& status, const std::string& centre = "00")
{
    return centre + "06" "2A" "0B911346610089F6" "32507180030000" "32507180439500" + status;
}

struct ReportCase
{
    const char* name;
    std::string pdu;
    int status;
    const char* text;
    const char* sca;
};

std::ostream& operator<<(std::ostream& os, const ReportCase& c)
{
    return os << c.name;
}

const char DELIVERED[] = "Status report: delivered";
const char TRYING[] = "Status report: not delivered yet, still trying";
const char FAILED[] = "Status report: delivery failed";

const ReportCase REPORT_CASES[] = {
    {"Delivered", Report("00"), 0x00, DELIVERED, ""},
    {"ReplacedIsCompleted", Report("1F"), 0x1F, DELIVERED, ""},
    {"CongestionStillTrying", Report("20"), 0x20, TRYING, ""},
    {"LastOfStillTrying", Report("3F"), 0x3F, TRYING, ""},
    {"RemoteProcedureErrorFailed", Report("40"), 0x40, FAILED, ""},
    {"ValidityExpiredFailed", Report("46"), 0x46, FAILED, ""},
    {"GaveUpTryingFailed", Report("7F"), 0x7F, FAILED, ""},
    {"ReservedValueFailed", Report("80"), 0x80, FAILED, ""},
    // A centre address, and optional fields behind the status that are not read.
    {"CentreAndOptionalFields", Report("00" "07" "00" "00" "03414243", "0891683108100005F0"), 0x00, DELIVERED,
     "8613800100500"},
};

class PduDecoderStatusReport : public ::testing::TestWithParam<ReportCase>
{
};

TEST_P(PduDecoderStatusReport, EveryField)
{
    const ReportCase& c = GetParam();
    EXPECT_EQ(gsmPduMti(c.pdu.c_str()), GSM_MTI_STATUS_REPORT);
    SM_PARAM p;
    std::memset(&p, 0x5A, sizeof p);
    const int ret = gsmDecodeStatusReport(c.pdu.c_str(), &p);
    EXPECT_TRUE(p.bStatusReport);
    EXPECT_STREQ(p.sca, c.sca);
    EXPECT_STREQ(p.tpa, "31641600986");
    EXPECT_EQ(p.tp_mr, 0x2A);
    EXPECT_EQ(p.tp_st, c.status);
    EXPECT_STREQ(p.tp_scts, "23051708300000");
    EXPECT_STREQ(p.tp_dt, "23051708345900");
    EXPECT_STREQ(p.tp_ud, c.text);
    EXPECT_STREQ(p.tp_ud, gsmStatusText(p.tp_st));
    EXPECT_EQ(ret, static_cast<int>(std::strlen(c.text)));
    EXPECT_FALSE(p.bConcatenated);
}

INSTANTIATE_TEST_SUITE_P(Statuses, PduDecoderStatusReport, ::testing::ValuesIn(REPORT_CASES),
                         [](const ::testing::TestParamInfo<ReportCase>& info) {
                             return std::string(info.param.name);
                         });

// Cut anywhere before its status, a report says nothing about delivery: no
// status report, no text, every field terminated and a prefix of the whole.
TEST(PduDecoderStatusReportCut, EveryPrefixBeforeTheStatusIsNoReport)
{
    const std::string whole = Report("00", "0891683108100005F0");
    for (size_t n = 0; n + 2 <= whole.size(); ++n) {
        SM_PARAM p;
        std::memset(&p, 0x5A, sizeof p);
        EXPECT_EQ(gsmDecodeStatusReport(whole.substr(0, n).c_str(), &p), 0) << n;
        EXPECT_FALSE(p.bStatusReport) << n;
        EXPECT_STREQ(p.tp_ud, "") << n;
        ASSERT_NE(std::memchr(p.tp_dt, 0, sizeof p.tp_dt), nullptr);
        ASSERT_NE(std::memchr(p.tp_scts, 0, sizeof p.tp_scts), nullptr);
        ASSERT_NE(std::memchr(p.tpa, 0, sizeof p.tpa), nullptr);
        EXPECT_EQ(std::string("31641600986").compare(0, std::strlen(p.tpa), p.tpa), 0) << n;
        EXPECT_EQ(std::string("23051708345900").compare(0, std::strlen(p.tp_dt), p.tp_dt), 0) << n;
    }
}

// A junk line whose first octets happen to name a status report: it is
// reported as one, but no junk is shown as its dates.
TEST(PduDecoderStatusReport, JunkDatesAreEmpty)
{
    SM_PARAM p;
    std::memset(&p, 0x5A, sizeof p);
    gsmDecodeStatusReport("00" "06" "2A" "0B911346610089F6" "AAAAAAAAAAAAAA" "BBBBBBBBBBBBBB" "00", &p);
    EXPECT_TRUE(p.bStatusReport);
    EXPECT_STREQ(p.tp_scts, "");
    EXPECT_STREQ(p.tp_dt, "");
    EXPECT_STREQ(p.tp_ud, DELIVERED);
}

TEST(PduDecoder, MessageTypeOfTheFirstOctet)
{
    const struct
    {
        std::string pdu;
        GsmMti_t mti;
    } rows[] = {
        {"", GSM_MTI_NONE},
        {"00", GSM_MTI_NONE},
        {"0891683108100005F0", GSM_MTI_NONE},  // centre only
        {"FF91683108", GSM_MTI_NONE},          // centre longer than the PDU
        {"0004", GSM_MTI_DELIVER},
        {"0044", GSM_MTI_DELIVER},
        {"0891683108100005F011", GSM_MTI_SUBMIT},
        {"0006", GSM_MTI_STATUS_REPORT},
        {"0003", GSM_MTI_RESERVED},
        {"0006\r\n", GSM_MTI_STATUS_REPORT},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(gsmPduMti(r.pdu.c_str()), r.mti) << r.pdu;
    }
    EXPECT_EQ(gsmPduMti(nullptr), GSM_MTI_NONE);
}

// ---------------------------------------------------------------------------
// 8-bit data.

TEST(PduConverters, EightBitText)
{
    const struct
    {
        std::vector<unsigned char> octets;
        bool hasPort;
        unsigned int port;
        std::string text;
    } rows[] = {
        {{'A', 'B', 'C'}, false, 0, "ABC"},
        {{'a', '\t', 'b', '\r', '\n'}, false, 0, "a\tb\r\n"},
        {{0xC3, 0xA9}, false, 0, "\xC3\xA9"},  // é in UTF-8 is text
        {{}, false, 0, ""},
        {{'A', 0x00, 'B'}, false, 0, "[binary data, 3 bytes] 410042"},
        {{0xC3}, false, 0, "[binary data, 1 byte] C3"},              // cut sequence
        {{0xC0, 0x80}, false, 0, "[binary data, 2 bytes] C080"},     // overlong
        {{0xED, 0xA0, 0x80}, false, 0, "[binary data, 3 bytes] EDA080"},  // a surrogate
        {{0xC2, 0x85}, false, 0, "[binary data, 2 bytes] C285"},     // C1 control
        {{0x7F}, false, 0, "[binary data, 1 byte] 7F"},
        {{0x1B, 'A'}, false, 0, "[binary data, 2 bytes] 1B41"},      // no escape reaches a reader
        {{'A', 'B', 'C'}, true, 2948, "[binary data, 3 bytes, port 2948] 414243"},
        {{}, true, 9200, "[binary data, 0 bytes, port 9200]"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(gsm8bitText(r.octets.data(), static_cast<int>(r.octets.size()), r.hasPort, r.port), r.text)
            << r.text;
    }
    EXPECT_EQ(gsm8bitText(nullptr, 5, false, 0), "");
}

}  // namespace
