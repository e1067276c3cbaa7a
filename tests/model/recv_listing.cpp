// Stored-message listings ("AT+CMGL=4") and the joining of concatenated parts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "../pdu/decode_fixture_rows.h"
#include "../pdu/pdu_build.h"
#include "IncompleteSms.h"
#include "ModelTestSupport.h"
#include "PhoneCardBase.h"
#include "SmsDecode.h"

namespace {

std::string ReadFile(const std::string& relative)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::map<std::string, PduFixtureRow>& Rows()
{
    static const std::map<std::string, PduFixtureRow> rows = [] {
        std::map<std::string, PduFixtureRow> m;
        for (const PduFixtureRow& r : GammuFixtures()) {
            m[r.name] = r;
        }
        return m;
    }();
    return rows;
}

const PduFixtureRow& Row(const std::string& name)
{
    const auto it = Rows().find(name);
    EXPECT_NE(it, Rows().end()) << name;
    static const PduFixtureRow none;
    return it == Rows().end() ? none : it->second;
}

// An entry as a listing would give it: storage index, status, decoded PDU.
SmsInfo Entry(int index, const std::string& pdu, int stat = 1)
{
    SmsInfo e;
    e.mode.index = index;
    e.mode.stat = stat;
    if (stat >= 2) {
        gsmDecodeSendPdu(pdu.c_str(), &e.param);
    } else {
        gsmDecodePdu(pdu.c_str(), &e.param);
    }
    return e;
}

SmsInfo Entry(int index, const char* fixtureName)
{
    const PduFixtureRow& r = Row(fixtureName);
    return Entry(index, r.pdu, r.kind == "submit" ? 3 : 1);
}

struct Expected
{
    std::string from, time, text;
};

Expected FromRow(const std::string& name, bool whole = false)
{
    const PduFixtureRow& r = Row(name);
    std::string time;
    if (!r.scts.empty()) {
        time = CPhoneCardBase::ReceiveTimeToReadStr(r.scts.c_str());
    }
    return {r.tpa, time, whole ? r.message : r.text};
}

void ExpectRecords(const std::vector<SmsRecvStruct_t>& got, const std::vector<Expected>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].from, want[i].from) << "record " << i;
        EXPECT_EQ(got[i].time, want[i].time) << "record " << i;
        EXPECT_EQ(got[i].text, want[i].text) << "record " << i;
    }
}

// The octets of a PDU after its service-centre field, as a header announces them.
int TpduLength(const std::string& pdu)
{
    return static_cast<int>(pdu.size() / 2) - 1 - std::stoi(pdu.substr(0, 2), nullptr, 16);
}

// "+CMGL: <index>,1,,<len>" CR LF PDU CR LF for each entry, then OK.
std::string Listing(const std::vector<std::pair<int, std::string>>& pdus)
{
    std::string out = "\r\n";
    for (const auto& p : pdus) {
        out += "+CMGL: " + std::to_string(p.first) + ",1,," + std::to_string(TpduLength(p.second)) + "\r\n" +
               p.second + "\r\n";
    }
    return out + "\r\nOK\r\n";
}

// A time stamp as the decoder gives it, "YYMMDDhhmmssZZ", as a PDU carries it.
std::string SwappedStamp(const std::string& digits)
{
    std::string out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        out += digits[i + 1];
        out += digits[i];
    }
    return out;
}

// A UCS-2 DELIVER part from `sender` (11 digits), header 05 00 03 ref count
// number, stamped `stamp` (decoder form; 2023-05-17 08:30:00 UTC by default).
std::string Ucs2Part(const std::string& sender, int ref, int count, int number, const std::string& udHex,
                     const std::string& stamp = "23051708300000")
{
    char header[32];
    std::snprintf(header, sizeof header, "050003%02X%02X%02X", ref, count, number);
    std::string swapped;
    std::string digits = sender + (sender.size() % 2 ? "F" : "");
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        swapped += digits[i + 1];
        swapped += digits[i];
    }
    char head[16];
    std::snprintf(head, sizeof head, "0044%02X91", static_cast<int>(sender.size()));
    char udl[4];
    std::snprintf(udl, sizeof udl, "%02X", static_cast<int>(6 + udHex.size() / 2));
    return head + swapped + "0008" + SwappedStamp(stamp) + udl + header + udHex;
}

// ---------------------------------------------------------------------------
// Fixture listings of two models, every message checked.

TEST(SmsListing, Ec20fFixtureSinglesThenJoined)
{
    CPhoneCardBase phone;
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(ReadFile("cmgl/CPhone_EC20F.txt")), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    ExpectRecords(got, {FromRow("Gsm7Ascii"), FromRow("Ucs2Chinese"), FromRow("SubmitGsm7"),
                        FromRow("AlphanumericSender"), FromRow("Gsm7Extension"), FromRow("LongUcs2.3", true)});
    // The storage indices of each message's parts, in part order: the long
    // message's parts 1, 2, 3 are stored at 3, 1, 4.
    const std::vector<std::vector<int>> indices = {{0}, {2}, {6}, {7}, {8}, {3, 1, 4}};
    ASSERT_EQ(got.size(), indices.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].indices, indices[i]) << "record " << i;
        EXPECT_TRUE(got[i].complete) << "record " << i;
    }
}

TEST(SmsListing, Ec20fFixtureWithIncompleteMessages)
{
    CPhoneCardBase phone;
    phone.SetReportIncompleteSms(true);
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(ReadFile("cmgl/CPhone_EC20F.txt")), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    ASSERT_EQ(got.size(), 7u);
    // The part whose partner is missing comes last (the larger reference), alone.
    const Expected lone = FromRow("LongGsm7Ref16.1");
    EXPECT_EQ(got[6].from, lone.from);
    EXPECT_EQ(got[6].text, lone.text);
    EXPECT_FALSE(got[6].complete);
    EXPECT_EQ(got[6].indices, std::vector<int>{5});
    EXPECT_EQ(got[5].text, Row("LongUcs2.1").message);
}

