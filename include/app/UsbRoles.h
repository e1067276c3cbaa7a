#ifndef TARNEL_USBROLES_H
#define TARNEL_USBROLES_H

// What each tty of a known USB modem is for, and which USB drivers make one
// modem of a device's ttys.

#include "UsbPlace.h"

enum TtyRole_t
{
    ROLE_UNKNOWN,     // the device is not in the table: its ttys are probed
    ROLE_AT_PRIMARY,  // the AT port where the modem sends its unsolicited lines by default
    ROLE_AT_SECOND,   // another port that takes AT commands (often the data port)
    ROLE_NOT_AT,      // diagnostics, GPS, audio: never opened
};

// The role of the interface of `place` from the table; ROLE_UNKNOWN for a
// device not in it, ROLE_NOT_AT for an interface of a known device that the
// table does not list as an AT port.
TtyRole_t UsbTtyRole(const UsbPlace_t& place);

// Whether the device of `place` is in the table.
bool IsKnownUsbModem(const UsbPlace_t& place);

// Whether the ttys of the USB device of `place` belong to one modem: the
// device is in the table or its driver is one that drives modems (option,
// qcserial, sierra, cdc_acm and the like). The ttys of a USB-serial bridge
// (ftdi_sio, cp210x, ch341, pl2303: 4 to 8 independent modems behind one
// device) are not grouped; neither are those of an unknown place.
bool GroupsUsbTtys(const UsbPlace_t& place);

#endif
