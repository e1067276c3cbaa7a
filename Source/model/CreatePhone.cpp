#include "CreatePhone.h"

#include <iterator>

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
#include "ModelTable.h"

namespace {

template <class Model>
CPhoneCardBase* MakeModel()
{
    return new Model();
}

#define TARNEL_MODEL_ROW(type, name, cls, detection, selection) {type, name, #cls, &MakeModel<cls>, detection, selection},
constexpr ModelRow kModels[] = {TARNEL_MODEL_TABLE(TARNEL_MODEL_ROW)};
#undef TARNEL_MODEL_ROW

constexpr std::size_t kModelCount = std::size(kModels);
constexpr PHONE_TYPE_t kFirstModel = kModels[0].type;
constexpr PHONE_TYPE_t kLastModel = kModels[kModelCount - 1].type;

// Row i holds number kFirstModel + i, so GetPhoneByType finds a row by its number.
constexpr bool RowsFollowTheNumbers()
{
    for (std::size_t i = 0; i < kModelCount; ++i) {
        if (kModels[i].type != kFirstModel + static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}

// Each place of an order holds exactly one row, so every model is offered once.
constexpr bool PlacesEachRowOnce(std::size_t ModelRow::*place)
{
    for (std::size_t at = 0; at < kModelCount; ++at) {
        std::size_t rows = 0;
        for (const ModelRow& row : kModels) {
            rows += row.*place == at ? 1 : 0;
        }
        if (rows != 1) {
            return false;
        }
    }
    return true;
}

static_assert(kFirstModel == PHONE_TYPE_BASE + 1, "ModelTable.h: the model numbers start after PHONE_TYPE_BASE");
static_assert(RowsFollowTheNumbers(), "ModelTable.h: one row per model number, in number order, none left out");
static_assert(PlacesEachRowOnce(&ModelRow::detectionPlace),
              "ModelTable.h: the detection places are 0 to the row count - 1, each once");
static_assert(PlacesEachRowOnce(&ModelRow::selectionPlace),
              "ModelTable.h: the selection places are 0 to the row count - 1, each once");

}  // namespace

const std::vector<ModelRow>& RegisteredModels()
{
    static const std::vector<ModelRow> rows(std::begin(kModels), std::end(kModels));
    return rows;
}

CPhoneCardBase* GetPhoneByType(int type)
{
    // PHONE_TYPE_UN_KNOWN, PHONE_TYPE_BASE and numbers no model has make nothing.
    if (type < kFirstModel || type > kLastModel) {
        return nullptr;
    }
    return kModels[type - kFirstModel].make();
}

std::vector<std::unique_ptr<CPhoneCardBase>> CreateModelList(ModelOrder order)
{
    // The catalogue order is the selection order itself.
    std::vector<std::unique_ptr<CPhoneCardBase>> models(kModelCount);
    for (const ModelRow& row : kModels) {
        const std::size_t place = order == ModelOrder::Detection ? row.detectionPlace : row.selectionPlace;
        models[place].reset(row.make());
    }
    return models;
}

PHONE_TYPE_t RecogniseModel(const std::string& atiAnswer, ModelOrder order)
{
    for (const std::unique_ptr<CPhoneCardBase>& model : CreateModelList(order)) {
        if (model->IsATI_RspMatch(atiAnswer)) {
            return model->GetPhoneType();
        }
    }
    return PHONE_TYPE_BASE;
}
