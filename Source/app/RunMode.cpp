// The run mode chosen by the command line.
#include "RunMode.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace {

std::string Lowered(const char* text)
{
    std::string s(text);
    for (char& c : s) {
        // tolower is only defined for values of unsigned char (and EOF).
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool OneOf(const std::string& word, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

}  // namespace

RunMode_t ChooseRunMode(int argc, char** argv)
{
    RunMode_t mode;
    if (argc <= 1) {
        mode.kind = RUN_MENU;
        return mode;
    }
    const std::string arg1 = argv[1];
    if (argc == 2) {
        if (OneOf(arg1, {"help", "/?", "-help", "--help", "-h", "--h"})) {
            mode.kind = RUN_HELP;
            return mode;
        }
        if (OneOf(arg1, {"version", "-version", "--version", "v", "-v"})) {
            mode.kind = RUN_VERSION;
            return mode;
        }
    }
    if (arg1.size() == 3 && argc >= 3) {
        const std::string word = Lowered(argv[1]);
        if (word == "sms") {
            mode.kind = RUN_SMS;
            mode.first = Lowered(argv[2]);
            mode.second = argc >= 4 ? argv[3] : "";
            mode.extraArguments = argc > 4;
            return mode;
        }
        if (word == "pdu" && argc >= 4) {
            mode.kind = RUN_PDU_TEST;
            mode.first = argv[2];
            mode.second = argv[3];
            return mode;
        }
    }
    const std::string word = Lowered(argv[1]);
    if (word == "scan" || word == "sscan") {
        mode.kind = RUN_SCAN;
        mode.compact = word == "sscan";
        mode.first = argc >= 3 ? argv[2] : "";
        mode.extraArguments = argc > 3;
        return mode;
    }
    if (word == "ussd" || word == "sussd") {
        mode.kind = RUN_USSD;
        mode.compact = word == "sussd";
        mode.first = argc >= 3 ? argv[2] : "";
        mode.second = argc >= 4 ? argv[3] : "";
        mode.extraArguments = argc > 4;
        return mode;
    }
    mode.kind = RUN_CMD_PARAMS;
    return mode;
}
