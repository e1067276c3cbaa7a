#include "PortSelection.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

#include "StringUtil.h"
#include "UsbRoles.h"

namespace {

const char* const IMEI_PREFIX = "imei:";
const char* const ICCID_PREFIX = "iccid:";
const char* const USB_PREFIX = "usb:";
const char* const DEV_FOLDER = "/dev/";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "1-1.3": a bus number, '-', port numbers parted by dots.
bool IsPosition(const std::string& text)
{
    const std::string::size_type dash = text.find('-');
    if (dash == std::string::npos || dash == 0 || !AllDigits(text.substr(0, dash))) {
        return false;
    }
    const std::vector<std::string> ports = SplitStringByChar(text.substr(dash + 1), '.');
    return !ports.empty() && text.back() != '.' &&
           std::all_of(ports.begin(), ports.end(), [](const std::string& port) { return AllDigits(port); });
}

// Items of a typed list: spaces and semicolons count as commas.
std::vector<std::string> SplitTypedList(const std::string& text)
{
    return SplitStringByChar(StringReplaceChar(StringReplaceChar(text, ' ', ','), ';', ','), ',');
}

bool ParseItem(const std::string& text, PortItem_t& item, std::string& error)
{
    item.text = text;
    const struct
    {
        const char* prefix;
        PortItem_t::Kind_t kind;
    } identities[] = {{IMEI_PREFIX, PortItem_t::BY_IMEI}, {ICCID_PREFIX, PortItem_t::BY_ICCID}};
    for (const auto& identity : identities) {
        if (StartsWith(text, identity.prefix)) {
            item.kind = identity.kind;
            item.value = text.substr(std::char_traits<char>::length(identity.prefix));
            if (item.kind == PortItem_t::BY_ICCID) {
                item.value = IccidWithoutPadding(item.value);
            }
            if (!AllDigits(item.value)) {
                error = text + ": digits expected after \"" + identity.prefix + "\"";
                return false;
            }
            return true;
        }
    }
    if (StartsWith(text, USB_PREFIX)) {
        item.kind = PortItem_t::BY_USB;
        item.value = text.substr(std::char_traits<char>::length(USB_PREFIX));
        if (!IsPosition(item.value)) {
            error = text + ": a USB position such as \"usb:1-1.3\" expected";
            return false;
        }
        return true;
    }
    if (text.find(':') != std::string::npos) {
        error = text + ": unknown kind of item (imei:, iccid:, usb:, a port name or a path)";
        return false;
    }
    if (text[0] != '/') {
        item.kind = PortItem_t::BY_NAME;
        item.value = text;
        if (text.find('/') != std::string::npos) {
            error = text + ": a path must begin with " + DEV_FOLDER;
            return false;
        }
        return true;
    }
    item.kind = PortItem_t::BY_PATH;
    item.value = text;
    // "/dev/../etc/passwd" is not under /dev either.
    if (!StartsWith(text, DEV_FOLDER) || text.find("/../") != std::string::npos ||
        text.compare(text.size() - 3, 3, "/..") == 0) {
        error = text + ": not under " + DEV_FOLDER;
        return false;
    }
    struct stat st;
    if (lstat(text.c_str(), &st) != 0) {
        return true;  // nothing there: an unknown port, as an unknown name is
    }
    char resolved[PATH_MAX];
    // A tty by its name, or a pseudo-terminal (what a test bench links its
    // modems to); /dev/null and the like are not.
    const bool tty = realpath(text.c_str(), resolved) != nullptr && stat(resolved, &st) == 0 &&
                     S_ISCHR(st.st_mode) && StartsWith(resolved, DEV_FOLDER) &&
                     (std::string(resolved).find("/tty") != std::string::npos || StartsWith(resolved, "/dev/pts/"));
    if (!tty) {
        error = text + ": not a tty under " + DEV_FOLDER;
        return false;
    }
    return true;
}

}  // namespace

std::string IdentityText(const std::string& value)
{
    return TrimAllChar(TrimAllChar(TrimAllChar(value, '"'), ' '), '"');
}

std::string IccidWithoutPadding(std::string iccid)
{
    while (!iccid.empty() && (iccid.back() == 'F' || iccid.back() == 'f')) {
        iccid.pop_back();
    }
    return iccid;
}

bool ParsePortList(const std::string& typed, std::vector<PortItem_t>& items, std::string& error)
{
    items.clear();
    for (const std::string& text : SplitTypedList(typed)) {
        // An empty item would name "/dev/tty", the controlling terminal.
        if (text.empty()) {
            continue;
        }
        PortItem_t item;
        if (!ParseItem(text, item, error)) {
            return false;
        }
        items.push_back(item);
    }
    return true;
}

std::vector<std::string> PathsToExamine(const std::vector<PortItem_t>& items,
                                        const std::vector<std::string>& candidates,
                                        const std::vector<std::string>& scanned,
                                        std::string (*nameOf)(const PortItem_t&, const std::vector<std::string>&))
{
    const bool identity =
        std::any_of(items.begin(), items.end(), [](const PortItem_t& item) { return item.IsIdentity(); });
    std::vector<UsbPlace_t> places;
    for (const std::string& path : candidates) {
        places.push_back(UsbPlaceOfTty(path));
    }
    std::vector<bool> chosen(candidates.size(), false);
    for (std::size_t i = 0; i < candidates.size() && identity; ++i) {
        chosen[i] = std::find(scanned.begin(), scanned.end(), candidates[i]) != scanned.end();
    }
    const auto choosePosition = [&](const std::string& position) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (places[i].Known() && places[i].position == position) {
                chosen[i] = true;
            }
        }
    };
    for (const PortItem_t& item : items) {
        if (item.kind == PortItem_t::BY_USB) {
            choosePosition(item.value);
            continue;
        }
        const std::string named = nameOf(item, candidates);
        const auto at = std::find(candidates.begin(), candidates.end(), named);
        if (at == candidates.end()) {
            continue;
        }
        const std::size_t i = static_cast<std::size_t>(at - candidates.begin());
        chosen[i] = true;
        // Its modem's other ttys: the modem is grouped, locked and chosen whole.
        if (GroupsUsbTtys(places[i])) {
            choosePosition(places[i].position);
        }
    }
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (chosen[i]) {
            paths.push_back(candidates[i]);
        }
    }
    return paths;
}

int ModemOfItem(const PortItem_t& item, const std::string& candidate, const std::vector<Win32::CommInfo>& entries,
                std::string& error)
{
    std::vector<int> found;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Win32::CommInfo& entry = entries[i];
        bool fits = false;
        switch (item.kind) {
        case PortItem_t::BY_NAME:
        case PortItem_t::BY_PATH:
            fits = !candidate.empty() &&
                   (entry.strPortName == candidate ||
                    std::find(entry.modem.all.begin(), entry.modem.all.end(), candidate) != entry.modem.all.end());
            break;
        case PortItem_t::BY_IMEI:
            fits = entry.bAtOk && IdentityText(entry.strSerialNumber) == item.value;
            break;
        case PortItem_t::BY_ICCID:
            fits = entry.bAtOk && !IdentityText(entry.strSmsCardNumber).empty() &&
                   IccidWithoutPadding(IdentityText(entry.strSmsCardNumber)) == item.value;
            break;
        case PortItem_t::BY_USB:
            fits = entry.modem.usb.Known() && entry.modem.usb.position == item.value;
            break;
        }
        if (fits) {
            found.push_back(static_cast<int>(i));
        }
    }
    if (found.size() > 1) {
        error = item.text + ": names " + std::to_string(found.size()) + " modems";
        return -2;
    }
    return found.empty() ? -1 : found.front();
}
