// The steps that send one SMS: length command and PDU per part, byte for
// byte, for the GSM models and the CDMA model.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../pdu/locale_env.h"
#include "CPhone_MC323_ON.h"
#include "ModelTestSupport.h"
#include "SmsDecode.h"
#include "SmsEncode.h"

using modeltest::Visible;

namespace {

const std::string ZHONG = "\xE4\xB8\xAD";     // U+4E2D
const std::string GRIN = "\xF0\x9F\x98\x80";  // U+1F600
const std::string SUB = "\x1A";
const std::string CENTRE = "0891683108100005F0";  // +8613800100500

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

// A base-class modem whose service-centre answer has been read.
class CentreCard : public CPhoneCardBase
{
public:
    explicit CentreCard(const std::string& centre) { m_strSmsCenter = centre; }
};

class Mc323Card : public CPhone_MC323_ON
{
public:
    Mc323Card() = default;
};

void PinReference(uint8_t next)
{
    bInitSplitIndex = true;
    g_sSplitIndex = next == 1 ? 255 : static_cast<int16_t>(next - 1);
}

std::string Ucs2(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

}  // namespace

TEST(SendSteps, CountryCodeTable)
{
    const struct {
        const char* phone;
        bool hasCountryCode;
        const char* modified;
    } rows[] = {
        {"008613912345678", true, "8613912345678"},
        {"8613912345678", true, "8613912345678"},
        {"13912345678", false, "13912345678"},
        {"10086", false, "10086"},
        {"+8613912345678", false, "+8613912345678"},
        {"0086139123456", false, "0086139123456"},   // 13 characters, not "86..."
        {"00861391234567", false, "00861391234567"},  // 14 characters
        {"861391234567", false, "861391234567"},      // 12 characters
        {"", false, ""},
    };
    CPhoneCardBase model;
    for (const auto& r : rows) {
        const CountryCode_t cc = model.JudgePhoneCountryCode(r.phone);
        EXPECT_EQ(cc.hasCountryCode, r.hasCountryCode) << r.phone;
        EXPECT_EQ(model.ModifyPhoneCode(r.phone, cc.hasCountryCode), r.modified) << r.phone;
    }
    // The "00" is only dropped for a number judged to carry the code.
    EXPECT_EQ(model.ModifyPhoneCode("0012345", false), "0012345");
    EXPECT_EQ(model.ModifyPhoneCode("0012345", true), "12345");
    EXPECT_EQ(model.ModifyPhoneCode("00", true), "00");
}

TEST(SendSteps, LongIsMoreThan67Units)
{
    CPhoneCardBase model;
    EXPECT_FALSE(model.IsLongSms(Repeat("a", 67)));
    EXPECT_TRUE(model.IsLongSms(Repeat("a", 68)));
    EXPECT_FALSE(model.IsLongSms(Repeat(ZHONG, 67)));
    EXPECT_TRUE(model.IsLongSms(Repeat(ZHONG, 68)));
    // An emoji takes two units in the SMS.
    EXPECT_FALSE(model.IsLongSms(Repeat(GRIN, 33) + "a"));
    EXPECT_TRUE(model.IsLongSms(Repeat(GRIN, 34)));
}

TEST(SendSteps, VtOutPrintsBothLengths)
{
    setenv("VT-OUT", "", 1);
    CPhoneCardBase model;
    ::testing::internal::CaptureStdout();
    model.IsLongSms(Repeat(ZHONG, 2) + "ab");
    std::fflush(stdout);
    const std::string out = ::testing::internal::GetCapturedStdout();
    unsetenv("VT-OUT");
    EXPECT_EQ(out, "string len: 8, wstring len: 4\n");

    ::testing::internal::CaptureStdout();
    model.IsLongSms("ab");
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST(SendSteps, ShortLatinGolden)
{
    CentreCard model("+8613800100500");
    const auto steps = model.GetSendPduSmsCmdArray("13912345678", "Hello");
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].lenCmd, "AT+CMGS=24\r");
    EXPECT_EQ(steps[0].pduContent,
              CENTRE + "11000B813119325476F80008AA0A00480065006C006C006F" + SUB);
}

