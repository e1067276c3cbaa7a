#ifndef TARNEL_CREATEPHONE_H
#define TARNEL_CREATEPHONE_H

#include <memory>
#include <string>
#include <vector>

#include "PhoneCardBase.h"
#include "PhoneType.h"

// A new model object for a stored model number (2..17), or nullptr for any
// other value. The caller owns the object: wrap it in std::unique_ptr.
CPhoneCardBase* GetPhoneByType(int type);

// The orders in which the sixteen models are offered an ATI answer; the first
// model that accepts it wins.
enum class ModelOrder
{
    Catalogue,  // the catalogue order; also the port listing of the sms sub-commands
    Detection,  // the port scan: CPhone_TD_ME901 before CPhone_TD_ME909
    Selection,  // the port selection of the send and read dialogues
};

// One fresh object of every model class, in the given order.
std::vector<std::unique_ptr<CPhoneCardBase>> CreateModelList(ModelOrder order);

// The type of the first model, in the given order, whose IsATI_RspMatch
// accepts `atiAnswer`; PHONE_TYPE_BASE when none does.
PHONE_TYPE_t RecogniseModel(const std::string& atiAnswer, ModelOrder order);

#endif