// Two senders whose long messages share reference and part count, their parts
// interleaved, and a third message of one of them with another part count.
TEST(SmsListing, Me909FixtureKeepsSendersApart)
{
    CPhoneCardBase phone;
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(ReadFile("cmgl/CPhone_TD_ME909.txt")), RSP_OK);
    ExpectRecords(phone.GetReadSms(), {FromRow("Ucs2Emoji"), FromRow("LongGsm7.3", true),
                                       FromRow("LongUcs2.3", true), FromRow("LongGsm7Euro.2", true)});
}

// Every prefix of a listing is "not finished" until its OK line has ended.
// No prefix shows a message that the whole listing does not.
TEST(SmsListing, EveryPrefixIsMoreUntilOk)
{
    for (const char* file : {"cmgl/CPhone_EC20F.txt", "cmgl/CPhone_TD_ME909.txt"}) {
        const std::string listing = ReadFile(file);
        ASSERT_FALSE(listing.empty()) << file;
        CPhoneCardBase whole;
        ASSERT_EQ(whole.OnReadAllSmsCmdRsp(listing), RSP_OK);
        const std::vector<SmsRecvStruct_t> all = whole.GetReadSms();
        const size_t okAt = listing.rfind("OK");
        for (size_t n = 0; n <= listing.size(); ++n) {
            CPhoneCardBase phone;
            const int verdict = phone.OnReadAllSmsCmdRsp(listing.substr(0, n));
            ASSERT_EQ(verdict, n >= okAt + 4 ? RSP_OK : RSP_MORE) << file << " cut at " << n;
            for (const SmsRecvStruct_t& r : phone.GetReadSms()) {
                const bool known = std::any_of(all.begin(), all.end(), [&](const SmsRecvStruct_t& a) {
                    return a.from == r.from && a.time == r.time && a.text == r.text;
                });
                ASSERT_TRUE(known) << file << " cut at " << n << ": " << r.text;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Entries that did not come whole: never a message, never joined, never
// deletable; read again by their index they take their place.

// What one record of a listing is: a message (its text) or an unreadable entry.
struct RecordWant
{
    SmsKind_t kind;
    std::string text;               // SMS_KIND_UNREADABLE: ""
    SmsEntryState_t state;          // SMS_ENTRY_WHOLE unless unreadable
    int index;                      // unreadable: entryIndex; else the one storage index
};

struct EntryCase
{
    const char* name;
    std::string listing;
    std::vector<RecordWant> records;
};

std::ostream& operator<<(std::ostream& os, const EntryCase& c)
{
    return os << c.name;
}

std::string Header(int index, int length, int stat = 1)
{
    return "+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," + std::to_string(length) + "\r\n";
}

const std::string HI = "0004" "0B911346610089F60008" "32507180030000" "0400480069";  // 23 octets after the centre
const std::string YO = "0004" "0B913186000000F00008" "32507180030000" "040059006F";
const std::string COMPRESSED = "0004" "0B911346610089F60024" "32507180030000" "03414243";
// A junk line that names a status report, with a length to match: no junk date.
const std::string JUNK_REPORT = "0006" "2A" "0B911346610089F6" "AAAAAAAAAAAAAA" "BBBBBBBBBBBBBB" "00";

const EntryCase ENTRY_CASES[] = {
    {"Whole", "\r\n" + Header(1, 23) + HI + "\r\n\r\nOK\r\n", {{SMS_KIND_MESSAGE, "Hi", SMS_ENTRY_WHOLE, 1}}},
    {"AlphaFieldWithComma", "\r\n+CMGL: 1,1,\"Bob, Jr\",23\r\n" + HI + "\r\n\r\nOK\r\n",
     {{SMS_KIND_MESSAGE, "Hi", SMS_ENTRY_WHOLE, 1}}},
    {"PduLineLostBeforeNextHeader", "\r\n" + Header(1, 23) + Header(2, 23) + YO + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_NO_BODY, 1}, {SMS_KIND_MESSAGE, "Yo", SMS_ENTRY_WHOLE, 2}}},
    {"PduLineLostBeforeOk", "\r\n" + Header(1, 23) + "\r\nOK\r\n", {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_NO_BODY, 1}}},
    {"CutByTenOctets", "\r\n" + Header(1, 23) + HI.substr(0, HI.size() - 20) + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_LENGTH_DIFFERS, 1}}},
    {"CutByOneOctet", "\r\n" + Header(1, 23) + HI.substr(0, HI.size() - 2) + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_LENGTH_DIFFERS, 1}}},
    {"NotHex", "\r\n" + Header(1, 23) + HI.substr(0, 30) + "Z" + HI.substr(31) + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_NOT_HEX, 1}}},
    {"OddDigitCount", "\r\n" + Header(1, 23) + HI + "0\r\n\r\nOK\r\n", {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_NOT_HEX, 1}}},
    {"AnnouncedTooLong", "\r\n" + Header(1, 24) + HI + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_LENGTH_DIFFERS, 1}}},
    {"NoLengthAnnounced", "\r\n+CMGL: 1,1,,\r\n" + HI + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_LENGTH_DIFFERS, 1}}},
    {"CentreLongerThanPdu", "\r\n" + Header(1, 0) + "FF00\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_LENGTH_DIFFERS, 1}}},
    // Which of the two is stored at 1 cannot be told from the listing.
    {"IndexTwice", "\r\n" + Header(1, 23) + HI + "\r\n" + Header(2, 23) + YO + "\r\n" + Header(1, 23) + YO +
                       "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNREADABLE, "", SMS_ENTRY_INDEX_REPEATED, 1}, {SMS_KIND_UNREADABLE, "", SMS_ENTRY_INDEX_REPEATED, 1},
      {SMS_KIND_MESSAGE, "Yo", SMS_ENTRY_WHOLE, 2}}},
    {"Compressed", "\r\n" + Header(1, 22) + COMPRESSED + "\r\n\r\nOK\r\n",
     {{SMS_KIND_UNDECODABLE, "[compressed data, 3 bytes] 414243", SMS_ENTRY_WHOLE, 1}}},
    {"JunkReportHasNoDate", "\r\n" + Header(1, 25) + JUNK_REPORT + "\r\n\r\nOK\r\n",
     {{SMS_KIND_STATUS_REPORT, "Status report: delivered", SMS_ENTRY_WHOLE, 1}}},
};

