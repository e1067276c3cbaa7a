#ifndef TARNEL_CREATEPHONE_H
#define TARNEL_CREATEPHONE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "PhoneCardBase.h"
#include "PhoneType.h"

// One registered model: a row of the model table (ModelTable.h).
struct ModelRow
{
    PHONE_TYPE_t type;
    const char* name;            // its display name, PhoneTypeToString(type)
    const char* className;       // the class it makes, e.g. "CPhone_EC20F"
    CPhoneCardBase* (*make)();   // a new object of that class; the caller owns it
    std::size_t detectionPlace;  // its place in ModelOrder::Detection
    std::size_t selectionPlace;  // its place in ModelOrder::Catalogue and ModelOrder::Selection
};

// Every registered model, one row per model number from the first row's to
// the last row's, in number order.
const std::vector<ModelRow>& RegisteredModels();

// A new model object for a registered model number, or nullptr for any other
// value. The caller owns the object: wrap it in std::unique_ptr.
CPhoneCardBase* GetPhoneByType(int type);

// The orders in which the registered models are offered an ATI answer; the
// first model that accepts it wins.
enum class ModelOrder
{
    Catalogue,  // the catalogue order; also the port listing of the sms sub-commands
    Detection,  // the port scan: CPhone_TD_ME901 before CPhone_TD_ME909
    Selection,  // the port selection of the send and read dialogues (the catalogue order)
};

// One fresh object of every registered model, in the given order.
std::vector<std::unique_ptr<CPhoneCardBase>> CreateModelList(ModelOrder order);

// The type of the first model, in the given order, whose IsATI_RspMatch
// accepts `atiAnswer`; PHONE_TYPE_BASE when none does.
PHONE_TYPE_t RecogniseModel(const std::string& atiAnswer, ModelOrder order);

#endif
