#ifndef TARNEL_MODEMDOCUMENTS_H
#define TARNEL_MODEMDOCUMENTS_H

// The members that say which modem a JSON object is about, and the modem
// objects of the scan document.

#include <string>

#include "PortRecords.h"

namespace Json { class Value; }  // json/value.h
struct ModemHealth_t;

// Adds "imei", "iccid" and "usb" (the USB position) to `object`; empty
// strings where they are not known.
void AddIdentityMembers(Json::Value& object, const std::string& imei, const std::string& iccid,
                        const std::string& usb);

// Adds what a modem's health tells, in English words that stay the same
// release after release: "sim", "registration" ("radio off" when the radio is
// off and nothing registered), "operator" (its name, "" when not known),
// "technology", "dbm" (a number from the +CSQ answer `csq`, null when the
// signal is not known) and "quality". A modem never asked gives "unknown"
// words, "" and null.
void AddHealthMembers(Json::Value& object, const ModemHealth_t& health, const std::string& csq);

// One modem of the scan document from its device-table entry: "name" (its
// AT port's short name), "ttys" (short names of all its ttys), "second"
// (its second AT port or ""), "usb", "usbvendor", "usbproduct", "usbserial",
// "model" (the name of the model its ATI answer matched, "" for none),
// "baud", "imei", "iccid", "signal", "usable" (`usable`) and the members of
// AddHealthMembers (`health`). Other workflows may add members to the object
// it returns.
Json::Value ScanModemObject(const Win32::CommInfo& entry, bool usable, const ModemHealth_t& health);

#endif
