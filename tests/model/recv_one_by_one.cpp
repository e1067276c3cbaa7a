// Models that read stored messages one at a time ("AT+CMGD=?" then
// "AT+CMGR=<i>"), and the CDMA model's text listing ("AT^HCMGL=4", "AT^HCMGR=").

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "CreatePhone.h"
#include "PhoneCardBase.h"

namespace {

std::string ReadFile(const std::string& relative)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fixture holding several answers, each ending with "\r\n\r\nOK\r\n".
std::vector<std::string> Answers(const std::string& relative)
{
    const std::string all = ReadFile(relative);
    const std::string end = "\r\n\r\nOK\r\n";
    std::vector<std::string> out;
    std::string::size_type start = 0;
    std::string::size_type at;
    while ((at = all.find(end, start)) != std::string::npos) {
        out.push_back(all.substr(start, at + end.size() - start));
        start = at + end.size();
    }
    return out;
}

std::unique_ptr<CPhoneCardBase> Make(PHONE_TYPE_t type)
{
    return std::unique_ptr<CPhoneCardBase>(GetPhoneByType(type));
}

// "+CMGR: <stat>,,<len>" CR LF PDU CR LF, then OK.
std::string CmgrAnswer(const std::string& pdu, int stat = 1)
{
    const int length = static_cast<int>(pdu.size() / 2) - 1 - std::stoi(pdu.substr(0, 2), nullptr, 16);
    return "\r\n+CMGR: " + std::to_string(stat) + ",," + std::to_string(length) + "\r\n" + pdu + "\r\n\r\nOK\r\n";
}

const char HI_PDU[] = "0004" "0B911346610089F60008" "32507180030000" "0400480069";
const char YO_PDU[] = "0004" "0B913186000000F00008" "32507180030000" "040059006F";

class OneByOneModel : public ::testing::TestWithParam<PHONE_TYPE_t>
{
};

// Which indices are asked for, in the modem's order, and nothing after them.
TEST_P(OneByOneModel, AsksForEachListedIndex)
{
    const auto phone = Make(GetParam());
    EXPECT_EQ(phone->GetReadAllSmsCmd(), "AT+CMGD=?\r\n");
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp(ReadFile("cmgd/CPhone_K2210_NC5.txt")), RSP_OK);
    for (const char* cmd : {"AT+CMGR=1\r\n", "AT+CMGR=2\r\n", "AT+CMGR=5\r\n"}) {
        ASSERT_TRUE(phone->NotFinished());
        EXPECT_EQ(phone->GetReadNextSmsCmd(), cmd);
    }
    EXPECT_FALSE(phone->NotFinished());
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "");
}

TEST_P(OneByOneModel, FixtureAnswersJoinedAfterEachRead)
{
    const auto phone = Make(GetParam());
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp(ReadFile("cmgd/CPhone_K2210_NC5.txt")), RSP_OK);
    const std::vector<std::string> answers = Answers("cmgr/CPhone_K2210_NC5.txt");
    ASSERT_EQ(answers.size(), 3u);
    const size_t expectedAfter[] = {0, 1, 2};  // part 2 alone waits; then the single; then both
    for (size_t i = 0; i < answers.size(); ++i) {
        phone->GetReadNextSmsCmd();
        EXPECT_EQ(phone->OnReadNextSmsCmdRsp(answers[i]), RSP_OK);
        EXPECT_EQ(phone->GetReadSms().size(), expectedAfter[i]) << "after answer " << i;
    }
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].from, "31641600986");
    EXPECT_EQ(got[0].time, "23-05-17 08:30:00");
    EXPECT_EQ(got[0].text, "How are you? See you at 8pm.");
    std::string euros;
    for (int i = 0; i < 100; ++i) {
        euros += "\xE2\x82\xAC";
    }
    EXPECT_EQ(got[1].text, euros + " end");
    // The indices read with: the single at 2, the long message's parts 1 and 2 at 5 and 1.
    EXPECT_EQ(got[0].indices, std::vector<int>{2});
    EXPECT_EQ(got[1].indices, (std::vector<int>{5, 1}));
}