class SmsListingEntries : public ::testing::TestWithParam<EntryCase>
{
};

TEST_P(SmsListingEntries, JudgedWhole)
{
    const EntryCase& c = GetParam();
    CPhoneCardBase phone;
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(c.listing), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    ASSERT_EQ(got.size(), c.records.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const RecordWant& want = c.records[i];
        EXPECT_EQ(got[i].kind, want.kind) << "record " << i;
        EXPECT_EQ(got[i].text, want.text) << "record " << i;
        EXPECT_EQ(got[i].state, want.state) << "record " << i;
        if (want.kind == SMS_KIND_UNREADABLE) {
            // Nothing unread can be deleted; where it is and what came stay known.
            EXPECT_TRUE(got[i].indices.empty()) << "record " << i;
            EXPECT_EQ(got[i].entryIndex, want.index) << "record " << i;
            EXPECT_EQ(got[i].raw.rfind("+CMGL: " + std::to_string(want.index) + ",", 0), 0u) << got[i].raw;
            EXPECT_EQ(got[i].from + got[i].time, "") << "record " << i;
        } else {
            EXPECT_EQ(got[i].indices, std::vector<int>{want.index}) << "record " << i;
            EXPECT_EQ(got[i].time.empty(), want.kind == SMS_KIND_STATUS_REPORT) << "record " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, SmsListingEntries, ::testing::ValuesIn(ENTRY_CASES),
                         [](const ::testing::TestParamInfo<EntryCase>& info) {
                             return std::string(info.param.name);
                         });

// The answers of a fixture holding several, each ending with "\r\n\r\nOK\r\n".
std::vector<std::string> Answers(const std::string& relative)
{
    const std::string all = ReadFile(relative);
    const std::string end = "\r\n\r\nOK\r\n";
    std::vector<std::string> out;
    for (std::string::size_type start = 0, at; (at = all.find(end, start)) != std::string::npos;
         start = at + end.size()) {
        out.push_back(all.substr(start, at + end.size() - start));
    }
    return out;
}

// A listing a UART has damaged: each damaged entry is unreadable until it is
// read again by its index; then the long message it held a part of is whole.
TEST(SmsListing, M26FixtureUnreadableUntilReadAgain)
{
    const std::string listing = ReadFile("cmgl/CPhone_M26.txt");
    const size_t okAt = listing.rfind("OK");
    for (size_t n = 0; n < okAt + 4; ++n) {
        CPhoneCardBase phone;
        ASSERT_EQ(phone.OnReadAllSmsCmdRsp(listing.substr(0, n)), RSP_MORE) << n;
    }
    CPhoneCardBase phone;
    phone.SetReportIncompleteSms(true);
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(listing), RSP_OK);
    std::vector<int> unreadable;
    for (const SmsRecvStruct_t& r : phone.GetReadSms()) {
        if (r.kind == SMS_KIND_UNREADABLE) {
            unreadable.push_back(r.entryIndex);
        }
    }
    EXPECT_EQ(unreadable, (std::vector<int>{2, 3, 5, 6, 6, 7}));
    // Part 2 alone, missing the parts that were damaged.
    ASSERT_EQ(phone.GetReadSms().size(), 8u);
    EXPECT_FALSE(phone.GetReadSms()[7].complete);
    EXPECT_EQ(phone.GetReadSms()[7].indices, std::vector<int>{4});

    const std::vector<std::string> answers = Answers("cmgr/CPhone_M26.txt");
    const int indices[] = {2, 3, 5, 6, 7};
    ASSERT_EQ(answers.size(), 5u);
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(phone.GetReadOneSmsCmd(indices[i]), "AT+CMGR=" + std::to_string(indices[i]) + "\r\n");
        EXPECT_EQ(phone.OnReadOneSmsCmdRsp(answers[i]), RSP_OK) << indices[i];
    }
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    ExpectRecords(got, {FromRow("Gsm7Ascii"), FromRow("AlphanumericSender"), FromRow("Ucs2Chinese"),
                        FromRow("SubmitGsm7"), FromRow("LongUcs2.1", true)});
    const std::vector<std::vector<int>> where = {{1}, {3}, {6}, {7}, {2, 4, 5}};
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].indices, where[i]) << "record " << i;
        EXPECT_TRUE(got[i].complete) << "record " << i;
    }
}

// The answer to the read again: only a whole one replaces what was listed.
struct ReadAgainCase
{
    const char* name;
    std::string answer;
    int verdict;
    const char* text;  // of the record at index 1 afterwards; "" while unreadable
};

std::ostream& operator<<(std::ostream& os, const ReadAgainCase& c)
{
    return os << c.name;
}