TEST(SendSteps, ShortNumberForms)
{
    const struct {
        const char* phone;
        const char* address;  // length, type and digits of the destination
    } rows[] = {
        {"008613912345678", "0D91683119325476F8"},
        {"8613912345678", "0D91683119325476F8"},
        {"13912345678", "0B813119325476F8"},
        {"10086", "05810180F6"},
        {"+8613912345678", "0D91683119325476F8"},
    };
    for (const auto& r : rows) {
        CentreCard model("");
        const auto steps = model.GetSendPduSmsCmdArray(r.phone, "abc");
        ASSERT_EQ(steps.size(), 1u) << r.phone;
        const std::string address = r.address;
        EXPECT_EQ(steps[0].pduContent, "001100" + address + "0008AA06006100620063" + SUB) << r.phone;
        EXPECT_EQ(steps[0].lenCmd,
                  "AT+CMGS=" + std::to_string((steps[0].pduContent.size() - 3) / 2) + "\r");
    }
}

// 54 to 67 Chinese characters are more than 160 bytes of UTF-8; every one of
// them must reach the PDU, in any locale the program may run under.
TEST(SendSteps, ShortChineseKeepsEveryCharacter)
{
    for (const char* lang : {"C.UTF-8", static_cast<const char*>(nullptr)}) {
        ScopedLocaleEnv env(lang);
        for (int count : {2, 54, 60, 67}) {
            CentreCard model("+8613800100500");
            const auto steps = model.GetSendPduSmsCmdArray("13912345678", Repeat(ZHONG, count));
            ASSERT_EQ(steps.size(), 1u) << count;
            char udl[3];
            std::snprintf(udl, sizeof udl, "%02X", 2 * count);
            EXPECT_EQ(steps[0].pduContent,
                      CENTRE + "11000B813119325476F80008AA" + udl + Repeat("4E2D", count) + SUB);
            EXPECT_EQ(steps[0].lenCmd, "AT+CMGS=" + std::to_string(14 + 2 * count) + "\r");
        }
    }
}

TEST(SendSteps, LongGoldens)
{
    const std::string tail1 = "8C050003420201" + Repeat("0078", 67);
    const std::string tail2 = "08050003420202" + Repeat("0078", 1);
    const struct {
        const char* centre;
        const char* phone;
        std::string header;
        int len1;
        int len2;
    } rows[] = {
        {"+8613800100500", "13912345678", CENTRE + "51000BA13119325476F80008A7", 154, 22},
        {"+8613800100500", "008613912345678", CENTRE + "51000D91683119325476F80008A7", 155, 23},
        {"+8613800100500", "+8613912345678", CENTRE + "51000D91683119325476F80008A7", 155, 23},
        // Stored without the "+": no digit of the centre is lost.
        {"8613800100500", "13912345678", CENTRE + "51000BA13119325476F80008A7", 154, 22},
        {"", "13912345678", "0191" "51000BA13119325476F80008A7", 154, 22},
        // Not a number (a UCS-2 form): the modem's own centre.
        {"002B0038003600310033", "13912345678", "0191" "51000BA13119325476F80008A7", 154, 22},
    };
    for (const auto& r : rows) {
        CentreCard model(r.centre);
        PinReference(0x42);
        const auto steps = model.GetSendPduSmsCmdArray(r.phone, Repeat("x", 68));
        ASSERT_EQ(steps.size(), 2u) << r.phone;
        EXPECT_EQ(steps[0].pduContent, r.header + tail1 + SUB) << r.phone << " " << r.centre;
        EXPECT_EQ(steps[1].pduContent, r.header + tail2 + SUB) << r.phone << " " << r.centre;
        EXPECT_EQ(steps[0].lenCmd, "AT+CMGS=" + std::to_string(r.len1) + "\r");
        EXPECT_EQ(steps[1].lenCmd, "AT+CMGS=" + std::to_string(r.len2) + "\r");
    }
    // A part of 35 octets behind an 8-octet centre field announces 26.
    CentreCard model("+8613800100500");
    const auto steps = model.GetSendPduSmsCmdArray("13912345678", Repeat("x", 70));
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].pduContent.size(), 2u * 35 + 1);
    EXPECT_EQ(steps[1].lenCmd, "AT+CMGS=26\r");
}