// Each listing starts afresh: the SIM pass does not report the modem-memory
// messages again.
TEST_P(OneByOneModel, EachListingStartsAFreshCollection)
{
    const auto phone = Make(GetParam());
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (3),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    phone->GetReadNextSmsCmd();
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp(CmgrAnswer(HI_PDU)), RSP_OK);
    ASSERT_EQ(phone->GetReadSms().size(), 1u);

    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    EXPECT_FALSE(phone->NotFinished());
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "");
    EXPECT_TRUE(phone->GetReadSms().empty());

    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (7),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "AT+CMGR=7\r\n");
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp(CmgrAnswer(YO_PDU)), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "Yo");
}

// An unreadable last index loses nothing read before it.
TEST_P(OneByOneModel, FailedLastReadKeepsEarlierMessages)
{
    const auto phone = Make(GetParam());
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (1,2),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    phone->GetReadNextSmsCmd();
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp(CmgrAnswer(HI_PDU)), RSP_OK);
    phone->GetReadNextSmsCmd();
    EXPECT_EQ(phone->OnReadNextSmsCmdRsp("\r\n+CMS ERROR: 321\r\n"), RSP_ERROR);
    EXPECT_FALSE(phone->NotFinished());
    ASSERT_EQ(phone->GetReadSms().size(), 1u);
    EXPECT_EQ(phone->GetReadSms()[0].text, "Hi");
}

TEST_P(OneByOneModel, EchoAndStatusOfTheReadAnswer)
{
    const auto phone = Make(GetParam());
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (1,2),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    // An echoed command line is no header.
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp("AT+CMGR=1\r\r\n+CMGR: 1,,23\r\n" + std::string(HI_PDU) +
                                         "\r\n\r\nOK\r\n"),
              RSP_OK);
    // A stored sent message is read as what it is.
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp(CmgrAnswer("0011000B911346610089F60008AA0400480069", 3)), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "Hi");
    EXPECT_EQ(got[1].from, "31641600986");
    EXPECT_EQ(got[1].text, "Hi");
}

// A message that does not come whole is kept as unreadable, never as a
// message and never deletable; read again whole, it takes its place.
TEST_P(OneByOneModel, UnreadableUntilReadAgain)
{
    const auto phone = Make(GetParam());
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (1,2),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(phone->GetReadNextSmsCmd(), "AT+CMGR=1\r\n");
    const std::string cut = "\r\n+CMGR: 1,,23\r\n" + std::string(HI_PDU).substr(0, 30) + "\r\n\r\nOK\r\n";
    EXPECT_EQ(phone->OnReadNextSmsCmdRsp(cut), RSP_ERROR);
    ASSERT_EQ(phone->GetReadNextSmsCmd(), "AT+CMGR=2\r\n");
    EXPECT_EQ(phone->OnReadNextSmsCmdRsp(CmgrAnswer(YO_PDU)), RSP_OK);
    std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, SMS_KIND_UNREADABLE);
    EXPECT_EQ(got[0].state, SMS_ENTRY_LENGTH_DIFFERS);
    EXPECT_EQ(got[0].entryIndex, 1);
    EXPECT_TRUE(got[0].indices.empty());
    EXPECT_EQ(got[1].text, "Yo");

    EXPECT_EQ(phone->GetReadOneSmsCmd(1), "AT+CMGR=1\r\n");
    EXPECT_EQ(phone->OnReadOneSmsCmdRsp(CmgrAnswer(HI_PDU)), RSP_OK);
    got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "Hi");
    EXPECT_EQ(got[0].indices, std::vector<int>{1});
    EXPECT_EQ(got[1].indices, std::vector<int>{2});
}

struct CmgdCase
{
    const char* name;
    const char* rsp;
    int verdict;
    std::vector<std::string> commands;
};

std::ostream& operator<<(std::ostream& os, const CmgdCase& c)
{
    return os << c.name;
}