std::string Cmgr(const std::string& pdu, int length)
{
    return "\r\n+CMGR: 1,," + std::to_string(length) + "\r\n" + pdu + "\r\n\r\nOK\r\n";
}

const ReadAgainCase READ_AGAIN_CASES[] = {
    {"Whole", Cmgr(HI, 23), RSP_OK, "Hi"},
    {"EchoFirst", "AT+CMGR=1\r" + Cmgr(HI, 23), RSP_OK, "Hi"},
    {"CutAgain", Cmgr(HI.substr(0, 40), 23), RSP_ERROR, ""},
    {"NotHexAgain", Cmgr("00" + HI.substr(2, 20) + "??" + HI.substr(24), 23), RSP_ERROR, ""},
    {"NoPduLine", "\r\n+CMGR: 1,,23\r\n\r\nOK\r\n", RSP_ERROR, ""},
    {"NoMessage", "\r\nOK\r\n", RSP_ERROR, ""},
    {"Refused", "\r\n+CMS ERROR: 321\r\n", RSP_ERROR, ""},
    {"NotFinished", Cmgr(HI, 23).substr(0, 50), RSP_MORE, ""},
};

class SmsReadAgain : public ::testing::TestWithParam<ReadAgainCase>
{
};

TEST_P(SmsReadAgain, OnlyAWholeAnswerReplacesTheEntries)
{
    const ReadAgainCase& c = GetParam();
    CPhoneCardBase phone;
    // Index 1 cut in the listing, and listed twice.
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp("\r\n" + Header(1, 23) + HI.substr(0, 30) + "\r\n" + Header(2, 23) + YO +
                                       "\r\n" + Header(1, 23) + YO + "\r\n\r\nOK\r\n"),
              RSP_OK);
    ASSERT_EQ(phone.GetReadOneSmsCmd(1), "AT+CMGR=1\r\n");
    EXPECT_EQ(phone.OnReadOneSmsCmdRsp(c.answer), c.verdict);
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    if (c.verdict == RSP_OK) {
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].text, c.text);
        EXPECT_EQ(got[0].kind, SMS_KIND_MESSAGE);
        EXPECT_EQ(got[0].indices, std::vector<int>{1});
        EXPECT_EQ(got[1].text, "Yo");
    } else {
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].kind, SMS_KIND_UNREADABLE);
        EXPECT_EQ(got[0].state, SMS_ENTRY_LENGTH_DIFFERS);
        EXPECT_EQ(got[1].state, SMS_ENTRY_INDEX_REPEATED);
    }
    if (std::string(c.name) == "Refused") {
        EXPECT_EQ(phone.GetErrorMessage(), "+CMS ERROR: 321");
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, SmsReadAgain, ::testing::ValuesIn(READ_AGAIN_CASES),
                         [](const ::testing::TestParamInfo<ReadAgainCase>& info) {
                             return std::string(info.param.name);
                         });

// Each model names its own read for a read again.
TEST(SmsReadAgain, CommandPerModel)
{
    for (const ModelRow& m : RegisteredModels()) {
        const std::unique_ptr<CPhoneCardBase> phone = modeltest::MakeModel(m.type);
        const char* expected = m.type == PHONE_TYPE_MC323_ON ? "AT^HCMGR=12\r\n" : "AT+CMGR=12\r\n";
        EXPECT_EQ(phone->GetReadOneSmsCmd(12), expected) << m.className;
        EXPECT_EQ(phone->GetReadOneSmsCmd(-1), "") << m.className;
    }
}

struct ListingCase
{
    const char* name;
    std::string rsp;
    int verdict;
    size_t records;
};

std::ostream& operator<<(std::ostream& os, const ListingCase& c)
{
    return os << c.name;
}

class SmsListingAnswers : public ::testing::TestWithParam<ListingCase>
{
};

TEST_P(SmsListingAnswers, VerdictAndCount)
{
    const ListingCase& c = GetParam();
    CPhoneCardBase phone;
    EXPECT_EQ(phone.OnReadAllSmsCmdRsp(c.rsp), c.verdict);
    EXPECT_EQ(phone.GetReadSms().size(), c.records);
}

const std::string ASCII_PDU = "0004" "0B911346610089F60008" "32507180030000" "0400480069";

const ListingCase LISTING_CASES[] = {
    {"Empty", "\r\nOK\r\n", RSP_OK, 0},
    {"Nothing", "", RSP_MORE, 0},
    {"CutAfterHeader", "\r\n+CMGL: 1,1,,24\r\n", RSP_MORE, 0},
    {"CutInsidePdu", "\r\n+CMGL: 1,1,,23\r\n" + ASCII_PDU.substr(0, 20), RSP_MORE, 0},
    {"OneWhole", "\r\n+CMGL: 1,1,,23\r\n" + ASCII_PDU + "\r\n", RSP_MORE, 1},
    // Unsolicited lines do not end a listing.
    {"SmsDone", "\r\n+CMGL: 1,1,,23\r\n" + ASCII_PDU + "\r\nSMS DONE\r\n", RSP_MORE, 1},
    {"SmsFull", "\r\n+CMGL: 1,1,,23\r\n" + ASCII_PDU + "\r\nSMS FULL\r\n", RSP_MORE, 1},
    {"UnterminatedOk", "\r\n+CMGL: 1,1,,23\r\n" + ASCII_PDU + "\r\n\r\nOK", RSP_MORE, 1},
    {"CmsError", "\r\n+CMS ERROR: 321\r\n", RSP_ERROR, 0},
    {"HeaderWithoutComma", "\r\n+CMGL: 1\r\n+CMGL: 2,1,,23\r\n" + ASCII_PDU + "\r\nOK\r\n", RSP_OK, 1},
    {"NegativeIndex", "\r\n+CMGL: -1,1,,23\r\n" + ASCII_PDU + "\r\nOK\r\n", RSP_OK, 0},
    {"HugeIndex", "\r\n+CMGL: 99999999999999,1,,23\r\n" + ASCII_PDU + "\r\nOK\r\n", RSP_OK, 1},
    {"GarbagePdu", "\r\n+CMGL: 1,1,,24\r\nZZZZ\r\nOK\r\n", RSP_OK, 1},
};

