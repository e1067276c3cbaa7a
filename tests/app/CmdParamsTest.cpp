// The command-line send mode's documents and argument handling, and the
// "pdu" form's listing of send steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <json/json.h>

#include "CCheckManager.h"
#include "PhoneCardBase.h"
#include "SendTestSupport.h"
#include "SmsDecode.h"
#include "SmsParam.h"

namespace {

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

// Member names in the order the document prints them.
std::vector<std::string> KeyOrder(const std::string& text, const std::vector<std::string>& keys)
{
    std::vector<std::pair<std::string::size_type, std::string>> found;
    for (const std::string& key : keys) {
        const std::string::size_type at = text.find("\"" + key + "\" :");
        if (at != std::string::npos) {
            found.emplace_back(at, key);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (const auto& f : found) {
        out.push_back(f.second);
    }
    return out;
}

// Only quotes that wrap the whole message go; a quote inside it is text.
TEST(RemoveDoubleQuotationMarks, OnlyAWrappingPairGoes)
{
    const struct
    {
        const char* in;
        const char* out;
    } rows[] = {
        {"\"Hello world\"", "Hello world"},
        {"\"abcd\"", "abcd"},
        {"\"\"\"\"", "\"\"\"\""},                    // 4 characters: kept
        {"\"abc\"", "\"abc\""},                  // 5 characters: kept
        {"\"你好\"", "你好"},                      // 8 bytes
        {"He said \"hello\" to me", "He said \"hello\" to me"},
        {"Code: \"1234\". Do not share", "Code: \"1234\". Do not share"},
        {"\"a \"quoted\" b\"", "\"a \"quoted\" b\""},  // wrapping plus inner
        {"\"starts quoted only", "\"starts quoted only"},
        {"ends quoted only\"", "ends quoted only\""},
        {"only \"one quote", "only \"one quote"},
        {"\"\"\"\"\"\"", "\"\"\"\"\"\""},
        {"no quotes at all", "no quotes at all"},
        {"\"", "\""},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CCheckManager::RemoveDoubleQuotationMarksOfStringBothSide(row.in), row.out) << row.in;
    }
}

TEST(CmdErrorDocument, ThreeCodesWithTheirTexts)
{
    const struct
    {
        int code;
        const char* message;
    } rows[] = {{1, "com port error"}, {2, "phone number error"}, {3, "param count error"}};
    for (const auto& row : rows) {
        CaptureOut capture;
        CCheckManager::PrintCmdParamsErrorAsJson(row.code);
        const std::string out = capture.Text();
        const Json::Value doc = Parse(out);
        EXPECT_EQ(doc["code"].asInt(), row.code);
        EXPECT_EQ(doc["message"].asString(), row.message);
        EXPECT_TRUE(doc["result"].isArray());
        EXPECT_EQ(doc["result"].size(), 0u);
        EXPECT_EQ(doc.size(), 3u);
        EXPECT_EQ(KeyOrder(out, {"message", "result", "code"}),
                  std::vector<std::string>({"code", "message", "result"}));
        // The styled text, then one more line end.
        ASSERT_GE(out.size(), 3u);
        EXPECT_EQ(out.substr(out.size() - 3), "}\n\n");
    }
}

TEST(CmdParams, WrongArgumentCountTouchesNoPort)
{
    for (std::vector<const char*> args : {std::vector<const char*>{"tarnel", "13912345678"},
                                          std::vector<const char*>{"tarnel", "a", "b", "c", "d"}}) {
        CCheckManager manager;
        std::string out;
        {
            CaptureOut capture;
            manager.OnCmdParams(static_cast<int>(args.size()), const_cast<char**>(args.data()));
            out = capture.Text();
        }
        EXPECT_FALSE(manager.m_bPlainText);
        EXPECT_TRUE(manager.m_vecComInfo.empty()) << "scanned";
        const Json::Value doc = Parse(out);
        EXPECT_EQ(doc["code"].asInt(), 3);
        EXPECT_EQ(doc["message"].asString(), "param count error");
    }
}

TEST(CmdResultDocument, ElementsInOrderWithTheirMessages)
{
    CCheckManager manager;
    const struct
    {
        const char* com;
        const char* number;
        int code;
        const char* message;
        const char* shown;
    } rows[] = {
        {"/dev/ttyUSB0", "13912345678", SMS_SUCCEED, "succeed", "Succeed"},
        {"/dev/ttyUSB0", "10086", SMS_FAILED_UNKNOWN, "+CMS ERROR: 330", "+CMS ERROR: 330"},
        {"/dev/ttyUSB12", "13912345678", SMS_NO_SIM_CARD, "", "No SIM CARD In Device"},
        {"/dev/ttyS0", "10086", SMS_NOT_SUPPORTED_SMS_DEVICE, "No Velta Dev.", "Not VelTa Sms Device"},
        {"/dev/ttyAMA0", "10086", SMS_DEVICE_NOT_AT, "No AT", "Device Not AT"},
    };
    for (const auto& row : rows) {
        SendSmsResult_t r;
        r.com = row.com;
        r.number = row.number;
        r.time = "2024-05-06 07:08:09";
        r.code = row.code;
        r.message = row.message;
        if (r.com == "/dev/ttyUSB12") {
            r.imei = "861234567890123";
            r.iccid = "\"89860012345678901234\"";
            r.usb = "1-1.3";
        }
        manager.m_vecSendResult.push_back(r);
    }
    CaptureOut capture;
    manager.PrintSendPduSmsResultAsJson();
    const std::string out = capture.Text();
    const Json::Value doc = Parse(out);
    EXPECT_EQ(doc["code"].asInt(), 0);
    EXPECT_EQ(doc["message"].asString(), "param is ok");
    ASSERT_EQ(doc["result"].size(), 5u);
    const char* shortNames[] = {"ttyUSB0", "ttyUSB0", "ttyUSB12", "ttyS0", "ttyAMA0"};
    for (Json::ArrayIndex i = 0; i < 5; ++i) {
        const Json::Value& e = doc["result"][i];
        EXPECT_EQ(e.size(), 8u);
        EXPECT_EQ(e["com"].asString(), shortNames[i]);
        // Who sent it: empty where unknown, the ICCID without the quotes the modem gave it.
        const bool known = i == 2;
        EXPECT_EQ(e["imei"].asString(), known ? "861234567890123" : "");
        EXPECT_EQ(e["iccid"].asString(), known ? "89860012345678901234" : "");
        EXPECT_EQ(e["usb"].asString(), known ? "1-1.3" : "");
        EXPECT_EQ(e["number"].asString(), rows[i].number);
        EXPECT_EQ(e["time"].asString(), "2024-05-06 07:08:09");
        EXPECT_TRUE(e["code"].isInt());
        EXPECT_EQ(e["code"].asInt(), rows[i].code);
        EXPECT_EQ(e["message"].asString(), rows[i].shown);
    }
    EXPECT_EQ(KeyOrder(out, {"result", "message", "code"}), std::vector<std::string>({"code", "message", "result"}));
    EXPECT_EQ(out.substr(out.size() - 3), "}\n\n");
}

TEST(CmdResultDocument, NoResultsNoResultMember)
{
    CCheckManager manager;
    CaptureOut capture;
    manager.PrintSendPduSmsResultAsJson();
    const Json::Value doc = Parse(capture.Text());
    EXPECT_EQ(doc.size(), 2u);
    EXPECT_FALSE(doc.isMember("result"));
    EXPECT_EQ(doc["message"].asString(), "param is ok");
}

// ---- the pdu form

TEST(StringToHex, UpperCaseTwoDigitsPerByte)
{
    EXPECT_EQ(string_to_hex("abc"), "616263");
    EXPECT_EQ(string_to_hex(""), "");
    EXPECT_EQ(string_to_hex(std::string("\x00\x1a\xff\x7f\x80", 5)), "001AFF7F80");
}

// Output lines of the pdu form (a length command keeps its own CR).
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "unterminated last line";
    return lines;
}

class PduForm : public ::testing::Test
{
protected:
    void TearDown() override { unsetenv("VT-MC323"); }

