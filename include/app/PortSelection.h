#ifndef TARNEL_PORTSELECTION_H
#define TARNEL_PORTSELECTION_H

// The items of a port list: which modems a user or a script means. An item
// is a short name ("USB3", "ACM0"), a device path or any link to one
// ("/dev/ttyUSB3", "/dev/serial/by-id/..."), "imei:<digits>",
// "iccid:<digits>" (a trailing padding F ignored) or "usb:<position>"
// ("usb:1-1.3"). Any tty of a modem selects the modem.

#include <string>
#include <vector>

#include "PortRecords.h"

struct PortItem_t
{
    enum Kind_t
    {
        BY_NAME,   // a short name: the text after "tty"
        BY_PATH,   // a path under /dev (a node or a link to one)
        BY_IMEI,
        BY_ICCID,
        BY_USB,
    };
    Kind_t kind = BY_NAME;
    std::string text;   // as typed
    std::string value;  // the name, the path, the digits (an ICCID without its padding) or the position

    // Whether the item names a modem by what it is rather than where it is.
    bool IsIdentity() const { return kind == BY_IMEI || kind == BY_ICCID; }
};

// The items of a typed list (separated by commas, spaces or semicolons;
// empty items skipped), in typed order. False, with `error` naming the item
// and what is wrong with it, for an identity item without a value or with
// other than digits, an unknown prefix, a position that is not one, a path
// outside /dev, and a path that exists but is no tty (a link to a plain file,
// a directory, another kind of device); `items` then holds the items before it.
bool ParsePortList(const std::string& typed, std::vector<PortItem_t>& items, std::string& error);

// A value a modem reported as the table shows it: without the quotes and
// blanks some modems put around it.
std::string IdentityText(const std::string& value);

// An ICCID as compared: without the padding F (or f) at its end.
std::string IccidWithoutPadding(std::string iccid);

// The candidate paths a scan for `items` examines, in the order of
// `candidates` (every path an item may name): the candidates a name or path
// item names and those on the same USB modem (GroupsUsbTtys), those at a
// usb: item's position, and, when an identity item is among them, every one
// of `scanned` (what a scan without a list examines: an identity may be
// anywhere, but an unrelated ACM device is not to be opened for it).
// `nameOf(item)` gives the candidate a name or path item names, "" for none.
std::vector<std::string> PathsToExamine(const std::vector<PortItem_t>& items,
                                        const std::vector<std::string>& candidates,
                                        const std::vector<std::string>& scanned,
                                        std::string (*nameOf)(const PortItem_t&, const std::vector<std::string>&));

// The index in `entries` (one per modem) of the modem `item` names; -1 when
// none does; -2 when it names more than one (an identity or usb: item that
// fits two modems; `error` then says so). A name or path item names the
// modem among whose ttys `candidate` is.
int ModemOfItem(const PortItem_t& item, const std::string& candidate, const std::vector<Win32::CommInfo>& entries,
                std::string& error);

#endif