INSTANTIATE_TEST_SUITE_P(Answers, SmsListingAnswers, ::testing::ValuesIn(LISTING_CASES),
                         [](const ::testing::TestParamInfo<ListingCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(SmsListing, ErrorKeepsThePreviousList)
{
    CPhoneCardBase phone;
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(ReadFile("cmgl/CPhone_EC20F.txt")), RSP_OK);
    const size_t before = phone.GetReadSms().size();
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp("\r\n+CMS ERROR: 500\r\n"), RSP_ERROR);
    EXPECT_EQ(phone.GetReadSms().size(), before);
    EXPECT_EQ(phone.GetErrorMessage(), "+CMS ERROR: 500");
}

TEST(SmsListing, HeaderLines)
{
    CPhoneCardBase phone;
    const struct
    {
        const char* line;
        int index, stat;
    } rows[] = {
        {"+CMGL: 3,1,,24\r", 3, 1},
        {"+CMGL:  12,0,\"\",30", 12, 0},
        {"+CMGL: 7", -1, -1},
        {"+CMGL: 7,2", 7, -1},
        {"+CMGL: -4,1,,24", -4, -1},
        {"+CMGL: x,1,,24", 0, 1},
        {"+CMGR: 3,1,,24", -1, -1},
    };
    for (const auto& r : rows) {
        const SmsMode m = phone.StrToSmsMode(r.line);
        EXPECT_EQ(m.index, r.index) << r.line;
        EXPECT_EQ(m.stat, r.stat) << r.line;
    }
}

TEST(SmsListing, TimeStampText)
{
    EXPECT_EQ(CPhoneCardBase::ReceiveTimeToReadStr("23051708300032"), "23-05-17 08:30:00");
    EXPECT_EQ(CPhoneCardBase::ReceiveTimeToReadStr("2305170830003"), "23-05-17 08:30:00");
    EXPECT_EQ(CPhoneCardBase::ReceiveTimeToReadStr("230517083000"), "");
    EXPECT_EQ(CPhoneCardBase::ReceiveTimeToReadStr(""), "");
    EXPECT_EQ(CPhoneCardBase::ReceiveTimeToReadStr(nullptr), "");
}

// ---------------------------------------------------------------------------
// Joining parts, from entries.

std::vector<SmsRecvStruct_t> Join(const std::vector<SmsInfo>& entries, bool incomplete = false)
{
    return CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(entries, incomplete);
}

TEST(SmsReassembly, SinglesInStorageOrder)
{
    ExpectRecords(Join({Entry(2, "Ucs2Chinese"), Entry(1, "Gsm7Ascii")}),
                  {FromRow("Gsm7Ascii"), FromRow("Ucs2Chinese")});
}

TEST(SmsReassembly, OutOfOrderPartsInEveryOrder)
{
    for (const char* msg : {"LongUcs2", "LongGsm7", "LongUcs2Ref16"}) {
        std::vector<std::string> names;
        for (int i = 1; i <= Row(std::string(msg) + ".1").count; ++i) {
            names.push_back(std::string(msg) + "." + std::to_string(i));
        }
        std::sort(names.begin(), names.end());
        do {
            std::vector<SmsInfo> entries;
            for (size_t i = 0; i < names.size(); ++i) {
                entries.push_back(Entry(static_cast<int>(i), names[i].c_str()));
            }
            const std::vector<SmsRecvStruct_t> got = Join(entries);
            ASSERT_EQ(got.size(), 1u) << msg;
            EXPECT_EQ(got[0].text, Row(names[0]).message) << msg;
            EXPECT_EQ(got[0].from, Row(names[0]).tpa);
        } while (std::next_permutation(names.begin(), names.end()));
    }
}

// Parts in both storages of a modem, each with its own index there: one
// message, reported from its first part's storage, every part's storage kept
// beside its index so each is deleted where it lies.
TEST(SmsReassembly, PartsInBothStoragesCarryTheirOwnStorage)
{
    struct Row_t
    {
        std::vector<SmsStorage_t> where;  // of parts 1, 2, 3
        SmsStorage_t reportedFrom;
    };
    const SmsStorage_t ME = SMS_STORAGE_ME;
    const SmsStorage_t SM = SMS_STORAGE_SM;
    const std::vector<Row_t> rows = {{{SM, ME, SM}, SM}, {{ME, SM, SM}, ME}, {{ME, ME, SM}, ME}};
    for (const Row_t& row : rows) {
        std::vector<SmsInfo> entries;
        for (int part = 3; part >= 1; --part) {  // stored last part first, index 1 in each storage
            SmsInfo e = Entry(1, ("LongGsm7." + std::to_string(part)).c_str());
            e.storage = row.where[part - 1];
            entries.push_back(e);
        }
        const std::vector<SmsRecvStruct_t> got = Join(entries);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got[0].complete);
        EXPECT_EQ(got[0].text, Row("LongGsm7.1").message);
        EXPECT_EQ(got[0].indices, (std::vector<int>{1, 1, 1}));
        EXPECT_EQ(got[0].storages, row.where);
        EXPECT_EQ(got[0].storage, row.reportedFrom);
    }
}