const CmgdCase CMGD_CASES[] = {
    {"Empty", "\r\n+CMGD: (),(0-4)\r\n\r\nOK\r\n", RSP_OK, {}},
    {"Range", "\r\n+CMGD: (1-3,7),(0-4)\r\n\r\nOK\r\n", RSP_OK,
     {"AT+CMGR=1\r\n", "AT+CMGR=2\r\n", "AT+CMGR=3\r\n", "AT+CMGR=7\r\n"}},
    {"Blanks", "\r\n+CMGD: ( 4 , 9 ),(0-4)\r\n\r\nOK\r\n", RSP_OK, {"AT+CMGR=4\r\n", "AT+CMGR=9\r\n"}},
    {"StrayText", "\r\n+CMGD: (1,x\r,2-),(0-4)\r\n\r\nOK\r\n", RSP_OK, {"AT+CMGR=1\r\n"}},
    // An index named twice is read, reported and deleted once.
    {"IndexTwice", "\r\n+CMGD: (2,1,2,1-3),(0-4)\r\n\r\nOK\r\n", RSP_OK,
     {"AT+CMGR=2\r\n", "AT+CMGR=1\r\n", "AT+CMGR=3\r\n"}},
    {"NotFinished", "\r\n+CMGD: (1,2),(0-4)\r\n", RSP_MORE, {}},
    {"Error", "\r\n+CMS ERROR: 302\r\n", RSP_ERROR, {}},
    // Neither lists the used indices: the storage must not pass for empty.
    {"ErrorThenOk", "\r\n+CMS ERROR: 500\r\n\r\nOK\r\n", RSP_ERROR, {}},
    {"NoList", "\r\nOK\r\n", RSP_ERROR, {}},
};

class CmgdAnswers : public ::testing::TestWithParam<CmgdCase>
{
};

TEST_P(CmgdAnswers, PendingIndices)
{
    const CmgdCase& c = GetParam();
    const auto phone = Make(PHONE_TYPE_K2210_NC5);
    EXPECT_EQ(phone->OnReadAllSmsCmdRsp(c.rsp), c.verdict);
    std::vector<std::string> commands;
    while (phone->NotFinished() && commands.size() < 2000) {
        commands.push_back(phone->GetReadNextSmsCmd());
    }
    EXPECT_EQ(commands, c.commands);
}

INSTANTIATE_TEST_SUITE_P(Answers, CmgdAnswers, ::testing::ValuesIn(CMGD_CASES),
                         [](const ::testing::TestParamInfo<CmgdCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CmgdAnswers, HugeRangeIsBounded)
{
    const auto phone = Make(PHONE_TYPE_K2210_NC5);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n+CMGD: (0-999999999),(0-4)\r\n\r\nOK\r\n"), RSP_OK);
    int count = 0;
    while (phone->NotFinished() && count < 100000) {
        phone->GetReadNextSmsCmd();
        ++count;
    }
    EXPECT_EQ(count, 1000);
}

TEST(CmgdAnswers, EveryPrefixIsMoreUntilOk)
{
    const std::string rsp = ReadFile("cmgd/CPhone_K2210_NC5.txt");
    ASSERT_FALSE(rsp.empty());
    const size_t okAt = rsp.rfind("OK");
    for (size_t n = 0; n <= rsp.size(); ++n) {
        const auto phone = Make(PHONE_TYPE_K2210_NC5);
        EXPECT_EQ(phone->OnReadAllSmsCmdRsp(rsp.substr(0, n)), n >= okAt + 4 ? RSP_OK : RSP_MORE) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Models, OneByOneModel,
                         ::testing::Values(PHONE_TYPE_K2210_NC5, PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3,
                                           PHONE_TYPE_MEIGDEV, PHONE_TYPE_INCORPORATED_A7600C1_SE),
                         [](const ::testing::TestParamInfo<PHONE_TYPE_t>& info) {
                             return "Type" + std::to_string(static_cast<int>(info.param));
                         });

// ---------------------------------------------------------------------------
// CDMA text listing.

TEST(Mc323Listing, FixtureListThenRead)
{
    const auto phone = Make(PHONE_TYPE_MC323_ON);
    EXPECT_EQ(phone->GetReadAllSmsCmd(), "AT^HCMGL=4\r\n");
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp(ReadFile("hcmgl/CPhone_MC323_ON.txt")), RSP_OK);
    const std::vector<std::string> answers = Answers("hcmgr/CPhone_MC323_ON.txt");
    ASSERT_EQ(answers.size(), 2u);
    const char* const commands[] = {"AT^HCMGR=0\r\n", "AT^HCMGR=3\r\n"};
    for (size_t i = 0; i < answers.size(); ++i) {
        ASSERT_TRUE(phone->NotFinished());
        EXPECT_EQ(phone->GetReadNextSmsCmd(), commands[i]);
        EXPECT_EQ(phone->OnReadNextSmsCmdRsp(answers[i]), RSP_OK);
    }
    EXPECT_FALSE(phone->NotFinished());
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "");
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].from, "13912345678");
    EXPECT_EQ(got[0].time, "2023-05-17 08:30:00");
    EXPECT_EQ(got[0].text, "See you\r\nat 8");
    EXPECT_EQ(got[1].from, "10086");
    EXPECT_EQ(got[1].time, "2023-05-17 08:31:05");
    // U+4E0A carries a line feed in its second byte; ", OK?" holds an OK.
    EXPECT_EQ(got[1].text, "\xE4\xB8\x8A\xE6\xB5\xB7\xE8\xA7\x81, OK?");
    EXPECT_EQ(got[0].indices, std::vector<int>{0});
    EXPECT_EQ(got[1].indices, std::vector<int>{3});
}

