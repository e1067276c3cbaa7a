#include "ModemGroups.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

std::string FieldText(const char* field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

std::string Imei(const DeviceBaseComInfo& record)
{
    return FieldText(record.szSerialNumber, sizeof record.szSerialNumber);
}

std::string Iccid(const DeviceBaseComInfo& record)
{
    return FieldText(record.szSmsCardNumber, sizeof record.szSmsCardNumber);
}

bool OnUsbModem(const DeviceBaseComInfo& record)
{
    return GroupsUsbTtys(record.usb);
}

// The modems of one USB modem device whose ttys are `members` (port order).
void GroupDevice(const std::vector<DeviceBaseComInfo>& records, const std::vector<TtyRole_t>& roles,
                 const std::vector<std::size_t>& members, std::vector<ModemGroup_t>& modems)
{
    // Recognised ttys by IMEI, in order of their first appearance.
    std::vector<std::string> imeis;
    std::map<std::string, std::vector<std::size_t>> byImei;
    for (const std::size_t i : members) {
        if (records[i].bAtOk && roles[i] != ROLE_NOT_AT) {
            const std::string imei = Imei(records[i]);
            if (byImei.find(imei) == byImei.end()) {
                imeis.push_back(imei);
            }
            byImei[imei].push_back(i);
        }
    }
    const std::size_t first = modems.size();
    const auto lowerInterface = [&](std::size_t a, std::size_t b) {
        return records[a].usb.interfaceNumber < records[b].usb.interfaceNumber;
    };
    for (const std::string& imei : imeis) {
        std::vector<std::size_t> at = byImei[imei];
        std::stable_sort(at.begin(), at.end(), lowerInterface);
        const auto primary = std::find_if(at.begin(), at.end(), [&](std::size_t i) { return roles[i] == ROLE_AT_PRIMARY; });
        if (primary != at.end()) {
            std::rotate(at.begin(), primary, primary + 1);
        }
        ModemGroup_t modem;
        modem.primary = at.front();
        modem.otherAt.assign(at.begin() + 1, at.end());
        std::sort(modem.otherAt.begin(), modem.otherAt.end());
        modem.ttys = at;
        modems.push_back(modem);
    }
    std::vector<std::size_t> rest;
    for (const std::size_t i : members) {
        if (!(records[i].bAtOk && roles[i] != ROLE_NOT_AT)) {
            rest.push_back(i);
        }
    }
    if (modems.size() == first) {
        const bool busy = std::any_of(members.begin(), members.end(), [&](std::size_t i) { return records[i].bBusy; });
        const bool known = std::any_of(members.begin(), members.end(), [&](std::size_t i) { return roles[i] != ROLE_UNKNOWN; });
        if (!busy && !known) {
            // Nothing tells these ttys apart from separate modems: each probed one is listed.
            std::vector<std::size_t> probed;
            for (const std::size_t i : members) {
                if (records[i].bChecked) {
                    probed.push_back(i);
                }
            }
            for (const std::size_t i : probed) {
                ModemGroup_t modem;
                modem.primary = i;
                modem.ttys = {i};
                modems.push_back(modem);
            }
            if (probed.empty()) {
                return;
            }
            rest.erase(std::remove_if(rest.begin(), rest.end(),
                                      [&](std::size_t i) { return records[i].bChecked; }),
                       rest.end());
        } else {
            // Listed under the table's primary AT port, else its first AT-capable tty.
            std::vector<std::size_t> byInterface = members;
            std::stable_sort(byInterface.begin(), byInterface.end(), lowerInterface);
            const auto pick = [&](bool primaryOnly) {
                return std::find_if(byInterface.begin(), byInterface.end(), [&](std::size_t i) {
                    return primaryOnly ? roles[i] == ROLE_AT_PRIMARY : roles[i] != ROLE_NOT_AT;
                });
            };
            auto chosen = pick(true);
            if (chosen == byInterface.end()) {
                chosen = pick(false);
            }
            ModemGroup_t modem;
            modem.primary = chosen != byInterface.end() ? *chosen : members.front();
            modem.ttys = {modem.primary};
            modems.push_back(modem);
            rest.erase(std::remove(rest.begin(), rest.end(), modem.primary), rest.end());
        }
    }
    ModemGroup_t& owner = modems[first];
    owner.ttys.insert(owner.ttys.end(), rest.begin(), rest.end());
}

bool SameSim(const DeviceBaseComInfo& a, const DeviceBaseComInfo& b)
{
    if (!a.bAtOk || !b.bAtOk || Imei(a).empty() || Imei(a) != Imei(b) || Iccid(a) != Iccid(b)) {
        return false;
    }
    // sysfs shows two USB devices: two modems, however alike they answer.
    return !(a.usb.Known() && b.usb.Known() && a.usb.position != b.usb.position);
}

}  // namespace