// Waiting for a missing part, unless asked for what is there.
TEST(SmsReassembly, MissingPart)
{
    const std::vector<SmsInfo> entries = {Entry(0, "LongGsm7.3"), Entry(1, "LongGsm7.1"),
                                          Entry(2, "Gsm7Ascii")};
    ExpectRecords(Join(entries), {FromRow("Gsm7Ascii")});
    const std::vector<SmsRecvStruct_t> got = Join(entries, true);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].text, Row("LongGsm7.1").text + Row("LongGsm7.3").text);
    EXPECT_EQ(got[1].from, "31641600986");
}

// The same sender sending two long messages with the same reference, stored
// one after the other: two messages, whatever order each one's parts are in.
TEST(SmsReassembly, SameSenderSameReferenceTwice)
{
    const std::string a1 = Ucs2Part("13912345678", 7, 2, 1, "00410042");
    const std::string a2 = Ucs2Part("13912345678", 7, 2, 2, "0043");
    const std::string b1 = Ucs2Part("13912345678", 7, 2, 1, "00780079");
    const std::string b2 = Ucs2Part("13912345678", 7, 2, 2, "007A");
    for (const auto& order : {std::vector<std::string>{a1, a2, b1, b2}, std::vector<std::string>{a2, a1, b2, b1}}) {
        std::vector<SmsInfo> entries;
        for (size_t i = 0; i < order.size(); ++i) {
            entries.push_back(Entry(static_cast<int>(i), order[i]));
        }
        const std::vector<SmsRecvStruct_t> got = Join(entries);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].text, "ABC");
        EXPECT_EQ(got[1].text, "xyz");
    }
}

// ---------------------------------------------------------------------------
// Parts sharing sender, reference and count that belong to more than one
// message: each goes to its own message or, where that cannot be told, comes
// out alone; a part is never joined to another message's part.

struct StoredPart
{
    int index;
    int number;        // of 2 parts, reference 7, sender 13912345678
    const char* text;  // ASCII, sent as UCS-2
    const char* stamp;
};

struct Outcome
{
    std::string text;
    std::vector<int> indices;
    bool complete;
    bool alone;  // reported even when incomplete messages are not asked for
};

struct SplitCase
{
    const char* name;
    std::vector<StoredPart> parts;
    std::vector<Outcome> messages;  // all of them, incomplete ones included
};

std::ostream& operator<<(std::ostream& os, const SplitCase& c)
{
    return os << c.name;
}

const char T0[] = "23051708300000";      // 08:30:00
const char T0_1[] = "23051708300100";    // one second later
const char T0_20[] = "23051708302000";   // 20 s later
const char T0_30[] = "23051708303000";   // 30 s later
const char T0_31[] = "23051708303100";   // 31 s later
const char T0_60[] = "23051708310000";   // a minute later
const char DAY_BEFORE[] = "23051608300000";

const SplitCase SPLIT_CASES[] = {
    {"OrphanPartOneThenWholeMessage",
     {{1, 1, "X", T0}, {5, 1, "A", T0}, {6, 2, "B", T0}},
     {{"X", {1}, false, false}, {"AB", {5, 6}, true, false}}},
    {"OrphanFromTheDayBeforeStoredLast",
     {{2, 1, "A", T0}, {3, 2, "B", T0}, {7, 1, "X", DAY_BEFORE}},
     {{"AB", {2, 3}, true, false}, {"X", {7}, false, false}}},
    // No number repeats, but a day lies between the two parts.
    {"OldOrphanAndNewPartTwo",
     {{4, 1, "X", DAY_BEFORE}, {6, 2, "B", T0}},
     {{"X", {4}, false, false}, {"B", {6}, false, false}}},
    {"TwoWholeMessages",
     {{1, 1, "A", T0}, {2, 2, "B", T0}, {3, 1, "x", T0}, {4, 2, "y", T0}},
     {{"AB", {1, 2}, true, false}, {"xy", {3, 4}, true, false}}},
    {"DuplicatePart",
     {{1, 1, "A", T0}, {2, 2, "B", T0}, {3, 2, "B", T0}},
     {{"AB", {1, 2}, true, false}, {"B", {3}, false, false}}},
    // Same second, interleaved in storage: A+B and x+y, or A+y and x+B?
    {"InterleavedSameSecond",
     {{1, 1, "A", T0}, {2, 1, "x", T0}, {3, 2, "B", T0}, {4, 2, "y", T0}},
     {{"A", {1}, false, true}, {"x", {2}, false, true}, {"B", {3}, false, true}, {"y", {4}, false, true}}},
    {"InterleavedStampsTellApart",
     {{1, 1, "A", T0}, {2, 1, "x", T0_30}, {3, 2, "B", T0_1}, {4, 2, "y", T0_31}},
     {{"AB", {1, 3}, true, false}, {"xy", {2, 4}, true, false}}},
    // A stray copy of a part 2 stamped with the first message; the next
    // message a minute later must not take it for its own.
    {"StrayCopyBetweenTwoMessages",
     {{1, 1, "A", T0}, {2, 2, "B", T0}, {3, 2, "Z", T0}, {4, 1, "x", T0_60}, {5, 2, "y", T0_60}},
     {{"AB", {1, 2}, true, false}, {"Z", {3}, false, false}, {"xy", {4, 5}, true, false}}},
    {"NextMessageStillArriving",
     {{1, 1, "A", T0}, {2, 2, "B", T0}, {3, 1, "x", T0_20}},
     {{"AB", {1, 2}, true, false}, {"x", {3}, false, false}}},
};

class SmsReassemblySplit : public ::testing::TestWithParam<SplitCase>
{
};

