#ifndef TARNEL_MODEMDOCUMENTS_H
#define TARNEL_MODEMDOCUMENTS_H

// The members that say which modem a JSON object is about, and the modem
// objects of the scan document.

#include <string>

#include "PortRecords.h"

namespace Json { class Value; }  // json/value.h

// Adds "imei", "iccid" and "usb" (the USB position) to `object`; empty
// strings where they are not known.
void AddIdentityMembers(Json::Value& object, const std::string& imei, const std::string& iccid,
                        const std::string& usb);

// One modem of the scan document from its device-table entry: "name" (its
// AT port's short name), "ttys" (short names of all its ttys), "second"
// (its second AT port or ""), "usb", "usbvendor", "usbproduct", "usbserial",
// "model" (the name of the model its ATI answer matched, "" for none),
// "baud", "imei", "iccid", "signal" and "usable" (`usable`). Other
// workflows may add members to the object it returns.
Json::Value ScanModemObject(const Win32::CommInfo& entry, bool usable);

#endif
