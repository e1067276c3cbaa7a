#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunMode.h"

namespace {

struct ModeCase
{
    std::vector<std::string> args;  // after the program name
    RunModeKind_t kind;
    std::string first, second;
};

std::string Describe(const std::vector<std::string>& args)
{
    std::string text = "tarnel";
    for (const std::string& a : args) {
        text += " [" + a + "]";
    }
    return text;
}

RunMode_t Choose(const std::vector<std::string>& args)
{
    std::vector<std::string> storage = {"tarnel"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) {
        argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);
    return ChooseRunMode(static_cast<int>(storage.size()), argv.data());
}

TEST(ChooseRunMode, ArgumentsPickExactlyOneMode)
{
    const ModeCase cases[] = {
        {{}, RUN_MENU, "", ""},
        // Help and version words only as the only argument, case-sensitive.
        {{"help"}, RUN_HELP, "", ""},
        {{"/?"}, RUN_HELP, "", ""},
        {{"-help"}, RUN_HELP, "", ""},
        {{"--help"}, RUN_HELP, "", ""},
        {{"-h"}, RUN_HELP, "", ""},
        {{"--h"}, RUN_HELP, "", ""},
        {{"HELP"}, RUN_CMD_PARAMS, "", ""},
        {{"help", "me"}, RUN_CMD_PARAMS, "", ""},
        {{"version"}, RUN_VERSION, "", ""},
        {{"-version"}, RUN_VERSION, "", ""},
        {{"--version"}, RUN_VERSION, "", ""},
        {{"v"}, RUN_VERSION, "", ""},
        {{"-v"}, RUN_VERSION, "", ""},
        {{"V"}, RUN_CMD_PARAMS, "", ""},
        {{"-V"}, RUN_CMD_PARAMS, "", ""},
        {{"version", "x"}, RUN_CMD_PARAMS, "", ""},
        // "sms" needs a sub-command; both words are lowered.
        {{"sms", "read"}, RUN_SMS, "read", ""},
        {{"SMS", "READ"}, RUN_SMS, "read", ""},
        // A third word is the port list, taken as typed.
        {{"sMs", "ReadClear", "USB0,imei:86"}, RUN_SMS, "readclear", "USB0,imei:86"},
        {{"sms"}, RUN_CMD_PARAMS, "", ""},
        {{"smss", "read"}, RUN_CMD_PARAMS, "", ""},
        {{"sm", "read"}, RUN_CMD_PARAMS, "", ""},
        // "pdu" needs a number and a message, passed on unchanged.
        {{"pdu", "13800138000", "Hello World"}, RUN_PDU_TEST, "13800138000", "Hello World"},
        {{"PDU", "+86138", "MiXeD"}, RUN_PDU_TEST, "+86138", "MiXeD"},
        {{"pdu", "1", "2", "3"}, RUN_PDU_TEST, "1", "2"},
        {{"pdu", "13800138000"}, RUN_CMD_PARAMS, "", ""},
        {{"pdu"}, RUN_CMD_PARAMS, "", ""},
        // The send forms and anything else.
        {{"18300000000,18500000000", "hello"}, RUN_CMD_PARAMS, "", ""},
        {{"USB3,USB4", "18300000000", "hello"}, RUN_CMD_PARAMS, "", ""},
        {{"abc", "x"}, RUN_CMD_PARAMS, "", ""},
        {{"13800138000"}, RUN_CMD_PARAMS, "", ""},
        {{""}, RUN_CMD_PARAMS, "", ""},
        // Bytes above 0x7f are lowered safely and match nothing.
        {{"\xe7\x9f\xad", "READ"}, RUN_CMD_PARAMS, "", ""},
        {{"SMS", "\xc3\x89T\xc3\x89"}, RUN_SMS, "\xc3\x89t\xc3\x89", ""},
        // "scan" and "sscan" in any case, with an optional port list.
        {{"scan"}, RUN_SCAN, "", ""},
        {{"SScan", "USB0"}, RUN_SCAN, "USB0", ""},
        {{"scanner"}, RUN_CMD_PARAMS, "", ""},
        // "ussd" and "sussd": the code and the port list as typed; no code is left to the mode.
        {{"ussd", "*100#"}, RUN_USSD, "*100#", ""},
        {{"USSD", "*100#", "imei:86"}, RUN_USSD, "*100#", "imei:86"},
        {{"sussd"}, RUN_USSD, "", ""},
        {{"ussds", "*100#"}, RUN_CMD_PARAMS, "", ""},
    };
    for (const ModeCase& c : cases) {
        const RunMode_t mode = Choose(c.args);
        EXPECT_EQ(mode.kind, c.kind) << Describe(c.args);
        EXPECT_EQ(mode.first, c.first) << Describe(c.args);
        EXPECT_EQ(mode.second, c.second) << Describe(c.args);
    }
}

TEST(ChooseRunMode, CompactScanAndArgumentsBeyondThePortList)
{
    const struct
    {
        std::vector<std::string> args;
        RunModeKind_t kind;
        bool compact;
        bool extra;
    } cases[] = {
        {{"sms", "read", "USB0"}, RUN_SMS, false, false},
        {{"sms", "read", "USB0", "USB1"}, RUN_SMS, false, true},
        {{"scan"}, RUN_SCAN, false, false},
        {{"sscan", "USB0"}, RUN_SCAN, true, false},
        {{"SSCAN", "USB0", "x"}, RUN_SCAN, true, true},
        {{"ussd", "*100#", "USB0"}, RUN_USSD, false, false},
        {{"SUssd", "*100#"}, RUN_USSD, true, false},
        {{"sussd", "*100#", "USB0", "x"}, RUN_USSD, true, true},
    };
    for (const auto& c : cases) {
        const RunMode_t mode = Choose(c.args);
        EXPECT_EQ(mode.kind, c.kind) << Describe(c.args);
        EXPECT_EQ(mode.compact, c.compact) << Describe(c.args);
        EXPECT_EQ(mode.extraArguments, c.extra) << Describe(c.args);
    }
}

}  // namespace
