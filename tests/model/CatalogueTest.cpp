// The models: the registration table, numbers and names, construction by
// number, the model lists, and recognition of ATI answers in the fixed orders.
// The sixteen models of today are written out here on purpose, apart from the
// table, so that a change to the table that moves one of them fails; a model
// added to the table passes unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <typeindex>
#include <typeinfo>

#include "CPhone_EC20F.h"
#include "CPhone_INCORPORATED_A7600C1_SE.h"
#include "CPhone_K1100_FT_ON.h"
#include "CPhone_K2210_ME.h"
#include "CPhone_K2210_NC5.h"
#include "CPhone_K2210_RC3.h"
#include "CPhone_K2210_RV3.h"
#include "CPhone_KG70_FT_ON.h"
#include "CPhone_M26.h"
#include "CPhone_MC323_ON.h"
#include "CPhone_MG301_ON_KW40010.h"
#include "CPhone_MH5000.h"
#include "CPhone_MeigDev.h"
#include "CPhone_TD_ME901.h"
#include "CPhone_TD_ME909.h"
#include "CPhone_TD_MH5000.h"
#include "ModelTestSupport.h"

using modeltest::FixturePath;
using modeltest::ReadFixture;
using modeltest::VerdictName;
using modeltest::Visible;

namespace {

// The first number after the last registered model: no model has it.
int FirstUnregisteredNumber()
{
    return RegisteredModels().back().type + 1;
}

// ---- the registration table

// A class copied from another model and left with that model's number, or a
// name written apart from the table, shows here.
TEST(ModelTable, EachRowMakesAnObjectOfItsOwnNumber)
{
    for (const ModelRow& row : RegisteredModels()) {
        SCOPED_TRACE(row.className);
        const std::unique_ptr<CPhoneCardBase> model(GetPhoneByType(row.type));
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->GetPhoneType(), row.type);
        EXPECT_EQ(PhoneTypeToString(row.type), row.name);
    }
}

// Fixtures are named after the model classes: a class with its fixtures but
// without a row, or a row without its sample answer, shows here.
TEST(ModelTable, FixturesNameExactlyTheRegisteredClasses)
{
    std::set<std::string> registered;
    for (const ModelRow& row : RegisteredModels()) {
        registered.insert(row.className);
    }
    std::set<std::string> withSample;
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("ati"))) {
        withSample.insert(entry.path().stem().string());
    }
    EXPECT_EQ(withSample, registered);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FixturePath(""))) {
        if (entry.is_regular_file() && entry.path().extension() == ".txt") {
            EXPECT_EQ(registered.count(entry.path().stem().string()), 1u) << entry.path();
        }
    }
}

TEST(PhoneType, DisplayNames)
{
    const char* const expected[] = {
        "PHONE_TYPE_UN_KNOWN", "TYPE_UNKNOWN", "K2210_NC5", "K2210_RC3", "K2210_RV3", "MEIGDEV",
        "KG70-FT-ON",          "M26",          "EC20F",     "TD_ME909",  "TD_ME901",  "K2210_ME",
        "MG301_ON",            "K1100B_FT_ON", "MC323_ON",  "TYPE_UNKNOWN", "TD_MH5000",
        "INCORPORATED_A7600C1_SE",
    };
    for (int value = 0; value < static_cast<int>(std::size(expected)); ++value) {
        EXPECT_EQ(PhoneTypeToString(static_cast<PHONE_TYPE_t>(value)), expected[value]) << value;
    }
    for (const int value : {FirstUnregisteredNumber(), -1, 1000}) {
        EXPECT_EQ(PhoneTypeToString(static_cast<PHONE_TYPE_t>(value)), "TYPE_UNKNOWN") << value;
    }
}

TEST(GetPhoneByType, MakesTheClassOfEachNumber)
{
    const std::type_index expected[18] = {
        typeid(void),            typeid(void),            typeid(CPhone_K2210_NC5), typeid(CPhone_K2210_RC3),
        typeid(CPhone_K2210_RV3), typeid(CPhone_MeigDev),  typeid(CPhone_KG70_FT_ON), typeid(CPhone_M26),
        typeid(CPhone_EC20F),    typeid(CPhone_TD_ME909), typeid(CPhone_TD_ME901), typeid(CPhone_K2210_ME),
        typeid(CPhone_MG301_ON_KW40010), typeid(CPhone_K1100_FT_ON), typeid(CPhone_MC323_ON),
        typeid(CPhone_MH5000),   typeid(CPhone_TD_MH5000), typeid(CPhone_INCORPORATED_A7600C1_SE),
    };
    for (int value = 2; value <= 17; ++value) {
        std::unique_ptr<CPhoneCardBase> model(GetPhoneByType(value));
        ASSERT_NE(model, nullptr) << value;
        const CPhoneCardBase& object = *model;
        EXPECT_EQ(std::type_index(typeid(object)), expected[value]) << value;
        EXPECT_EQ(model->GetPhoneType(), value);
    }
}