TEST(SendSteps, LongChineseParts)
{
    CentreCard model("+8613800100500");
    PinReference(255);
    const auto steps = model.GetSendPduSmsCmdArray("13912345678", Repeat(ZHONG, 150));
    const std::string header = CENTRE + "51000BA13119325476F80008A7";
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].pduContent, header + "8C050003FF0301" + Repeat("4E2D", 67) + SUB);
    EXPECT_EQ(steps[1].pduContent, header + "8C050003FF0302" + Repeat("4E2D", 67) + SUB);
    EXPECT_EQ(steps[2].pduContent, header + "26050003FF0303" + Repeat("4E2D", 16) + SUB);
    EXPECT_EQ(steps[2].lenCmd, "AT+CMGS=" + std::to_string(13 + 7 + 32) + "\r");
    // The next message takes the next reference, wrapping to 1.
    const auto next = model.GetSendPduSmsCmdArray("13912345678", Repeat(ZHONG, 68));
    ASSERT_EQ(next.size(), 2u);
    EXPECT_NE(next[0].pduContent.find("8C050003010201"), std::string::npos) << Visible(next[0].pduContent);
}

// What cannot be sent gives no steps and a reason, never an empty SMS.
TEST(SendSteps, UnsendableGivesNoStepsAndAReason)
{
    const struct {
        const char* phone;
        std::string text;
        const char* reason;
    } rows[] = {
        {"13912345678", "bad \xFF text", "Text cannot be encoded"},
        {"13912345678", Repeat("a", 80) + "\xC0\x80", "Text cannot be encoded"},
        {"139-1234-5678", "hi", "Invalid destination number"},
        {"139123456789012345678", "hi", "Invalid destination number"},  // 21 digits
        {"", "hi", "Invalid destination number"},
        {"+", Repeat("a", 80), "Invalid destination number"},
        {"13912345678", Repeat("a", 255 * 67 + 1), "Text too long"},
    };
    for (const auto& r : rows) {
        for (const ModelRow& m : RegisteredModels()) {
            if (m.type == PHONE_TYPE_MC323_ON && r.text.size() > 1000) {
                continue;  // no part limit without a concatenation header
            }
            auto model = modeltest::MakeModel(m.type);
            EXPECT_TRUE(model->GetSendPduSmsCmdArray(r.phone, r.text).empty()) << m.className << " " << r.phone;
            EXPECT_EQ(model->GetErrorMessage().find(r.reason), 0u)
                << m.className << " " << r.phone << ": " << model->GetErrorMessage();
        }
    }
    // 20 digits is the longest address.
    CentreCard model("");
    EXPECT_EQ(model.GetSendPduSmsCmdArray("13912345678901234567", "hi").size(), 1u);
}

// ---- CDMA: AT^HCMGS="<number>" then UCS-2 text, a zero byte and Ctrl-Z

TEST(SendSteps, Mc323Single)
{
    Mc323Card model;
    const auto steps = model.GetSendPduSmsCmdArray("13912345678", "Hi" + ZHONG);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].lenCmd, "AT^HCMGS=\"13912345678\"\r");
    EXPECT_EQ(steps[0].pduContent, std::string("\0H\0i\x4E\x2D\0\x1A", 8));
}

TEST(SendSteps, Mc323LongPartsCarryMarkers)
{
    Mc323Card model;
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    const auto steps = model.GetSendPduSmsCmdArray("10086", text);
    ASSERT_EQ(steps.size(), 5u);  // 600 bytes, 128 per part
    const std::string ucs2 = Ucs2(text);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        EXPECT_EQ(steps[k].lenCmd, "AT^HCMGS=\"10086\"\r");
        const std::string marker = Ucs2("(" + std::to_string(k + 1) + "/5)");
        EXPECT_EQ(steps[k].pduContent,
                  ucs2.substr(128 * k, 128) + marker + std::string(1, '\0') + SUB) << k;
    }
}