std::string ProbeKey(const std::string& path, const UsbPlace_t& place)
{
    return GroupsUsbTtys(place) ? "usb-" + place.position : path;
}

std::vector<ModemGroup_t> GroupModems(const std::vector<DeviceBaseComInfo>& records)
{
    std::vector<TtyRole_t> roles;
    for (const DeviceBaseComInfo& record : records) {
        roles.push_back(UsbTtyRole(record.usb));
    }
    std::vector<ModemGroup_t> modems;
    std::vector<bool> done(records.size(), false);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (done[i]) {
            continue;
        }
        if (!OnUsbModem(records[i])) {
            done[i] = true;
            if (roles[i] == ROLE_NOT_AT) {
                continue;
            }
            ModemGroup_t modem;
            modem.primary = i;
            modem.ttys = {i};
            modems.push_back(modem);
            continue;
        }
        std::vector<std::size_t> members;
        for (std::size_t j = i; j < records.size(); ++j) {
            if (!done[j] && OnUsbModem(records[j]) && records[j].usb.position == records[i].usb.position) {
                members.push_back(j);
                done[j] = true;
            }
        }
        GroupDevice(records, roles, members, modems);
    }
    // One SIM, one sender: a later modem that is the same SIM in the same
    // modem joins the earlier one.
    std::vector<ModemGroup_t> merged;
    for (const ModemGroup_t& modem : modems) {
        const auto same = std::find_if(merged.begin(), merged.end(), [&](const ModemGroup_t& earlier) {
            return SameSim(records[earlier.primary], records[modem.primary]);
        });
        if (same == merged.end()) {
            merged.push_back(modem);
            continue;
        }
        same->otherAt.push_back(modem.primary);
        same->otherAt.insert(same->otherAt.end(), modem.otherAt.begin(), modem.otherAt.end());
        std::sort(same->otherAt.begin(), same->otherAt.end());
        same->ttys.insert(same->ttys.end(), modem.ttys.begin(), modem.ttys.end());
    }
    for (ModemGroup_t& modem : merged) {
        std::sort(modem.ttys.begin(), modem.ttys.end());
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const ModemGroup_t& a, const ModemGroup_t& b) { return a.primary < b.primary; });
    return merged;
}

std::vector<Win32::CommInfo> ModemEntries(const std::vector<DeviceBaseComInfo>& records,
                                          const std::vector<ModemGroup_t>& groups)
{
    std::vector<Win32::CommInfo> entries;
    for (const ModemGroup_t& modem : groups) {
        Win32::CommInfo entry = TableEntryOf(records[modem.primary]);
        entry.modem.all.clear();
        for (const std::size_t i : modem.ttys) {
            entry.modem.all.push_back(FieldText(records[i].szPortName, sizeof records[i].szPortName));
        }
        for (const std::size_t i : modem.otherAt) {
            entry.modem.otherAt.push_back(FieldText(records[i].szPortName, sizeof records[i].szPortName));
        }
        entries.push_back(entry);
    }
    return entries;
}
