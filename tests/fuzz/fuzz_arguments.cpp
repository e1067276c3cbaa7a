// The command line as the program takes it apart, without touching a port:
// the run mode, and for a send the port list, the number list and the
// message (its wrapping quotes and escapes), then the send steps the message
// becomes for each number, in UCS-2 and with encoding=auto.
// Input: the arguments after the program name, separated by NUL bytes (at
// most five; the last takes the rest).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "PhoneCardBase.h"
#include "RunMode.h"
#include "SmsDecode.h"
#include "StringUtil.h"
#include "fuzz_checks.h"

namespace {

constexpr std::size_t MAX_ARGUMENTS = 5;
// Numbers whose steps are built: each costs an encoding of the whole text.
constexpr std::size_t NUMBERS_ENCODED = 2;
constexpr char CTRL_Z = 0x1A;

std::vector<std::string> Arguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> args = {"tarnel"};
    const std::string all(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    while (args.size() < MAX_ARGUMENTS) {
        const std::size_t nul = all.find('\0', from);
        if (nul == std::string::npos) {
            break;
        }
        args.push_back(all.substr(from, nul - from));
        from = nul + 1;
    }
    if (size > 0) {
        args.push_back(all.substr(from));
    }
    return args;
}

// Every step announces its TPDU and ends in Ctrl-Z after upper-case hex; the
// PDU reads back without a sanitizer report.
void CheckSteps(const std::vector<PDU_LONG_SMS_Base_t>& steps)
{
    fuzz::Require(steps.size() <= 255);
    for (const PDU_LONG_SMS_Base_t& step : steps) {
        const std::string& body = step.pduContent;
        fuzz::Require(body.size() >= 3 && body.back() == CTRL_Z && body.size() % 2 == 1);
        const std::string pdu = body.substr(0, body.size() - 1);
        for (const char c : pdu) {
            fuzz::Require((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        }
        const int centre = std::stoi(pdu.substr(0, 2), nullptr, 16);
        fuzz::Require(step.lenCmd == "AT+CMGS=" + std::to_string(pdu.size() / 2 - 1 - centre) + "\r");
        SM_PARAM decoded{};
        gsmDecodeSendPdu(pdu.c_str(), &decoded);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args = Arguments(data, size);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    const RunMode_t mode = ChooseRunMode(argc, argv.data());
    if (mode.kind != RUN_CMD_PARAMS || (argc != 3 && argc != 4)) {
        return 0;
    }

    const std::string portList = argc == 4 ? args[1] : std::string();
    const std::string& typed = args[argc - 1];
    std::string message = CCheckManager::RemoveDoubleQuotationMarksOfStringBothSide(typed);
    // Only a wrapping pair of quotes may go; the message is never cut.
    fuzz::Require(message == typed || (typed.size() >= 2 && message == typed.substr(1, typed.size() - 2)));
    StringReplace(message, "\\n", "\n");
    StringReplace(message, "\\r", "\r");

    const std::vector<std::string> numbers = CCheckManager::SplitUserPhoneNumber(args[argc - 2]);
    for (const std::string& number : numbers) {
        fuzz::Require(CCheckManager::CheckReceiveNumber(number));
    }
    const std::vector<std::string> candidates = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyAMA0", "/dev/ttyS0"};
    for (const std::string& path : CCheckManager::NamedPorts(portList, candidates)) {
        fuzz::Require(path.rfind("/dev/tty", 0) == 0);
    }
    // With an empty device table nothing typed is a port of the table: a
    // typed list is refused, and no item becomes a name outside /dev (an
    // identity item that matches nothing is named as typed, under /dev/, and
    // like every item outside the table never opened).
    CCheckManager manager;
    std::vector<ComPortBaseInfo_t> ports;
    fuzz::Require(manager.InputToSendPduSmsComPort(portList, ports) == portList.empty());
    for (const ComPortBaseInfo_t& port : ports) {
        fuzz::Require(!port.bInTable && port.strPortName.rfind("/dev/", 0) == 0 &&
                      port.strPortName.find("/../") == std::string::npos);
    }

    for (std::size_t i = 0; i < numbers.size() && i < NUMBERS_ENCODED; ++i) {
        for (const SMS_ENCODING_t encoding : {SMS_ENCODING_UCS2, SMS_ENCODING_AUTO}) {
            CPhoneCardBase phone;
            phone.SetSendEncoding(encoding);
            CheckSteps(phone.GetSendPduSmsCmdArray(numbers[i], message));
        }
    }
    return 0;
}