// A refused listing is a failure, never an empty storage, and leaves
// nothing to read; a cut one is not finished.
TEST(Mc323Listing, FailedListings)
{
    const struct
    {
        const char* name;
        std::string rsp;
        int verdict;
    } rows[] = {
        {"CmsError", "\r\n+CMS ERROR: 500\r\n", RSP_ERROR},
        {"PlainError", "\r\nERROR\r\n", RSP_ERROR},
        {"EntriesThenError", "\r\n^HCMGL:1,1\r\n^HCMGL:2,1\r\n\r\n+CME ERROR: 100\r\n", RSP_ERROR},
        {"Cut", "\r\n^HCMGL:1,1\r\n", RSP_MORE},
    };
    for (const auto& r : rows) {
        const auto phone = Make(PHONE_TYPE_MC323_ON);
        EXPECT_EQ(phone->OnReadAllSmsCmdRsp(r.rsp), r.verdict) << r.name;
        if (r.verdict == RSP_ERROR) {
            EXPECT_FALSE(phone->NotFinished()) << r.name;
            EXPECT_FALSE(phone->GetErrorMessage().empty()) << r.name;
        }
        EXPECT_TRUE(phone->GetReadSms().empty()) << r.name;
    }
}

TEST(Mc323Listing, EveryPrefixIsMoreUntilOk)
{
    const std::string rsp = ReadFile("hcmgl/CPhone_MC323_ON.txt");
    ASSERT_FALSE(rsp.empty());
    const size_t okAt = rsp.rfind("OK");
    for (size_t n = 0; n <= rsp.size(); ++n) {
        const auto phone = Make(PHONE_TYPE_MC323_ON);
        EXPECT_EQ(phone->OnReadAllSmsCmdRsp(rsp.substr(0, n)), n >= okAt + 4 ? RSP_OK : RSP_MORE) << n;
    }
}

TEST(Mc323Listing, EachListingStartsAfresh)
{
    const auto phone = Make(PHONE_TYPE_MC323_ON);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n^HCMGL:1,1\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=1\r\n");
    ASSERT_EQ(phone->OnReadNextSmsCmdRsp(Answers("hcmgr/CPhone_MC323_ON.txt").at(0)), RSP_OK);
    ASSERT_EQ(phone->GetReadSms().size(), 1u);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n^HCMGL:4,0\r\n^HCMGL:5,1\r\n\r\nOK\r\n"), RSP_OK);
    EXPECT_TRUE(phone->GetReadSms().empty());
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=4\r\n");
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=5\r\n");
    EXPECT_FALSE(phone->NotFinished());
}

