// Port discovery: the candidate device paths and the names users type for them.
#include "PortDiscovery.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

#include "CCheckManager.h"
#include "StringUtil.h"
#include "UsbRoles.h"
#include "basic.h"

namespace {

// Link hops followed when telling which links pass through which node; the
// kernel's own limit for one path.
const int MAX_LINK_HOPS = 40;

// A listed path and the device it names.
struct ListedNode_t
{
    std::string path;
    bool device = false;  // stat() found a character device
    dev_t rdev = 0;
    bool link = false;    // the path itself is a symbolic link
};

ListedNode_t Examine(const std::string& path)
{
    ListedNode_t node;
    node.path = path;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
        node.device = true;
        node.rdev = st.st_rdev;
    }
    node.link = lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    return node;
}

bool IsDevice(const std::string& path, dev_t rdev)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev;
}

// Identity of a directory entry itself (a link, not what it points to).
bool SameEntry(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return lstat(a.c_str(), &sa) == 0 && lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Whether resolving the link `from` passes through the entry `via`.
bool LinkPassesThrough(const std::string& from, const std::string& via)
{
    std::string at = from;
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        char target[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            return false;  // not a link (any more): the chain ends
        }
        const std::string next(target, static_cast<std::size_t>(n));
        at = next[0] == '/' ? next : at.substr(0, at.rfind('/') + 1) + next;
        if (SameEntry(at, via)) {
            return true;
        }
    }
    return false;
}

// The kernel's name of the device `rdev` that the listed `names` share, as
// a path under `devRoot`; see OneNamePerDevice.
std::string KernelName(const std::vector<ListedNode_t>& names, dev_t rdev, const std::string& sysRoot,
                       const std::string& devRoot)
{
    const std::string entry =
        sysRoot + "/dev/char/" + std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev));
    char resolved[PATH_MAX];
    if (realpath(entry.c_str(), resolved) != nullptr) {
        const std::string real(resolved);
        const std::string path = devRoot + "/" + real.substr(real.rfind('/') + 1);
        if (IsDevice(path, rdev)) {
            return path;
        }
    }
    for (const ListedNode_t& node : names) {
        if (!node.link) {
            return node.path;
        }
    }
    for (const ListedNode_t& node : names) {
        const bool passedByAll = std::all_of(names.begin(), names.end(), [&](const ListedNode_t& other) {
            return &other == &node || LinkPassesThrough(other.path, node.path);
        });
        if (passedByAll) {
            return node.path;
        }
    }
    return names.front().path;
}

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

std::string PortPathOfId(const std::string& id)
{
    return "/dev/tty" + id;
}

std::vector<std::string> OneNamePerDevice(const std::vector<std::string>& listed, const std::string& sysRoot,
                                          const std::string& devRoot)
{
    std::vector<ListedNode_t> nodes;
    for (const std::string& path : listed) {
        nodes.push_back(Examine(path));
    }
    // (place in the listing, name), one per device and per path that names none.
    std::vector<std::pair<std::size_t, std::string>> kept;
    std::vector<bool> grouped(nodes.size(), false);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (!nodes[i].device) {
            kept.emplace_back(i, nodes[i].path);  // missing or no device: tried as listed
            continue;
        }
        if (grouped[i]) {
            continue;
        }
        std::vector<ListedNode_t> names;
        std::vector<std::size_t> places;
        for (std::size_t j = i; j < nodes.size(); ++j) {
            if (nodes[j].device && nodes[j].rdev == nodes[i].rdev) {
                grouped[j] = true;
                names.push_back(nodes[j]);
                places.push_back(j);
            }
        }
        const std::string name = KernelName(names, nodes[i].rdev, sysRoot, devRoot);
        // Listed where its own name is, else where the device first appears.
        std::size_t place = i;
        for (std::size_t k = 0; k < names.size(); ++k) {
            if (names[k].path == name) {
                place = places[k];
            }
        }
        kept.emplace_back(place, name);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const std::pair<std::size_t, std::string>& a, const std::pair<std::size_t, std::string>& b) {
                         return a.first < b.first;
                     });
    std::vector<std::string> ports;
    for (const std::pair<std::size_t, std::string>& entry : kept) {
        ports.push_back(entry.second);
    }
    return ports;
}

std::string CandidateOfPath(const std::string& path, const std::vector<std::string>& candidates)
{
    if (std::find(candidates.begin(), candidates.end(), path) != candidates.end()) {
        return path;
    }
    const ListedNode_t node = Examine(path);
    if (!node.device) {
        return std::string();
    }
    for (const std::string& candidate : candidates) {
        if (IsDevice(candidate, node.rdev)) {
            return candidate;
        }
    }
    return std::string();
}

std::vector<std::string> CCheckManager::GetAllComPort()
{
    std::vector<std::string> ports;
    for (const std::string& path : ListCandidatePorts()) {
        // Opening an unrelated ACM device (a microcontroller board) resets it:
        // only known modems, unless set.ini asks for every one.
        const bool acm = GetPortId(path).compare(0, 3, "ACM") == 0;
        if (!acm || g_nAcmPorts != 0 || IsKnownUsbModem(UsbPlaceOfTty(path))) {
            ports.push_back(path);
        }
    }
    return ports;
}

std::vector<std::string> CCheckManager::ListCandidatePorts()
{
    std::vector<std::string> ports;
    AppendListedPorts("ls /dev/ttyUSB* 2> /dev/null", ports);
    AppendListedPorts("ls /dev/ttyACM* 2> /dev/null", ports);
    AppendListedPorts("ls /dev/ttyAMA* 2> /dev/null", ports);
    // On-board UARTs: listed whether or not they exist, unless set.ini says
    // they have nothing attached (a silent one costs a scan its whole bound).
    if (g_nFixedPorts != 0) {
        ports.push_back("/dev/ttyS0");
        ports.push_back("/dev/ttyS1");
    }
    // A second name of a device would be examined, locked and listed as a
    // port of its own, behind the back of a program holding the first.
    return OneNamePerDevice(ports);
}