TEST(GetPhoneByType, NoObjectOutsideTheModels)
{
    for (const int value : {0, 1, FirstUnregisteredNumber(), FirstUnregisteredNumber() + 1, -1, 1000}) {
        std::unique_ptr<CPhoneCardBase> model(GetPhoneByType(value));
        EXPECT_EQ(model, nullptr) << value;
    }
    EXPECT_EQ(CPhoneCardBase().GetPhoneType(), PHONE_TYPE_BASE);
}

// The types of a model list in its order; each registered model once. Of
// the models registered after the sixteen, only their presence is checked:
// they are left out, so that the sixteen keep their order among themselves.
std::vector<PHONE_TYPE_t> TypesOf(ModelOrder order)
{
    std::vector<PHONE_TYPE_t> types;
    std::set<PHONE_TYPE_t> registered;
    for (const ModelRow& row : RegisteredModels()) {
        registered.insert(row.type);
    }
    const auto models = CreateModelList(order);
    EXPECT_EQ(models.size(), registered.size());
    for (const auto& model : models) {
        const PHONE_TYPE_t type = model ? model->GetPhoneType() : PHONE_TYPE_UN_KNOWN;
        EXPECT_EQ(registered.erase(type), 1u) << type;
        if (type <= PHONE_TYPE_INCORPORATED_A7600C1_SE) {
            types.push_back(type);
        }
    }
    return types;
}

TEST(ModelList, CatalogueAndSelectionOrder)
{
    const std::vector<PHONE_TYPE_t> catalogue = {
        PHONE_TYPE_KG70_FT_ON, PHONE_TYPE_M26,       PHONE_TYPE_EC20F,         PHONE_TYPE_K2210_NC5,
        PHONE_TYPE_K2210_ME,   PHONE_TYPE_MG301_ON,  PHONE_TYPE_K1100B_FT_ON,  PHONE_TYPE_MC323_ON,
        PHONE_TYPE_MH5000,     PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3,     PHONE_TYPE_MEIGDEV,
        PHONE_TYPE_TD_ME909,   PHONE_TYPE_TD_ME901,  PHONE_TYPE_TD_MH5000,     PHONE_TYPE_INCORPORATED_A7600C1_SE,
    };
    EXPECT_EQ(TypesOf(ModelOrder::Catalogue), catalogue);
    EXPECT_EQ(TypesOf(ModelOrder::Selection), catalogue);
}

TEST(ModelList, DetectionTriesMe901BeforeMe909)
{
    const std::vector<PHONE_TYPE_t> expected = {
        PHONE_TYPE_KG70_FT_ON, PHONE_TYPE_M26,       PHONE_TYPE_EC20F,         PHONE_TYPE_K2210_NC5,
        PHONE_TYPE_K2210_ME,   PHONE_TYPE_MG301_ON,  PHONE_TYPE_K1100B_FT_ON,  PHONE_TYPE_MC323_ON,
        PHONE_TYPE_MH5000,     PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3,     PHONE_TYPE_MEIGDEV,
        PHONE_TYPE_TD_ME901,   PHONE_TYPE_TD_ME909,  PHONE_TYPE_TD_MH5000,     PHONE_TYPE_INCORPORATED_A7600C1_SE,
    };
    EXPECT_EQ(TypesOf(ModelOrder::Detection), expected);
}

TEST(ModelList, EveryCallMakesFreshObjects)
{
    auto first = CreateModelList(ModelOrder::Catalogue);
    auto second = CreateModelList(ModelOrder::Catalogue);
    ASSERT_EQ(first.size(), second.size());
    // State written into one list must not show in the other.
    first[0]->OnGetAtiCmdRsp("\r\nQuectel_M35\r\n\r\nOK\r\n");
    EXPECT_EQ(second[0]->GetAtiRspString(), "");
    EXPECT_NE(first[0].get(), second[0].get());
}

