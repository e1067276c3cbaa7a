// Every command text of every model, byte for byte: the base set, and for
// each model exactly the texts that differ from it.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ModelTestSupport.h"

using modeltest::MakeModel;
using modeltest::Visible;

namespace {

using Texts = std::map<std::string, std::string>;

std::string Join(const std::vector<std::string>& commands)
{
    std::string joined;
    for (const std::string& command : commands) {
        joined += "[" + command + "]";
    }
    return joined;
}

// What a fresh object says for each builder.
Texts CommandsOf(CPhoneCardBase& model)
{
    return {
        {"GetATCmd", model.GetATCmd()},
        {"GetAtiCmd", model.GetAtiCmd()},
        {"GetCCIDCmd", model.GetCCIDCmd()},
        {"GetCallCmd", model.GetCallCmd("10086")},
        {"GetHungUpCmd", model.GetHungUpCmd()},
        {"SetSmsModeTextCmd", model.SetSmsModeTextCmd()},
        {"SetSmsPDUModeCmd", model.SetSmsPDUModeCmd()},
        {"GetSendSMS_PhoneCmd", model.GetSendSMS_PhoneCmd("13912345678")},
        {"GetReceiveSmsCmd", model.GetReceiveSmsCmd()},
        {"GetSetReceiveSmsStoreCmd", model.GetSetReceiveSmsStoreCmd()},
        {"GetQueryReceiveSmsStoreCmd", model.GetQueryReceiveSmsStoreCmd()},
        {"GetIMSI_Cmd", model.GetIMSI_Cmd()},
        {"GetIMEI_Cmd", model.GetIMEI_Cmd()},
        {"GetSignalStrengthCmd", model.GetSignalStrengthCmd()},
        {"GetQuerySmsCenterCmd", model.GetQuerySmsCenterCmd()},
        {"GetDelAllSmsCmd", model.GetDelAllSmsCmd()},
        {"GetRecvSmsCompatibleModeCmd", model.GetRecvSmsCompatibleModeCmd()},
        {"GetReadAllSmsCmd", model.GetReadAllSmsCmd()},
        {"GetReadSmsOnMeCmd", model.GetReadSmsOnMeCmd()},
        {"GetReadSmsOnSmCmd", model.GetReadSmsOnSmCmd()},
        {"GetInitAtCmd", Join(model.GetInitAtCmd())},
        {"NotFinished", model.NotFinished() ? "true" : "false"},
        {"HasME", model.HasME() ? "true" : "false"},
    };
}

const Texts kBase = {
    {"GetATCmd", "AT\r\n"},
    {"GetAtiCmd", "ATI\r\n"},
    {"GetCCIDCmd", "ATI+CCID\r"},
    {"GetCallCmd", "ATD10086;\r"},
    {"GetHungUpCmd", "ATH\r"},
    {"SetSmsModeTextCmd", "at+cmgf=1\r"},
    {"SetSmsPDUModeCmd", "at+cmgf=0\r"},
    {"GetSendSMS_PhoneCmd", "at+cmgs=\"13912345678\"\r"},
    {"GetReceiveSmsCmd", "at+cmgr=1\r"},
    {"GetSetReceiveSmsStoreCmd", "at+cpms=\"SM\"\r"},
    {"GetQueryReceiveSmsStoreCmd", "at + cpms?\r"},
    {"GetIMSI_Cmd", "AT+CCID\r"},
    {"GetIMEI_Cmd", "AT+CGSN\r"},
    {"GetSignalStrengthCmd", "at+csq\r"},
    {"GetQuerySmsCenterCmd", "AT+CSCA?\r"},
    {"GetDelAllSmsCmd", "AT+CMGD=0,4\r"},
    {"GetRecvSmsCompatibleModeCmd", "AT\r"},
    {"GetReadAllSmsCmd", "AT+CMGL=4\r\n"},
    {"GetReadSmsOnMeCmd", "AT+CPMS=\"ME\"\r\n"},
    {"GetReadSmsOnSmCmd", "AT+CPMS=\"SM\"\r\n"},
    {"GetInitAtCmd", "[AT+CMEE=1\r][AT+CPMS=\"SM\"\r][ATE0\r]"},
    {"NotFinished", "false"},
    {"HasME", "false"},
};

const std::string kCurcInit = "[AT+CMEE=1\r][AT+CPMS=\"SM\"\r][ATE0\r][AT^CURC=0\r\n]";
const std::string kTdInit = kCurcInit +
                            "[AT+CLIP=1\r\n][AT+CSMS=1\r\n][AT+CNMI=1,1,0,1,0\r\n][AT+CREG=0\r\n]"
                            "[AT+CPMS=\"SM\",\"SM\",\"SM\"\r\n]";

const Texts kCrLfDial = {{"GetCallCmd", "ATD10086;\r\n"}, {"GetHungUpCmd", "at+chup;\r\n"}};

Texts With(Texts texts, const Texts& more)
{
    for (const auto& entry : more) {
        texts[entry.first] = entry.second;
    }
    return texts;
}

struct DiffRow
{
    PHONE_TYPE_t type;
    Texts differences;
};

const Texts kReadOneAtATime = {{"GetReadAllSmsCmd", "AT+CMGD=?\r\n"}};

const DiffRow kDiffs[] = {
    {PHONE_TYPE_KG70_FT_ON, {}},
    {PHONE_TYPE_M26, {}},
    {PHONE_TYPE_EC20F, {}},
    {PHONE_TYPE_K2210_NC5, With(With(kCrLfDial, kReadOneAtATime), {{"GetRecvSmsCompatibleModeCmd", "AT+ATVER=1\r"}})},
    {PHONE_TYPE_K2210_ME, With(kCrLfDial, {{"GetIMSI_Cmd", "AT^ICCID?\r\n"}, {"GetInitAtCmd", kCurcInit}})},
    {PHONE_TYPE_MG301_ON, {}},
    {PHONE_TYPE_K1100B_FT_ON, {}},
    {PHONE_TYPE_MC323_ON,
     {{"GetCallCmd", "AT+CDV10086\r\n"},
      {"GetHungUpCmd", "AT+CHV\r\n"},
      {"SetSmsPDUModeCmd", "AT^HSMSSS=0,0,6,0\r\n"},
      {"GetSendSMS_PhoneCmd", "AT^HCMGS=\"13912345678\"\r\n"},
      {"GetReceiveSmsCmd", "at^hcmgr=1\r\n"},
      {"GetIMSI_Cmd", "AT+CCID\r\n"},
      {"GetIMEI_Cmd", "AT+CGSN\r\n"},
      {"GetQuerySmsCenterCmd", "AT\r"},
      {"GetReadAllSmsCmd", "AT^HCMGL=4\r\n"},
      {"GetInitAtCmd", "[AT+CMEE=1\r][AT+CPMS=\"SM\"\r][ATE0\r][AT^RSSIREP=0\r\n]"}}},
    {PHONE_TYPE_MH5000, With(kCrLfDial, {{"GetIMSI_Cmd", "AT^ICCID?\r\n"}, {"GetInitAtCmd", kCurcInit}})},
    {PHONE_TYPE_K2210_RC3, With(kCrLfDial, kReadOneAtATime)},
    {PHONE_TYPE_K2210_RV3, With(kCrLfDial, kReadOneAtATime)},
    {PHONE_TYPE_MEIGDEV, With(kCrLfDial, kReadOneAtATime)},
    {PHONE_TYPE_TD_ME909, With(kCrLfDial, {{"GetIMSI_Cmd", "AT^ICCID?\r\n"}, {"GetInitAtCmd", kTdInit}})},
    {PHONE_TYPE_TD_ME901, {{"GetInitAtCmd", kTdInit}}},
    {PHONE_TYPE_TD_MH5000, With(kCrLfDial, {{"GetIMSI_Cmd", "AT^ICCID?\r\n"}, {"GetInitAtCmd", kTdInit}})},
    {PHONE_TYPE_INCORPORATED_A7600C1_SE, kReadOneAtATime},
};

TEST(CommandText, BaseClass)
{
    CPhoneCardBase model;
    const Texts actual = CommandsOf(model);
    for (const auto& entry : kBase) {
        EXPECT_EQ(Visible(actual.at(entry.first)), Visible(entry.second)) << entry.first;
    }
    EXPECT_EQ(model.GetReadNextSmsCmd(), "AT\r\n");
}

TEST(CommandText, EachModelDiffersOnlyWhereItMust)
{
    // A registered model without its row here has its texts checked nowhere.
    std::set<PHONE_TYPE_t> described;
    for (const DiffRow& row : kDiffs) {
        EXPECT_TRUE(described.insert(row.type).second) << row.type;
    }
    for (const ModelRow& registered : RegisteredModels()) {
        EXPECT_EQ(described.count(registered.type), 1u) << registered.className;
    }
    EXPECT_EQ(described.size(), RegisteredModels().size());

    for (const DiffRow& row : kDiffs) {
        auto model = MakeModel(row.type);
        ASSERT_NE(model, nullptr) << row.type;
        const Texts expected = With(kBase, row.differences);
        const Texts actual = CommandsOf(*model);
        for (const auto& entry : expected) {
            EXPECT_EQ(Visible(actual.at(entry.first)), Visible(entry.second))
                << PhoneTypeToString(row.type) << " (" << row.type << ") " << entry.first;
        }
    }
}

// The text-mode message carries the model's display name.
TEST(CommandText, TextModeMessageNamesTheModel)
{
    EXPECT_EQ(CPhoneCardBase().GetSendSMS_ContextCmd("hello"), "hello TYPE_UNKNOWN\r\x1A");
    EXPECT_EQ(MakeModel(PHONE_TYPE_EC20F)->GetSendSMS_ContextCmd("hello"), "hello EC20F\r\x1A");
    EXPECT_EQ(MakeModel(PHONE_TYPE_KG70_FT_ON)->GetSendSMS_ContextCmd(""), " KG70-FT-ON\r\x1A");
    EXPECT_EQ(MakeModel(PHONE_TYPE_MH5000)->GetSendSMS_ContextCmd("x"), "x TYPE_UNKNOWN\r\x1A");
}

// Dialling, hanging up and the text-mode steps are never driven by the
// program; the models that override them take any answer as done.
TEST(CommandText, AnyAnswerCompletesTheOverriddenBooleanSteps)
{
    const PHONE_TYPE_t anyAnswer[] = {PHONE_TYPE_K2210_ME, PHONE_TYPE_MH5000,  PHONE_TYPE_TD_ME909,
                                      PHONE_TYPE_TD_MH5000, PHONE_TYPE_K2210_NC5, PHONE_TYPE_K2210_RC3,
                                      PHONE_TYPE_K2210_RV3, PHONE_TYPE_MEIGDEV, PHONE_TYPE_MC323_ON};
    for (const PHONE_TYPE_t type : anyAnswer) {
        auto model = MakeModel(type);
        EXPECT_TRUE(model->OnCallCmdRsp("\r\nNO CARRIER\r\n")) << type;
        EXPECT_TRUE(model->OnHungUpCmdRsp("\r\nERROR\r\n")) << type;
        EXPECT_FALSE(model->OnCallCmdRsp("")) << type;
        EXPECT_FALSE(model->OnHungUpCmdRsp("")) << type;
    }
    auto cdma = MakeModel(PHONE_TYPE_MC323_ON);
    EXPECT_TRUE(cdma->OnSendSMS_PhoneCmd("\r\n> "));
    EXPECT_FALSE(cdma->OnSendSMS_PhoneCmd(""));
    EXPECT_TRUE(cdma->OnReceiveSmsCmdRsp("\r\nERROR\r\n"));
    EXPECT_FALSE(cdma->OnReceiveSmsCmdRsp(""));

    // The others judge like OnOkErrorRsp.
    for (const PHONE_TYPE_t type : {PHONE_TYPE_BASE, PHONE_TYPE_EC20F, PHONE_TYPE_TD_ME901}) {
        auto model = MakeModel(type);
        EXPECT_FALSE(model->OnCallCmdRsp("\r\nNO CARRIER\r\n")) << type;
        EXPECT_TRUE(model->OnCallCmdRsp("\r\nOK\r\n")) << type;
        EXPECT_FALSE(model->OnHungUpCmdRsp("\r\nERROR\r\n")) << type;
    }
}

// The base class has nothing pending; its "AT" is judged like any other.
TEST(CommandText, NextReadOfTheBaseWaitsForItsFinalLine)
{
    CPhoneCardBase model;
    EXPECT_EQ(model.OnReadNextSmsCmdRsp("\r\nOK\r\n"), RSP_OK);
    EXPECT_EQ(model.OnReadNextSmsCmdRsp("\r\nERROR\r\n"), RSP_ERROR);
    EXPECT_EQ(model.OnReadNextSmsCmdRsp("\r\n"), RSP_MORE);
    EXPECT_EQ(model.OnReadNextSmsCmdRsp(""), RSP_MORE);
}

}  // namespace
