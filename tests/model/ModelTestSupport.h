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
