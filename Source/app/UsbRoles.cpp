// The interface roles of the USB modems the supported models come as, written
// from the makers' own documents:
// - Quectel "WCDMA&LTE Linux USB Driver User Guide" (EC20 R2.0/EC25 2c7c:0125,
//   EC21 2c7c:0121): interface 0 DM, 1 NMEA, 2 AT command port, 3 modem (PPP,
//   also takes AT); unsolicited lines go to the AT port by default (the
//   "urcport" setting of the AT manual).
// - SIMCom "SIM7500_SIM7600 Series Linux USB User Guide" (1e0e:9001):
//   interface 0 diagnostics, 1 NMEA, 2 AT port, 3 modem, 4 audio.
#include "UsbRoles.h"

#include <algorithm>
#include <cstring>

namespace {

struct InterfaceRole_t
{
    const char* vendor;
    const char* product;
    int interfaceNumber;
    TtyRole_t role;
};

// Only the AT interfaces are listed; every other interface of a listed
// device is not an AT port.
const InterfaceRole_t INTERFACE_ROLES[] = {
    {"2c7c", "0125", 2, ROLE_AT_PRIMARY}, {"2c7c", "0125", 3, ROLE_AT_SECOND},  // Quectel EC20 R2.0, EC25
    {"2c7c", "0121", 2, ROLE_AT_PRIMARY}, {"2c7c", "0121", 3, ROLE_AT_SECOND},  // Quectel EC21
    {"1e0e", "9001", 2, ROLE_AT_PRIMARY}, {"1e0e", "9001", 3, ROLE_AT_SECOND},  // SIMCom SIM7600
};

// Drivers of USB devices whose ttys are the ports of one modem.
const char* const MODEM_DRIVERS[] = {"option", "qcserial", "sierra", "cdc_acm", "hso", "usb_wwan"};

bool SameDevice(const InterfaceRole_t& row, const UsbPlace_t& place)
{
    return place.vendor == row.vendor && place.product == row.product;
}

}  // namespace

bool IsKnownUsbModem(const UsbPlace_t& place)
{
    return place.Known() && std::any_of(std::begin(INTERFACE_ROLES), std::end(INTERFACE_ROLES),
                                        [&](const InterfaceRole_t& row) { return SameDevice(row, place); });
}

TtyRole_t UsbTtyRole(const UsbPlace_t& place)
{
    if (!IsKnownUsbModem(place)) {
        return ROLE_UNKNOWN;
    }
    for (const InterfaceRole_t& row : INTERFACE_ROLES) {
        if (SameDevice(row, place) && row.interfaceNumber == place.interfaceNumber) {
            return row.role;
        }
    }
    return ROLE_NOT_AT;
}

bool GroupsUsbTtys(const UsbPlace_t& place)
{
    if (!place.Known()) {
        return false;
    }
    return IsKnownUsbModem(place) ||
           std::any_of(std::begin(MODEM_DRIVERS), std::end(MODEM_DRIVERS),
                       [&](const char* driver) { return place.driver == driver; });
}