void ExpectOutcomes(const std::vector<SmsRecvStruct_t>& got, const std::vector<Outcome>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].text, want[i].text) << "record " << i;
        EXPECT_EQ(got[i].indices, want[i].indices) << "record " << i;
        EXPECT_EQ(got[i].complete, want[i].complete) << "record " << i;
    }
}

TEST_P(SmsReassemblySplit, EachPartInItsOwnMessage)
{
    const SplitCase& c = GetParam();
    std::vector<SmsInfo> entries;
    for (const StoredPart& p : c.parts) {
        std::string ucs2;
        for (const char* t = p.text; *t != '\0'; ++t) {
            ucs2 += pdu_build::Hex({0, static_cast<unsigned char>(*t)});
        }
        entries.push_back(Entry(p.index, Ucs2Part("13912345678", 7, 2, p.number, ucs2, p.stamp)));
    }
    ExpectOutcomes(Join(entries, true), c.messages);
    std::vector<Outcome> reported;
    for (const Outcome& o : c.messages) {
        if (o.complete || o.alone) {
            reported.push_back(o);
        }
    }
    ExpectOutcomes(Join(entries, false), reported);
}

INSTANTIATE_TEST_SUITE_P(Cases, SmsReassemblySplit, ::testing::ValuesIn(SPLIT_CASES),
                         [](const ::testing::TestParamInfo<SplitCase>& info) {
                             return std::string(info.param.name);
                         });

// A part that was not read whole joins nothing, whatever its octets say:
// the message it may belong to stays incomplete, and it is unreadable.
TEST(SmsReassembly, PartNotWholeJoinsNothing)
{
    std::vector<SmsInfo> entries = {Entry(1, Ucs2Part("13912345678", 7, 2, 1, "0041")),
                                    Entry(2, Ucs2Part("13912345678", 7, 2, 2, "0042"))};
    entries[1].state = SMS_ENTRY_LENGTH_DIFFERS;
    entries[1].raw = "+CMGL: 2,1,,30\r\n0044";
    const std::vector<SmsRecvStruct_t> got = Join(entries, true);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, SMS_KIND_UNREADABLE);
    EXPECT_EQ(got[0].entryIndex, 2);
    EXPECT_EQ(got[0].raw, entries[1].raw);
    EXPECT_EQ(got[1].text, "A");
    EXPECT_FALSE(got[1].complete);
    EXPECT_EQ(got[1].indices, std::vector<int>{1});
    // Without incomplete messages, only the unreadable entry is reported.
    ASSERT_EQ(Join(entries, false).size(), 1u);
}

// Compressed data, alone or in parts, is carried as data and said to be so.
TEST(SmsReassembly, CompressedIsUndecodable)
{
    using pdu_build::Deliver;
    const std::vector<SmsInfo> entries = {Entry(1, Deliver("04", "24", "03414243")),
                                          Entry(2, Deliver("44", "26", "09050003070202FF0102")),
                                          Entry(3, Deliver("44", "08", "080500030702010041"))};
    const std::vector<SmsRecvStruct_t> got = Join(entries);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, SMS_KIND_UNDECODABLE);
    EXPECT_EQ(got[0].text, "[compressed data, 3 bytes] 414243");
    EXPECT_EQ(got[1].kind, SMS_KIND_UNDECODABLE);
    EXPECT_EQ(got[1].text, "A[compressed data, 3 bytes] FF0102");
    EXPECT_EQ(got[1].indices, (std::vector<int>{3, 2}));
}

TEST(SmsReassembly, DifferentSendersSameReference)
{
    const std::vector<SmsInfo> entries = {
        Entry(0, Ucs2Part("13912345678", 9, 2, 1, "0041")), Entry(1, Ucs2Part("13800138000", 9, 2, 2, "0079")),
        Entry(2, Ucs2Part("13800138000", 9, 2, 1, "0078")), Entry(3, Ucs2Part("13912345678", 9, 2, 2, "0042"))};
    const std::vector<SmsRecvStruct_t> got = Join(entries);
    ASSERT_EQ(got.size(), 2u);
    std::map<std::string, std::string> bySender;
    for (const SmsRecvStruct_t& r : got) {
        bySender[r.from] = r.text;
    }
    EXPECT_EQ(bySender["13912345678"], "AB");
    EXPECT_EQ(bySender["13800138000"], "xy");
}

// Parts with impossible numbering are shown on their own; nothing is lost.
TEST(SmsReassembly, ImpossibleNumberingShownAlone)
{
    const std::vector<SmsInfo> entries = {Entry(0, Ucs2Part("13912345678", 5, 0, 1, "0041")),
                                          Entry(1, Ucs2Part("13912345678", 5, 2, 0, "0042")),
                                          Entry(2, Ucs2Part("13912345678", 5, 2, 3, "0043"))};
    const std::vector<SmsRecvStruct_t> got = Join(entries);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].text, "A");
    EXPECT_EQ(got[1].text, "B");
    EXPECT_EQ(got[2].text, "C");
    EXPECT_EQ(got[0].from, "13912345678");
    EXPECT_EQ(got[0].time, "23-05-17 08:30:00");
}

TEST(SmsReassembly, SurrogatePairAcrossParts)
{
    const std::vector<SmsInfo> entries = {Entry(0, Ucs2Part("13912345678", 3, 2, 2, "DE000042")),
                                          Entry(1, Ucs2Part("13912345678", 3, 2, 1, "0041D83D"))};
    const std::vector<SmsRecvStruct_t> got = Join(entries);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "A\xF0\x9F\x98\x80" "B");
}

