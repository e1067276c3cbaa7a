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

namespace {

// The recognition order: the first model whose tokens match wins, so
// "ME909s-821" is a CPhone_K2210_ME and every "MH5000" a CPhone_MH5000.
const PHONE_TYPE_t kCatalogueOrder[] = {
    PHONE_TYPE_KG70_FT_ON, PHONE_TYPE_M26,       PHONE_TYPE_EC20F,     PHONE_TYPE_K2210_NC5,
    PHONE_TYPE_K2210_ME,   PHONE_TYPE_MG301_ON,  PHONE_TYPE_K1100B_FT_ON, PHONE_TYPE_MC323_ON,
    PHONE_TYPE_MH5000,     PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3, PHONE_TYPE_MEIGDEV,
    PHONE_TYPE_TD_ME909,   PHONE_TYPE_TD_ME901,  PHONE_TYPE_TD_MH5000, PHONE_TYPE_INCORPORATED_A7600C1_SE,
};

// The port scan has always tried the ME901 before the ME909; their tokens do
// not overlap, so both orders recognise the same models.
const PHONE_TYPE_t kDetectionOrder[] = {
    PHONE_TYPE_KG70_FT_ON, PHONE_TYPE_M26,       PHONE_TYPE_EC20F,     PHONE_TYPE_K2210_NC5,
    PHONE_TYPE_K2210_ME,   PHONE_TYPE_MG301_ON,  PHONE_TYPE_K1100B_FT_ON, PHONE_TYPE_MC323_ON,
    PHONE_TYPE_MH5000,     PHONE_TYPE_K2210_RC3, PHONE_TYPE_K2210_RV3, PHONE_TYPE_MEIGDEV,
    PHONE_TYPE_TD_ME901,   PHONE_TYPE_TD_ME909,  PHONE_TYPE_TD_MH5000, PHONE_TYPE_INCORPORATED_A7600C1_SE,
};

}  // namespace

std::string PhoneTypeToString(PHONE_TYPE_t type)
{
    switch (static_cast<int>(type)) {
    case PHONE_TYPE_UN_KNOWN: return "PHONE_TYPE_UN_KNOWN";
    case PHONE_TYPE_K2210_NC5: return "K2210_NC5";
    case PHONE_TYPE_K2210_RC3: return "K2210_RC3";
    case PHONE_TYPE_K2210_RV3: return "K2210_RV3";
    case PHONE_TYPE_MEIGDEV: return "MEIGDEV";
    case PHONE_TYPE_KG70_FT_ON: return "KG70-FT-ON";
    case PHONE_TYPE_M26: return "M26";
    case PHONE_TYPE_EC20F: return "EC20F";
    case PHONE_TYPE_TD_ME909: return "TD_ME909";
    case PHONE_TYPE_TD_ME901: return "TD_ME901";
    case PHONE_TYPE_K2210_ME: return "K2210_ME";
    case PHONE_TYPE_MG301_ON: return "MG301_ON";
    case PHONE_TYPE_K1100B_FT_ON: return "K1100B_FT_ON";
    case PHONE_TYPE_MC323_ON: return "MC323_ON";
    case PHONE_TYPE_TD_MH5000: return "TD_MH5000";
    case PHONE_TYPE_INCORPORATED_A7600C1_SE: return "INCORPORATED_A7600C1_SE";
    default: return "TYPE_UNKNOWN";  // also PHONE_TYPE_BASE and PHONE_TYPE_MH5000
    }
}

CPhoneCardBase* GetPhoneByType(int type)
{
    switch (type) {
    case PHONE_TYPE_K2210_NC5: return new CPhone_K2210_NC5();
    case PHONE_TYPE_K2210_RC3: return new CPhone_K2210_RC3();
    case PHONE_TYPE_K2210_RV3: return new CPhone_K2210_RV3();
    case PHONE_TYPE_MEIGDEV: return new CPhone_MeigDev();
    case PHONE_TYPE_KG70_FT_ON: return new CPhone_KG70_FT_ON();
    case PHONE_TYPE_M26: return new CPhone_M26();
    case PHONE_TYPE_EC20F: return new CPhone_EC20F();
    case PHONE_TYPE_TD_ME909: return new CPhone_TD_ME909();
    case PHONE_TYPE_TD_ME901: return new CPhone_TD_ME901();
    case PHONE_TYPE_K2210_ME: return new CPhone_K2210_ME();
    case PHONE_TYPE_MG301_ON: return new CPhone_MG301_ON_KW40010();
    case PHONE_TYPE_K1100B_FT_ON: return new CPhone_K1100_FT_ON();
    case PHONE_TYPE_MC323_ON: return new CPhone_MC323_ON();
    case PHONE_TYPE_MH5000: return new CPhone_MH5000();
    case PHONE_TYPE_TD_MH5000: return new CPhone_TD_MH5000();
    case PHONE_TYPE_INCORPORATED_A7600C1_SE: return new CPhone_INCORPORATED_A7600C1_SE();
    default: return nullptr;  // PHONE_TYPE_UN_KNOWN, PHONE_TYPE_BASE and unknown numbers
    }
}

std::vector<std::unique_ptr<CPhoneCardBase>> CreateModelList(ModelOrder order)
{
    // The selection dialogue uses the catalogue order itself.
    const PHONE_TYPE_t* const types = (order == ModelOrder::Detection) ? kDetectionOrder : kCatalogueOrder;
    std::vector<std::unique_ptr<CPhoneCardBase>> models;
    for (std::size_t i = 0; i < std::size(kCatalogueOrder); ++i) {
        models.emplace_back(GetPhoneByType(types[i]));
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
