#ifndef TARNEL_FUZZ_MODEL_H
#define TARNEL_FUZZ_MODEL_H

// What the model fuzz targets share: the model an input chooses, and the
// verdict every answer handler must give.

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

#include "CreatePhone.h"
#include "PhoneCardBase.h"
#include "fuzz_checks.h"

namespace fuzz {

// The base class or any registered model, chosen by the input's last byte.
inline std::unique_ptr<CPhoneCardBase> ModelOfInput(FuzzedDataProvider& in, int& type)
{
    type = in.ConsumeIntegralInRange<int>(PHONE_TYPE_BASE, RegisteredModels().back().type);
    std::unique_ptr<CPhoneCardBase> phone(type == PHONE_TYPE_BASE ? new CPhoneCardBase() : GetPhoneByType(type));
    Require(phone != nullptr);
    return phone;
}

inline void RequireVerdict(int v)
{
    Require(v == RSP_OK || v == RSP_ERROR || v == RSP_MORE);
}

}  // namespace fuzz

#endif