// Received and stored-sent parts with the same party are different messages.
TEST(SmsReassembly, SentAndReceivedKeptApart)
{
    const std::vector<SmsInfo> entries = {Entry(0, "SubmitLongUcs2.1"), Entry(1, "SubmitLongUcs2.2"),
                                          Entry(2, Ucs2Part("8613912345678", 0xB5, 2, 1, "0041"))};
    const std::vector<SmsRecvStruct_t> got = Join(entries);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, Row("SubmitLongUcs2.1").message);
    EXPECT_EQ(got[0].time, "");
}

TEST(SmsReassembly, ListingOfTheSameShape)
{
    CPhoneCardBase phone;
    const std::string listing =
        Listing({{4, Ucs2Part("13912345678", 200, 2, 2, "00210021")}, {2, ASCII_PDU},
                 {3, Ucs2Part("13912345678", 200, 2, 1, "4F60597D")}});
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(listing), RSP_OK);
    ExpectRecords(phone.GetReadSms(), {{"31641600986", "23-05-17 08:30:00", "Hi"},
                                       {"13912345678", "23-05-17 08:30:00", "\xE4\xBD\xA0\xE5\xA5\xBD!!"}});
}

// An incomplete message's age counts from its newest part's time stamp with
// the zone applied: 08:30:00 at UTC+8 is 00:30 UTC, at UTC-5 13:30 UTC.
TEST(SmsListing, IncompleteMessageAgeAcrossZones)
{
    const struct
    {
        const char* zone;
        int64_t newestUtc;
    } rows[] = {{"32", 1684283400}, {"A0", 1684330200}};
    for (const auto& r : rows) {
        const std::string earlier = std::string("230517082930") + r.zone;
        const std::string newest = std::string("230517083000") + r.zone;
        CPhoneCardBase phone;
        phone.SetReportIncompleteSms(true);
        ASSERT_EQ(phone.OnReadAllSmsCmdRsp(Listing({{4, Ucs2Part("13912345678", 9, 3, 2, "0042", newest)},
                                                    {3, Ucs2Part("13912345678", 9, 3, 1, "0041", earlier)}})),
                  RSP_OK);
        const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
        ASSERT_EQ(got.size(), 1u) << r.zone;
        EXPECT_FALSE(got[0].complete);
        EXPECT_EQ(got[0].indices, (std::vector<int>{3, 4}));
        ASSERT_TRUE(got[0].hasStamp);
        EXPECT_EQ(got[0].stampUtc, r.newestUtc) << r.zone;
        SmsClocks_t clocks;
        clocks.hasBoard = true;
        clocks.AddStamps(got);
        clocks.boardUtc = r.newestUtc + 300;
        EXPECT_EQ(JudgeSmsReadiness(got[0], clocks, 600), SMS_STILL_ARRIVING) << r.zone;
        clocks.boardUtc = r.newestUtc + 660;
        EXPECT_EQ(JudgeSmsReadiness(got[0], clocks, 600), SMS_READY) << r.zone;
    }
}

// A listing of other kinds of stored message: status reports (stored as
// received and, by some modems, as sent messages), a Turkish text and 8-bit
// data, two parts of it stored in reverse order.
TEST(SmsListing, StatusReportsTurkishTextAndData)
{
    using pdu_build::Deliver;
    const std::string delivered =
        "0891683108100005F0" "06" "2A" "0B911346610089F6" "32507180030000" "32507180439500" "00";
    const std::string failed = "00" "02" "07" "0B913316325476F8" "32507180030000" "32507190000000" "41";
    const std::string turkish = Deliver("44", "00", pdu_build::Pack7({0x06, 0x25, 0x01, 0x01, 0x24, 0x01, 0x01},
                                                                    {0x07, 0x1C, 0x1B, 0x47, 0x41}));
    const std::string push = Deliver("44", "F5", "0A0605040B84C002" "010203");
    const std::string data1 = Deliver("44", "F5", "0E0B05040B84C00200033C0201" "0102");
    const std::string data2 = Deliver("44", "F5", "0F0B05040B84C00200033C0202" "030405");
    auto entry = [](int index, int stat, const std::string& pdu) {
        return "\r\n+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," +
               std::to_string(TpduLength(pdu)) + "\r\n" + pdu;
    };
    const std::string listing = entry(1, 1, delivered) + entry(2, 1, turkish) + entry(3, 1, push) +
                                entry(4, 3, failed) + entry(5, 1, data2) + entry(6, 1, data1) + "\r\n\r\nOK\r\n";
    CPhoneCardBase phone;
    ASSERT_EQ(phone.OnReadAllSmsCmdRsp(listing), RSP_OK);
    const std::vector<SmsRecvStruct_t> got = phone.GetReadSms();
    ExpectRecords(got, {{"31641600986", "23-05-17 08:34:59", "Status report: delivered"},
                        {"31641600986", "23-05-17 08:30:00", "\xC4\xB1\xC5\x9E\xC4\x9E" "A"},
                        {"31641600986", "23-05-17 08:30:00", "[binary data, 3 bytes, port 2948] 010203"},
                        {"33612345678", "23-05-17 09:00:00", "Status report: delivery failed"},
                        {"31641600986", "23-05-17 08:30:00", "[binary data, 5 bytes, port 2948] 0102030405"}});
    ASSERT_EQ(got.size(), 5u);
    const int kinds[] = {SMS_KIND_STATUS_REPORT, SMS_KIND_MESSAGE, SMS_KIND_MESSAGE, SMS_KIND_STATUS_REPORT,
                         SMS_KIND_MESSAGE};
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, kinds[i]) << "record " << i;
    }
    EXPECT_EQ(got[0].status, 0x00);
    EXPECT_EQ(got[0].reference, 0x2A);
    EXPECT_EQ(got[3].status, 0x41);
    EXPECT_EQ(got[3].reference, 0x07);
}

}  // namespace