    std::string Run(const std::string& number, const std::string& message)
    {
        CCheckManager manager;
        CaptureOut capture;
        manager.OnCmdPduTest(number, message);
        return capture.Text();
    }
};

TEST_F(PduForm, NormalLinesDecodeToNumberAndText)
{
    unsetenv("VT-MC323");
    const std::vector<std::string> lines = Lines(Run("13912345678", "Hello"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "NORMAL:");
    const std::string& pdu = lines[2];
    ASSERT_GE(pdu.size(), 2u);
    // The announced length counts the octets after the service-centre field.
    const int scaOctets = std::stoi(pdu.substr(0, 2), nullptr, 16);
    EXPECT_EQ(lines[1], "AT+CMGS=" + std::to_string(static_cast<int>(pdu.size()) / 2 - scaOctets - 1) + "\r");
    EXPECT_EQ(pdu.find('\x1a'), std::string::npos);
    SM_PARAM param{};
    ASSERT_GT(gsmDecodeSendPdu(pdu.c_str(), &param), 0) << pdu;
    EXPECT_STREQ(param.tpa, "13912345678");
    EXPECT_STREQ(param.tp_ud, "Hello");
}

TEST_F(PduForm, Mc323LinesFirstWithHexBody)
{
    setenv("VT-MC323", "", 1);
    const std::vector<std::string> lines = Lines(Run("13912345678", "Hi"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "MC323:");
    EXPECT_EQ(lines[1], "AT^HCMGS=\"13912345678\"\r");
    EXPECT_EQ(lines[2], "<HEX>");
    EXPECT_EQ(lines[3], "0048006900");  // UCS-2 of "Hi", then the zero byte; Ctrl-Z dropped
    EXPECT_EQ(lines[4], "NORMAL:");
}

TEST_F(PduForm, LongTextListsEveryPart)
{
    unsetenv("VT-MC323");
    const std::vector<std::string> lines = Lines(Run("13912345678", std::string(200, 'x')));
    ASSERT_EQ(lines.size(), 9u);  // 200 UCS-2 characters: three parts of at most 67
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        EXPECT_EQ(lines[i], "NORMAL:");
        EXPECT_EQ(lines[i + 1].compare(0, 8, "AT+CMGS="), 0);
    }
}

TEST_F(PduForm, UnencodableTextSaysWhy)
{
    unsetenv("VT-MC323");
    const std::vector<std::string> lines = Lines(Run("13912345678", "\xff\xfe\xfd"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "NORMAL:");
    EXPECT_FALSE(lines[1].empty());
    EXPECT_EQ(lines[1].find("AT+CMGS"), std::string::npos);
}

}  // namespace
