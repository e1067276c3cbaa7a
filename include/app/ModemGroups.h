#ifndef TARNEL_MODEMGROUPS_H
#define TARNEL_MODEMGROUPS_H

// Which ttys of a scan are one modem: grouped by their USB device where sysfs
// tells and the device is a modem, and by identity (IMEI and ICCID) where it
// does not, so that no SIM is ever used through two ttys at once.

#include <cstddef>
#include <string>
#include <vector>

#include "PortRecords.h"
#include "UsbRoles.h"

// One modem: indices into the scan's per-tty records.
struct ModemGroup_t
{
    std::size_t primary = 0;            // the tty it is listed under: its AT port, or its first tty
    std::vector<std::size_t> otherAt;   // its other recognised AT ports, in port order
    std::vector<std::size_t> ttys;      // all its ttys, in port order, primary included
};

// The ttys of one USB device that the scan examines together, and the key
// the device's probe runs under: "usb-<position>" for ttys of one modem on
// USB (GroupsUsbTtys), else the tty's own path.
std::string ProbeKey(const std::string& path, const UsbPlace_t& place);

// Groups the per-tty `records` of one scan (in port order; the role of each
// is UsbTtyRole of its USB place) into modems, in the order of their primary
// ttys:
// - ttys of one USB modem device (GroupsUsbTtys) are one modem per IMEI among
//   its recognised ttys; its AT port is the recognised one of the table's
//   primary role, else the one with the lowest interface number; the other
//   recognised ones are its other AT ports. Its unrecognised ttys belong to
//   its first modem. A device with no recognised tty is one modem when it is
//   in the role table or another program held it (listed under its primary
//   role, else its first probed tty); otherwise each probed tty is a modem of
//   its own and the never-probed ones belong to the first.
// - Two modems that report the same non-empty IMEI and the same ICCID (both
//   empty counts as the same) are one, unless sysfs shows them on two USB
//   devices: the later one's AT ports become the earlier one's other AT
//   ports. The same IMEI with different ICCIDs stays two modems.
// - A tty of a known non-AT role is never a modem's AT port.
std::vector<ModemGroup_t> GroupModems(const std::vector<DeviceBaseComInfo>& records);

// The device-table entries of `groups`: each is its primary's entry, with
// the modem's ttys (ModemTtys_t) filled in.
std::vector<Win32::CommInfo> ModemEntries(const std::vector<DeviceBaseComInfo>& records,
                                          const std::vector<ModemGroup_t>& groups);

#endif
