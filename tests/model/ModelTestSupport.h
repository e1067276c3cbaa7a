#ifndef TARNEL_TESTS_MODEL_SUPPORT_H
#define TARNEL_TESTS_MODEL_SUPPORT_H

#include <cctype>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <sstream>
#include <set>
#include <string>
#include <vector>

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

// A test's name from its fixture: "csq/CPhone_EC20F.txt" gives "csq_CPhone_EC20F_txt".
inline std::string FixtureTestName(std::string relative)
{
    for (char& c : relative) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return relative;
}

// The transcripts of `folders` that `listed` does not name: a transcript
// dropped into a folder must say what it proves.
inline std::vector<std::string> UnlistedFixtures(const std::set<std::string>& listed,
                                                 std::initializer_list<const char*> folders)
{
    std::vector<std::string> unlisted;
    for (const char* folder : folders) {
        for (const auto& entry : std::filesystem::directory_iterator(FixturePath(folder))) {
            const std::string relative = std::string(folder) + "/" + entry.path().filename().string();
            if (listed.count(relative) == 0) {
                unlisted.push_back(relative);
            }
        }
    }
    return unlisted;
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
