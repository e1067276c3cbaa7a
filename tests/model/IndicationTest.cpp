// New-message indications in the model: the setting chosen from what a modem
// offers (answers to "AT+CNMI=?" as modems give them), the setting read back,
// the command, and the announcements found in unsolicited text.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "NewMessageIndication.h"

using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

struct OfferRow
{
    const char* fixture;  // tests/fixtures/cnmi/<name>
    bool chosen;          // a setting that announces was found
    const char* command;  // the setting's command ("" when none)
};

void PrintTo(const OfferRow& row, std::ostream* os)
{
    *os << row.fixture;
}

class IndicationOffer : public ::testing::TestWithParam<OfferRow>
{
};

// The whole answer gives the offer and the choice; every prefix before the
// final line reads on and leaves no offer behind.
TEST_P(IndicationOffer, ChoiceFromTheWholeAnswerAndEveryPrefix)
{
    const OfferRow& row = GetParam();
    const std::string answer = ReadFixture(std::string("cnmi/") + row.fixture);
    ASSERT_FALSE(answer.empty()) << row.fixture;
    CPhoneCardBase model;
    ASSERT_STREQ(VerdictName(model.OnIndicationOfferRsp(answer)), VerdictName(RSP_OK));
    IndicationSetting_t setting;
    ASSERT_EQ(ChooseIndicationSetting(model.GetIndicationOffer(), setting), row.chosen) << model.GetIndicationOffer();
    EXPECT_EQ(row.chosen ? model.GetSetIndicationCmd(setting) : std::string(), row.command);
    for (std::size_t n = 0; n < answer.size(); ++n) {
        CPhoneCardBase fresh;
        const std::string prefix = answer.substr(0, n);
        EXPECT_STREQ(VerdictName(fresh.OnIndicationOfferRsp(prefix)), VerdictName(RSP_MORE)) << Visible(prefix);
        EXPECT_EQ(fresh.GetIndicationOffer(), "") << Visible(prefix);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, IndicationOffer,
    ::testing::Values(
        // Mode 2, stored and announced, no broadcasts, reports stored and announced, buffer flushed.
        OfferRow{"ranges_all_offered.at", true, "AT+CNMI=2,1,0,2,0\r"},
        OfferRow{"lists_all_offered.at", true, "AT+CNMI=2,1,0,2,0\r"},
        // Reports only routed: never routed, left off.
        OfferRow{"ds_routed_only.at", true, "AT+CNMI=2,1,0,0,0\r"},
        // Only "forward at once" besides "buffer": still announced.
        OfferRow{"mode_3_only.at", true, "AT+CNMI=3,1,0,2,0\r"},
        OfferRow{"mode_3_no_reports.at", true, "AT+CNMI=3,1,0,0,0\r"},
        // Messages only routed to the terminal, or no message setting at all: nothing announces.
        OfferRow{"no_stored_indication.at", false, ""}, OfferRow{"mode_only.at", false, ""}),
    [](const ::testing::TestParamInfo<OfferRow>& info) {
        std::string name = info.param.fixture;
        name = name.substr(0, name.find('.'));
        for (char& c : name) {
            c = c == '_' ? 'X' : c;
        }
        return name;
    });

TEST(IndicationOffer, HandMadeOffers)
{
    struct Row
    {
        const char* offer;
        bool chosen;
        const char* command;
    };
    const Row rows[] = {
        {"(1),(1)", true, "AT+CNMI=1,1\r"},                   // two groups: two values
        {"(0-2),(1),(0)", true, "AT+CNMI=2,1,0\r"},           // no report group
        {"(0-2),(1),(0),(1)", true, "AT+CNMI=2,1,0\r"},       // reports only routed: not set
        {"(0-2),(1),(0),(0-2),(1)", true, "AT+CNMI=2,1,0,2,1\r"},  // the buffer only cleared
        {"(0-2),(1),(2),(0-2),(0)", false, ""},               // broadcasts cannot be left off
        {"(0-2),(0,2,3)", false, ""},                         // no stored indication
        {"(0-2),(1", false, ""},                              // cut short
        {"(a-b),(1)", false, ""},                             // no numbers
        {"(3-1),(1)", false, ""},                             // a range backwards
        {"(99999),(1)", false, ""},                           // more digits than any value
        {"", false, ""},
    };
    for (const Row& row : rows) {
        IndicationSetting_t setting;
        ASSERT_EQ(ChooseIndicationSetting(row.offer, setting), row.chosen) << row.offer;
        if (row.chosen) {
            EXPECT_EQ(IndicationSettingCmd(setting), row.command) << row.offer;
        }
    }
}

// The modem's own setting is read back to be put back at the end, as many
// values as it gave.
TEST(IndicationSetting, ReadBackAndPutBack)
{
    struct Row
    {
        const char* fixture;
        int verdict;
        const char* command;  // "" when nothing can be put back
    };
    const Row rows[] = {
        {"setting_five.at", RSP_OK, "AT+CNMI=2,1,0,0,0\r"},
        {"setting_four.at", RSP_OK, "AT+CNMI=0,0,0,0\r"},
        {"refused.at", RSP_ERROR, ""},
    };
    for (const Row& row : rows) {
        const std::string answer = ReadFixture(std::string("cnmi/") + row.fixture);
        ASSERT_FALSE(answer.empty()) << row.fixture;
        CPhoneCardBase model;
        ASSERT_STREQ(VerdictName(model.OnIndicationSettingRsp(answer)), VerdictName(row.verdict)) << row.fixture;
        IndicationSetting_t own;
        const bool read = ReadIndicationSetting(model.GetIndicationSetting(), own) && own.count > 0;
        EXPECT_EQ(read ? model.GetSetIndicationCmd(own) : std::string(), row.command) << row.fixture;
        for (std::size_t n = 0; n < answer.size(); ++n) {
            CPhoneCardBase fresh;
            const int verdict = fresh.OnIndicationSettingRsp(answer.substr(0, n));
            EXPECT_STREQ(VerdictName(verdict), VerdictName(RSP_MORE)) << Visible(answer.substr(0, n));
        }
    }
    IndicationSetting_t setting;
    EXPECT_FALSE(ReadIndicationSetting("1,2,3,4,5,6", setting));
    EXPECT_FALSE(ReadIndicationSetting("2,x", setting));
    EXPECT_FALSE(ReadIndicationSetting("2,,0", setting));
}

// The announcements among unsolicited text, given in every possible cut:
// each complete line is taken once, in order, and nothing of a line still
// arriving is lost.
TEST(NewMessageIndications, EveryCutOfTheText)
{
    const std::string text =
        "\r\n+CMTI: \"SM\",3\r\n"
        "RING\r\n"
        "+CDSI: \"SR\",0\r\n"
        "+CMTI: \"ME\", 12\r\n"
        "+CMTI: MT,7\r\n"
        "+CMTI: \"BM\",1\r\n"
        "+CMTI: \"SM\"\r\n"       // no index: not one
        "+CMTI: \"SM\",x\r\n"     // no number
        "+CMTI: \"S\"M\",1\r\n"   // a quote inside the name
        "+CREG: 1\r\n"
        "  +CMTI: \"SM\",4\r";
    struct Want
    {
        SmsStorage_t storage;
        const char* name;
        int index;
        bool report;
    };
    const Want wanted[] = {
        {SMS_STORAGE_SM, "SM", 3, false}, {SMS_STORAGE_SR, "SR", 0, true}, {SMS_STORAGE_ME, "ME", 12, false},
        {SMS_STORAGE_ME, "MT", 7, false}, {SMS_STORAGE_LISTED, "BM", 1, false}, {SMS_STORAGE_SM, "SM", 4, false},
    };
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::string pending = text.substr(0, cut);
        std::vector<NewMessage_t> found = TakeNewMessageIndications(pending);
        pending += text.substr(cut);
        const std::vector<NewMessage_t> rest = TakeNewMessageIndications(pending);
        found.insert(found.end(), rest.begin(), rest.end());
        ASSERT_EQ(found.size(), sizeof wanted / sizeof wanted[0]) << "cut at " << cut;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].storage, wanted[i].storage) << cut << " " << i;
            EXPECT_EQ(found[i].storageName, wanted[i].name) << cut << " " << i;
            EXPECT_EQ(found[i].index, wanted[i].index) << cut << " " << i;
            EXPECT_EQ(found[i].statusReport, wanted[i].report) << cut << " " << i;
        }
        EXPECT_EQ(pending, "");
    }
}

TEST(NewMessageIndications, AnEndlessLineIsDroppedNotKept)
{
    std::string pending(300, '0');
    EXPECT_TRUE(TakeNewMessageIndications(pending).empty());
    EXPECT_EQ(pending, "");
    pending = "+CMTI: \"SM\",";
    EXPECT_TRUE(TakeNewMessageIndications(pending).empty());
    EXPECT_EQ(pending, "+CMTI: \"SM\",");  // the rest is still to come
    pending += "5\n";
    const std::vector<NewMessage_t> found = TakeNewMessageIndications(pending);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].index, 5);
}

}  // namespace