// An index the listing shows twice is read once.
TEST(Mc323Listing, IndexTwiceReadOnce)
{
    const auto phone = Make(PHONE_TYPE_MC323_ON);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n^HCMGL:2,1\r\n^HCMGL:4,1\r\n^HCMGL:2,1\r\n\r\nOK\r\n"), RSP_OK);
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=2\r\n");
    EXPECT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=4\r\n");
    EXPECT_FALSE(phone->NotFinished());
}

// A text that did not come whole is unreadable until read again whole.
TEST(Mc323Listing, UnreadableUntilReadAgain)
{
    const auto phone = Make(PHONE_TYPE_MC323_ON);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n^HCMGL:3,1\r\n\r\nOK\r\n"), RSP_OK);
    ASSERT_EQ(phone->GetReadNextSmsCmd(), "AT^HCMGR=3\r\n");
    // Announced 9 bytes, 7 came: the Ctrl-Z is not where the length puts it.
    const std::string header = "\r\n^HCMGR:13912345678,2023,05,17,08,30,00,0,1,9,0,0,0,1\r\n";
    EXPECT_EQ(phone->OnReadNextSmsCmdRsp(header + "See you\x1A\r\n\r\nOK\r\n"), RSP_ERROR);
    ASSERT_EQ(phone->GetReadSms().size(), 1u);
    SmsRecvStruct_t unreadable = phone->GetReadSms()[0];
    EXPECT_EQ(unreadable.kind, SMS_KIND_UNREADABLE);
    EXPECT_EQ(unreadable.entryIndex, 3);
    EXPECT_TRUE(unreadable.indices.empty());
    EXPECT_EQ(unreadable.raw.rfind("^HCMGR:13912345678,", 0), 0u) << unreadable.raw;

    EXPECT_EQ(phone->GetReadOneSmsCmd(3), "AT^HCMGR=3\r\n");
    EXPECT_EQ(phone->OnReadOneSmsCmdRsp(header + "See you"), RSP_MORE);
    EXPECT_EQ(phone->OnReadOneSmsCmdRsp(header + "See you\r\n\r\nOK\r\n"), RSP_ERROR);  // no Ctrl-Z after 9 bytes
    ASSERT_EQ(phone->GetReadSms().size(), 1u);
    EXPECT_EQ(phone->GetReadSms()[0].kind, SMS_KIND_UNREADABLE);
    EXPECT_EQ(phone->OnReadOneSmsCmdRsp(header + "See you!!\x1A\r\n\r\nOK\r\n"), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, SMS_KIND_MESSAGE);
    EXPECT_EQ(got[0].text, "See you!!");
    EXPECT_EQ(got[0].indices, std::vector<int>{3});
}

// CDMA text by its <format>: decoded where the encoding is known, shown in
// hex where it is not (or its bytes do not fit it), never mangled.
struct CdmaTextCase
{
    const char* name;
    int format;
    std::string bytes;
    std::string text;
    SmsKind_t kind;
};

std::ostream& operator<<(std::ostream& os, const CdmaTextCase& c)
{
    return os << c.name;
}

const CdmaTextCase CDMA_TEXT_CASES[] = {
    {"Ascii", 1, "See you", "See you", SMS_KIND_MESSAGE},
    {"AsciiWithLatinByte", 1, "caf\xE9", "[undecodable text, encoding 1, 4 bytes] 636166E9", SMS_KIND_UNDECODABLE},
    {"AsciiWithUtf8Bytes", 1, "\xE4\xBD\xA0", "[undecodable text, encoding 1, 3 bytes] E4BDA0", SMS_KIND_UNDECODABLE},
    {"Ia5", 2, "Hi", "Hi", SMS_KIND_MESSAGE},
    {"OctetsPlainText", 3, "Hi", "Hi", SMS_KIND_MESSAGE},
    {"OctetsBinary", 3, std::string("\x00\x01\xFF", 3), "[binary data, 3 bytes] 0001FF", SMS_KIND_MESSAGE},
    {"Latin1", 4, "caf\xE9 \xA3" "5", "caf\xC3\xA9 \xC2\xA3" "5", SMS_KIND_MESSAGE},
    {"LatinHebrew", 5, "\xE0\xE1", "[undecodable text, encoding 5, 2 bytes] E0E1", SMS_KIND_UNDECODABLE},
    {"Gsm7Bit", 0, "Hi", "[undecodable text, encoding 0, 2 bytes] 4869", SMS_KIND_UNDECODABLE},
    {"FormatNotANumber", -1, "Hi", "[undecodable text, 2 bytes] 4869", SMS_KIND_UNDECODABLE},
    {"Unicode", 6, std::string("\x4E\x2D\x00\x21", 4), "\xE4\xB8\xAD!", SMS_KIND_MESSAGE},
};