// From ten parts on the markers widen and leave less room for text: the
// announced count must still be the number of parts sent.
TEST(SendSteps, Mc323MarkersCountTheRealParts)
{
    Mc323Card model;
    std::string text;
    for (int i = 0; i < 700; ++i) {
        text += static_cast<char>('A' + i % 26);
    }
    const auto steps = model.GetSendPduSmsCmdArray("10086", text);
    ASSERT_EQ(steps.size(), 12u);
    std::string joined;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const std::string& body = steps[k].pduContent;
        const std::string marker = Ucs2("(" + std::to_string(k + 1) + "/12)") + std::string(1, '\0') + SUB;
        ASSERT_GE(body.size(), marker.size());
        EXPECT_EQ(body.substr(body.size() - marker.size()), marker) << k;
        EXPECT_LE(body.size(), 140u) << k;
        joined += body.substr(0, body.size() - marker.size());
    }
    EXPECT_EQ(joined, Ucs2(text));
}

TEST(SendSteps, Mc323NeverSplitsASurrogatePair)
{
    Mc323Card model;
    // 63 letters, then an emoji whose halves would fall on both sides of the
    // 128-byte cut.
    const std::string text = Repeat("a", 63) + GRIN + Repeat("b", 10);
    const auto steps = model.GetSendPduSmsCmdArray("10086", text);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].pduContent, Ucs2(Repeat("a", 63)) + Ucs2("(1/2)") + std::string(1, '\0') + SUB);
    EXPECT_EQ(steps[1].pduContent, std::string("\xD8\x3D\xDE\x00", 4) + Ucs2(Repeat("b", 10)) + Ucs2("(2/2)") +
                                       std::string(1, '\0') + SUB);
}

// encoding=auto: what fits the 7-bit alphabet goes out in it, the rest in
// UCS-2; the CDMA model keeps its own commands.
TEST(SendSteps, AutoEncodingChoosesTheAlphabetPerText)
{
    const std::string latin1000 = Repeat("Tarnel sends 7-bit. ", 50);
    const struct
    {
        const char* name;
        SMS_ENCODING_t encoding;
        std::string text;
        std::size_t steps;
        int dcs;  // of every part; -1: the CDMA model's own command
    } rows[] = {
        {"ShortLatin", SMS_ENCODING_AUTO, "Hello there", 1, 0},
        {"LatinOf160IsOneSms", SMS_ENCODING_AUTO, std::string(160, 'x'), 1, 0},
        {"LatinOf161IsTwo", SMS_ENCODING_AUTO, std::string(161, 'x'), 2, 0},
        {"Latin1000InSevenNotFifteen", SMS_ENCODING_AUTO, latin1000, 7, 0},
        {"EuroAndBraces", SMS_ENCODING_AUTO, "Price {x}: 5 \xE2\x82\xAC", 1, 0},
        {"ChineseNeedsUcs2", SMS_ENCODING_AUTO, "Hello " + ZHONG, 1, 8},
        {"EmojiNeedsUcs2", SMS_ENCODING_AUTO, "Hi " + GRIN, 1, 8},
        {"LongChineseNeedsUcs2", SMS_ENCODING_AUTO, Repeat(ZHONG, 100), 2, 8},
        {"Ucs2WhenAsked", SMS_ENCODING_UCS2, latin1000, 15, 8},
        {"Mc323KeepsItsCommand", SMS_ENCODING_AUTO, "Hello there", 1, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<CPhoneCardBase> model;
        if (row.dcs < 0) {
            model = std::make_unique<Mc323Card>();
        } else {
            model = std::make_unique<CentreCard>("+8613800100500");
        }
        model->SetSendEncoding(row.encoding);
        const auto steps = model->GetSendPduSmsCmdArray("13912345678", row.text);
        ASSERT_EQ(steps.size(), row.steps);
        if (row.dcs < 0) {
            EXPECT_EQ(steps[0].lenCmd, "AT^HCMGS=\"13912345678\"\r");
            continue;
        }
        std::string joined;
        for (const PDU_LONG_SMS_Base_t& step : steps) {
            const std::string pdu = step.pduContent.substr(0, step.pduContent.size() - 1);
            SM_PARAM decoded;
            std::memset(&decoded, 0, sizeof decoded);
            ASSERT_GT(gsmDecodeSendPdu(pdu.c_str(), &decoded), 0) << pdu;
            EXPECT_EQ(decoded.tp_dcs, row.dcs);
            joined += decoded.tp_ud;
            EXPECT_EQ(step.lenCmd, "AT+CMGS=" + std::to_string(pdu.size() / 2 - 9) + "\r");
        }
        EXPECT_EQ(joined, row.text);
    }
}
