#ifndef TARNEL_USBPLACE_H
#define TARNEL_USBPLACE_H

// Where a tty sits on USB, read from sysfs as the kernel shows it, without
// udev: the USB device it belongs to (its kernel name is the socket the modem
// sits in, stable across renumbering) and the interface it is made from.

#include <string>

struct UsbPlace_t
{
    std::string position;     // kernel name of the USB device, "1-1.3"; empty: not on USB as far as we can tell
    std::string vendor;       // idVendor, lower-case hex as sysfs writes it ("2c7c")
    std::string product;      // idProduct
    std::string serial;       // the device's serial string; empty when it has none
    std::string driver;       // the interface's driver ("option", "cdc_acm", "ch341")
    int interfaceNumber = -1; // bInterfaceNumber

    bool Known() const { return !position.empty(); }
};

// The USB place of the tty `devPath` (a /dev path under its kernel name).
// Read only when `sysRoot`/class/tty/<name>/dev holds the device number of
// the node (st_rdev): a pseudo-terminal behind a link of that name, a missing
// entry or one for another device gives an unknown place. From the resolved
// `sysRoot`/class/tty/<name>/device the walk goes up to the first folder
// holding bInterfaceNumber (for ttyACM the device folder itself), then on up
// to the first holding idVendor, never leaving `sysRoot`. Any step that
// fails (no such file, a link loop, an odd value) gives an unknown place.
UsbPlace_t UsbPlaceOfTty(const std::string& devPath, const std::string& sysRoot = "/sys");

#endif
