#include "PhoneType.h"

#include "ModelTable.h"

std::string PhoneTypeToString(PHONE_TYPE_t type)
{
#define TARNEL_MODEL_NAME(number, name, cls, detection, selection) \
    case number: return name;
    switch (static_cast<int>(type)) {
    case PHONE_TYPE_UN_KNOWN: return "PHONE_TYPE_UN_KNOWN";
    TARNEL_MODEL_TABLE(TARNEL_MODEL_NAME)
    default: return "TYPE_UNKNOWN";  // also PHONE_TYPE_BASE
    }
#undef TARNEL_MODEL_NAME
}