// ---- the sample answers

class AtiSample : public ::testing::TestWithParam<ModelRow>
{
};

TEST_P(AtiSample, EqualsItsFixtureFile)
{
    const auto& named = GetParam();
    auto model = modeltest::MakeModel(named.type);
    const std::string fixture = ReadFixture(std::string("ati/") + named.className + ".txt");
    ASSERT_FALSE(fixture.empty()) << named.className;
    EXPECT_EQ(Visible(model->Get_ATI_Rsp()), Visible(fixture));
}

TEST_P(AtiSample, HasTheLinesOfARealAnswer)
{
    const auto& named = GetParam();
    const std::string sample = modeltest::MakeModel(named.type)->Get_ATI_Rsp();
    EXPECT_NE(sample.find("+GCAP:"), std::string::npos);
    EXPECT_NE(sample.find("Revision:"), std::string::npos);
    // The CDMA model names its ESN instead of an IMEI.
    EXPECT_TRUE(sample.find("IMEI:") != std::string::npos || sample.find("ESN:") != std::string::npos);
    ASSERT_GE(sample.size(), 6u);
    EXPECT_EQ(sample.substr(sample.size() - 6), "\r\nOK\r\n");
}

TEST_P(AtiSample, AcceptedByItsOwnModel)
{
    const auto& named = GetParam();
    auto model = modeltest::MakeModel(named.type);
    const std::string sample = model->Get_ATI_Rsp();
    EXPECT_TRUE(model->IsATI_RspMatch(sample));
    EXPECT_STREQ(VerdictName(model->OnGetAtiCmdRsp(sample)), VerdictName(RSP_OK));
    EXPECT_EQ(model->GetAtiRspString(), sample);
}

// First match wins: the TD Tech MH5000 answer is taken by CPhone_MH5000,
// which comes first; every other sample names its own model in every order.
TEST_P(AtiSample, RecognisedInEveryOrder)
{
    const auto& named = GetParam();
    const std::string sample = modeltest::MakeModel(named.type)->Get_ATI_Rsp();
    const PHONE_TYPE_t expected = named.type == PHONE_TYPE_TD_MH5000 ? PHONE_TYPE_MH5000 : named.type;
    for (const ModelOrder order : {ModelOrder::Catalogue, ModelOrder::Detection, ModelOrder::Selection}) {
        EXPECT_EQ(PhoneTypeToString(RecogniseModel(sample, order)), PhoneTypeToString(expected));
        EXPECT_EQ(RecogniseModel(sample, order), expected);
    }
}

