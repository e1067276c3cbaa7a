// Port discovery: the candidate device paths and the names users type for them.
#include "PortDiscovery.h"

#include <cstdio>

#include "CCheckManager.h"
#include "StringUtil.h"
#include "basic.h"

namespace {

// The device paths that `ls pattern` lists, in its order.
void AppendListedPorts(const char* command, std::vector<std::string>& ports)
{
    for (const std::string& line : SplitStringByChar(cmd_system(command), '\n')) {
        if (line.find("dev") != std::string::npos) {
            ports.push_back(line);
        }
    }
}

}  // namespace

std::string cmd_system(const char* cmd)
{
    std::string out;
    FILE* const pipe = popen(cmd, "r");
    if (pipe == nullptr) {
        return out;
    }
    char buf[1024];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
        out += buf;
    }
    pclose(pipe);
    return out;
}

std::string GetPortId(const std::string& path)
{
    const std::string::size_type at = path.find("tty");
    return at == std::string::npos ? path : path.substr(at + 3);
}

std::string ShortPortName(const std::string& path)
{
    const std::string::size_type devPrefix = 5;  // "/dev/"
    return path.size() > devPrefix ? path.substr(devPrefix) : std::string();
}

std::vector<std::string> CCheckManager::GetAllComPort()
{
    std::vector<std::string> ports;
    AppendListedPorts("ls /dev/ttyUSB* 2> /dev/null", ports);
    AppendListedPorts("ls /dev/ttyAMA* 2> /dev/null", ports);
    // On-board UARTs: listed whether or not they exist, unless set.ini says
    // they have nothing attached (a silent one costs a scan its whole bound).
    if (g_nFixedPorts != 0) {
        ports.push_back("/dev/ttyS0");
        ports.push_back("/dev/ttyS1");
    }
    return ports;
}