class Mc323Text : public ::testing::TestWithParam<CdmaTextCase>
{
};

TEST_P(Mc323Text, ByItsFormat)
{
    const CdmaTextCase& c = GetParam();
    const auto phone = Make(PHONE_TYPE_MC323_ON);
    ASSERT_EQ(phone->OnReadAllSmsCmdRsp("\r\n^HCMGL:0,1\r\n\r\nOK\r\n"), RSP_OK);
    phone->GetReadNextSmsCmd();
    const std::string ctrlZ = c.format == 6 ? std::string("\0\x1A", 2) : std::string("\x1A");
    const std::string format = c.format < 0 ? std::string("\xCE") : std::to_string(c.format);
    const std::string answer = "\r\n^HCMGR:10086,2023,05,17,08,30,00,0," + format + "," +
                               std::to_string(c.bytes.size()) + ",0,0,0,1\r\n" + c.bytes + ctrlZ + "\r\n\r\nOK\r\n";
    EXPECT_EQ(phone->OnReadNextSmsCmdRsp(answer), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone->GetReadSms();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, c.text);
    EXPECT_EQ(got[0].kind, c.kind);
    EXPECT_EQ(got[0].indices, std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(Formats, Mc323Text, ::testing::ValuesIn(CDMA_TEXT_CASES),
                         [](const ::testing::TestParamInfo<CdmaTextCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Mc323Listing, ReadAnswers)
{
    const struct
    {
        const char* name;
        std::string rsp;
        int verdict;
        size_t records;
    } rows[] = {
        {"NoOk", "\r\n^HCMGR:139,2023,05,17,08,30,00,0,1,2,0,0,0,1\r\nHi\x1A\r\n", RSP_MORE, 0},
        // Complete answers whose text did not come whole: kept as unreadable.
        {"EightPieces", "\r\n^HCMGR:139,2023,05,17,08,30,00,0\r\nHi\x1A\r\n\r\nOK\r\n", RSP_ERROR, 1},
        {"NoCtrlZ", "\r\n^HCMGR:139,2023,05,17,08,30,00,0,1,2,0,0,0,1\r\nHi\r\n\r\nOK\r\n", RSP_ERROR, 1},
        // The header's 3 bytes are 4E 0D 0A, and no 00 1A follows them.
        {"Ucs2OddCut", "\r\n^HCMGR:139,2023,05,17,08,30,00,0,6,3,0,0,0,1\r\n\x4E\r\nOK\r\n", RSP_ERROR, 1},
        // IA5 is read as ASCII is.
        {"Ia5Encoding", "\r\n^HCMGR:139,2023,05,17,08,30,00,0,2,2,0,0,0,1\r\nHi\x1A\r\n\r\nOK\r\n", RSP_OK, 1},
        // A whole message without text is none to report.
        {"EmptyText", "\r\n^HCMGR:139,2023,05,17,08,30,00,0,1,0,0,0,0,1\r\n\x1A\r\n\r\nOK\r\n", RSP_ERROR, 0},
        // The OK before the header is a late one of an earlier command.
        {"HeaderCut", "\r\nOK\r\n^HCMGR:139,2023", RSP_MORE, 0},
    };
    for (const auto& r : rows) {
        const auto phone = Make(PHONE_TYPE_MC323_ON);
        EXPECT_EQ(phone->OnReadNextSmsCmdRsp(r.rsp), r.verdict) << r.name;
        EXPECT_EQ(phone->GetReadSms().size(), r.records) << r.name;
    }
}

}  // namespace
