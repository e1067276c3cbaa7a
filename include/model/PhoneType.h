#ifndef TARNEL_PHONETYPE_H
#define TARNEL_PHONETYPE_H

#include <cstdint>
#include <string>

// The model number stored per port; GetPhoneByType turns it back into a model
// object. Fixed to 32 bits so that any stored number, even one no model has,
// is a valid value. Each model number has its row in ModelTable.h.
enum PHONE_TYPE_t : int32_t
{
    PHONE_TYPE_UN_KNOWN = 0,
    PHONE_TYPE_BASE = 1,
    PHONE_TYPE_K2210_NC5 = 2,
    PHONE_TYPE_K2210_RC3 = 3,
    PHONE_TYPE_K2210_RV3 = 4,
    PHONE_TYPE_MEIGDEV = 5,
    PHONE_TYPE_KG70_FT_ON = 6,
    PHONE_TYPE_M26 = 7,
    PHONE_TYPE_EC20F = 8,
    PHONE_TYPE_TD_ME909 = 9,
    PHONE_TYPE_TD_ME901 = 10,
    PHONE_TYPE_K2210_ME = 11,
    PHONE_TYPE_MG301_ON = 12,
    PHONE_TYPE_K1100B_FT_ON = 13,
    PHONE_TYPE_MC323_ON = 14,
    PHONE_TYPE_MH5000 = 15,
    PHONE_TYPE_TD_MH5000 = 16,
    PHONE_TYPE_INCORPORATED_A7600C1_SE = 17,
};

// Display name of a model number, from its row in ModelTable.h
// ("TYPE_UNKNOWN" for numbers without one).
std::string PhoneTypeToString(PHONE_TYPE_t type);

#endif