// The speaker of ATI (the base class, the first model of the scan, or the
// model itself, which recognises its name long before the answer ends)
// waits for the whole answer and keeps it for recognition.
TEST_P(AtiSample, EveryPrefixBeforeOkReadsMore)
{
    const auto& named = GetParam();
    const std::string sample = modeltest::MakeModel(named.type)->Get_ATI_Rsp();
    const std::size_t okEnd = sample.size();  // past the line feed of its final "OK"
    for (std::size_t len = 0; len <= sample.size(); ++len) {
        const std::string prefix = sample.substr(0, len);
        CPhoneCardBase speaker;
        const int expected = len < okEnd ? RSP_MORE : RSP_OK;
        EXPECT_STREQ(VerdictName(speaker.OnGetAtiCmdRsp(prefix)), VerdictName(expected)) << Visible(prefix);
        EXPECT_EQ(speaker.GetAtiRspString(), prefix);
        EXPECT_STREQ(VerdictName(modeltest::MakeModel(named.type)->OnGetAtiCmdRsp(prefix)), VerdictName(expected))
            << Visible(prefix);

        // A model that does not recognise the answer refuses it only once it is complete.
        if (named.type != PHONE_TYPE_KG70_FT_ON) {
            CPhone_KG70_FT_ON firstOfScan;
            const int refused = len < okEnd ? RSP_MORE : RSP_ERROR;
            EXPECT_STREQ(VerdictName(firstOfScan.OnGetAtiCmdRsp(prefix)), VerdictName(refused)) << Visible(prefix);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, AtiSample, ::testing::ValuesIn(RegisteredModels()),
                         [](const ::testing::TestParamInfo<ModelRow>& info) {
                             return std::string(info.param.className);
                         });

TEST(AtiRecognition, BaseHasNoSample)
{
    EXPECT_EQ(CPhoneCardBase().Get_ATI_Rsp(), "");
}

// ---- answers named by the catalogue's rules

struct RecognitionRow
{
    const char* name;
    std::string answer;
    PHONE_TYPE_t expected;
};

class AtiRecognition : public ::testing::TestWithParam<RecognitionRow>
{
};

TEST_P(AtiRecognition, FirstMatchInEveryOrder)
{
    const RecognitionRow& row = GetParam();
    for (const ModelOrder order : {ModelOrder::Catalogue, ModelOrder::Detection, ModelOrder::Selection}) {
        EXPECT_EQ(PhoneTypeToString(RecogniseModel(row.answer, order)), PhoneTypeToString(row.expected))
            << Visible(row.answer);
        EXPECT_EQ(RecogniseModel(row.answer, order), row.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AtiRecognition,
    ::testing::Values(
        RecognitionRow{"Ec20fLines", "Quectel\r\nEC20F\r\nRevision: EC20CEFAGR06A09M4G\r\nOK\r\n", PHONE_TYPE_EC20F},
        RecognitionRow{"BareQuectelLine", "\r\nQuectel\r\nEG25\r\nRevision: EG25GGBR07A08M2G\r\n\r\nOK\r\n",
                       PHONE_TYPE_EC20F},
        RecognitionRow{"Ec20WithoutF", "\r\nQuectel EC20\r\n\r\nOK\r\n", PHONE_TYPE_EC20F},
        RecognitionRow{"M35BeforeEverything", "\r\nQuectel_M35\r\nRevision: M35FAR01A02\r\n\r\nOK\r\n",
                       PHONE_TYPE_KG70_FT_ON},
        RecognitionRow{"Me909s821IsK2210Me", "\r\nManufacturer: Huawei\r\nModel: ME909s-821\r\n\r\nOK\r\n",
                       PHONE_TYPE_K2210_ME},
        RecognitionRow{"OtherMe909IsTdMe909", "\r\nModel: ME909s-120\r\n\r\nOK\r\n", PHONE_TYPE_TD_ME909},
        RecognitionRow{"Me901IsTdMe901", "\r\nModel: ME901s-806p\r\n\r\nOK\r\n", PHONE_TYPE_TD_ME901},
        RecognitionRow{"TdMh5000IsMh5000", "\r\nManufacturer: TD Tech Ltd.\r\nModel : MH5000 - 82M\r\n\r\nOK\r\n",
                       PHONE_TYPE_MH5000},
        RecognitionRow{"Clm920WithoutOkNotRecognised", "Manufacturer: Yuga Co.,Ltd.\r\nModel: CLM920_NC5\r\n",
                       PHONE_TYPE_BASE},
        RecognitionRow{"Clm920Rc3WithoutOk", "\r\nModel: CLM920_RC3\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"MeigWithoutOk", "\r\nManufacturer: MEIG\r\nModel: SRM821\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"Sim7600ceL", "\r\nManufacturer: SIMCOM INCORPORATED\r\nModel: SIMCOM_SIM7600CE-L\r\n\r\nOK\r\n",
                       PHONE_TYPE_INCORPORATED_A7600C1_SE},
        RecognitionRow{"A7600WithoutOk", "\r\nModel: A7600C1-SE\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"CaseMatters", "\r\nModel: mg301\r\n\r\nOK\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"UnknownModem", "\r\nManufacturer: Acme\r\nModel: X1\r\n\r\nOK\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"ErrorAnswer", "\r\nERROR\r\n", PHONE_TYPE_BASE},
        RecognitionRow{"Empty", "", PHONE_TYPE_BASE}),
    [](const ::testing::TestParamInfo<RecognitionRow>& info) { return std::string(info.param.name); });

TEST(AtiRecognition, RefusedAnswerIsStillKept)
{
    CPhone_M26 m26;
    const std::string answer = ReadFixture("ati/CPhone_EC20F.txt");
    EXPECT_STREQ(VerdictName(m26.OnGetAtiCmdRsp(answer)), VerdictName(RSP_ERROR));
    EXPECT_EQ(m26.GetAtiRspString(), answer);
    EXPECT_STREQ(VerdictName(m26.OnGetAtiCmdRsp("\r\nERROR\r\n")), VerdictName(RSP_ERROR));
}

}  // namespace
