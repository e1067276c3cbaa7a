#ifndef TARNEL_TESTS_MODEL_SUPPORT_H
#define TARNEL_TESTS_MODEL_SUPPORT_H

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "CreatePhone.h"
#include "PhoneCardBase.h"

namespace modeltest {

// The sixteen classes by name, in catalogue order, with their numbers.
struct ModelName
{
    const char* className;
    PHONE_TYPE_t type;
};

inline const ModelName kModels[16] = {
    {"CPhone_KG70_FT_ON", PHONE_TYPE_KG70_FT_ON},
    {"CPhone_M26", PHONE_TYPE_M26},
    {"CPhone_EC20F", PHONE_TYPE_EC20F},
    {"CPhone_K2210_NC5", PHONE_TYPE_K2210_NC5},
    {"CPhone_K2210_ME", PHONE_TYPE_K2210_ME},
    {"CPhone_MG301_ON_KW40010", PHONE_TYPE_MG301_ON},
    {"CPhone_K1100_FT_ON", PHONE_TYPE_K1100B_FT_ON},
    {"CPhone_MC323_ON", PHONE_TYPE_MC323_ON},
    {"CPhone_MH5000", PHONE_TYPE_MH5000},
    {"CPhone_K2210_RC3", PHONE_TYPE_K2210_RC3},
    {"CPhone_K2210_RV3", PHONE_TYPE_K2210_RV3},
    {"CPhone_MeigDev", PHONE_TYPE_MEIGDEV},
    {"CPhone_TD_ME909", PHONE_TYPE_TD_ME909},
    {"CPhone_TD_ME901", PHONE_TYPE_TD_ME901},
    {"CPhone_TD_MH5000", PHONE_TYPE_TD_MH5000},
    {"CPhone_INCORPORATED_A7600C1_SE", PHONE_TYPE_INCORPORATED_A7600C1_SE},
};

// A model object for a number; PHONE_TYPE_BASE gives the base class itself.
inline std::unique_ptr<CPhoneCardBase> MakeModel(PHONE_TYPE_t type)
{
    if (type == PHONE_TYPE_BASE) {
        return std::make_unique<CPhoneCardBase>();
    }
    return std::unique_ptr<CPhoneCardBase>(GetPhoneByType(type));
}

inline std::string FixturePath(const std::string& relative)
{
    return std::string(TARNEL_FIXTURES) + "/" + relative;
}

// The exact bytes of a fixture; empty when it cannot be read.
inline std::string ReadFixture(const std::string& relative)
{
    std::ifstream in(FixturePath(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Modem text made readable in failure messages.
inline std::string Visible(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c == '\x1A') {
            out += "<SUB>";
        } else {
            out += c;
        }
    }
    return out;
}

inline const char* VerdictName(int verdict)
{
    switch (verdict) {
    case RSP_OK: return "RSP_OK";
    case RSP_ERROR: return "RSP_ERROR";
    case RSP_MORE: return "RSP_MORE";
    default: return "not a verdict";
    }
}

}  // namespace modeltest

#endif
