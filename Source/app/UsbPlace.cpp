// The USB place of a tty from sysfs: class/tty/<name> -> interface -> device.
#include "UsbPlace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Folders between a tty's device folder and its USB device: the usb-serial
// port, the interface, the device; a few more leave room for odd drivers.
const int MAX_LEVELS_UP = 8;

// The first line of a sysfs attribute, without its line end; empty when it
// cannot be read. Attributes are short: more than a line is not read.
std::string ReadAttribute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::string();
    }
    if (line.size() > 128) {
        return std::string();
    }
    return line;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string Resolved(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string LastPart(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

std::string Parent(const std::string& path)
{
    const std::string::size_type at = path.rfind('/');
    return at == std::string::npos || at == 0 ? std::string("/") : path.substr(0, at);
}

// From `start` upwards, the first folder that holds `member`, staying below
// `root`; empty when none does within MAX_LEVELS_UP.
std::string UpTo(const std::string& start, const char* member, const std::string& root)
{
    std::string at = start;
    for (int level = 0; level <= MAX_LEVELS_UP; ++level) {
        if (at.size() <= root.size() || at.compare(0, root.size() + 1, root + "/") != 0) {
            return std::string();
        }
        if (Exists(at + "/" + member)) {
            return at;
        }
        at = Parent(at);
    }
    return std::string();
}

// "maj:min" as sysfs writes a dev attribute; false for anything else.
bool ParseDevNumber(const std::string& text, dev_t& number)
{
    const std::string::size_type colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) {
            return false;
        }
    }
    if (colon > 9 || text.size() - colon - 1 > 9) {
        return false;
    }
    const unsigned long majorNumber = std::strtoul(text.substr(0, colon).c_str(), nullptr, 10);
    const unsigned long minorNumber = std::strtoul(text.substr(colon + 1).c_str(), nullptr, 10);
    number = makedev(majorNumber, minorNumber);
    return true;
}

// bInterfaceNumber is two hex digits; -1 for anything else.
int ParseInterfaceNumber(const std::string& text)
{
    if (text.empty() || text.size() > 2) {
        return -1;
    }
    int value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// A USB id as sysfs writes it: four hex digits, kept in lower case.
bool LowerHexId(std::string& id)
{
    if (id.size() != 4) {
        return false;
    }
    for (char& c : id) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// A USB device's kernel name: bus, '-', then the ports on the way ("1-1.3").
bool IsUsbPosition(const std::string& name)
{
    const std::string::size_type dash = name.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= name.size() || name.size() > 32) {
        return false;
    }
    for (std::string::size_type i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool digit = c >= '0' && c <= '9';
        if (!(digit || (i > dash && c == '.' && name[i - 1] != '.' && name[i - 1] != '-')) && i != dash) {
            return false;
        }
    }
    return name.back() != '.';
}

}  // namespace

UsbPlace_t UsbPlaceOfTty(const std::string& devPath, const std::string& sysRoot)
{
    const UsbPlace_t unknown;
    const std::string name = LastPart(devPath);
    const std::string root = Resolved(sysRoot);
    struct stat node;
    if (name.empty() || root.empty() || stat(devPath.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        return unknown;
    }
    const std::string entry = sysRoot + "/class/tty/" + name;
    dev_t listed = 0;
    // A name the kernel gave another device (a pseudo-terminal linked at
    // /dev/ttyUSB0) must not borrow that device's place.
    if (!ParseDevNumber(ReadAttribute(entry + "/dev"), listed) || listed != node.st_rdev) {
        return unknown;
    }
    const std::string device = Resolved(entry + "/device");
    if (device.empty()) {
        return unknown;
    }
    const std::string interface = UpTo(device, "bInterfaceNumber", root);
    if (interface.empty()) {
        return unknown;
    }
    const std::string usb = UpTo(Parent(interface), "idVendor", root);
    if (usb.empty()) {
        return unknown;
    }
    UsbPlace_t place;
    place.interfaceNumber = ParseInterfaceNumber(ReadAttribute(interface + "/bInterfaceNumber"));
    place.vendor = ReadAttribute(usb + "/idVendor");
    place.product = ReadAttribute(usb + "/idProduct");
    if (place.interfaceNumber < 0 || !LowerHexId(place.vendor) || !LowerHexId(place.product) ||
        !IsUsbPosition(LastPart(usb))) {
        return unknown;
    }
    place.serial = ReadAttribute(usb + "/serial");
    const std::string driver = Resolved(interface + "/driver");
    place.driver = driver.empty() ? std::string() : LastPart(driver);
    place.position = LastPart(usb);
    return place;
}
