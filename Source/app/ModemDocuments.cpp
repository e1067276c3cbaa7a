#include "ModemDocuments.h"

#include <json/json.h>

#include "CreatePhone.h"
#include "ModemHealth.h"
#include "PortDiscovery.h"
#include "PortSelection.h"

namespace {

// The name of the model an ATI answer names, as its class is named without
// "CPhone_" ("EC20F", "MH5000"; the display name of the MH5000 is a type
// string); "" for none.
std::string ModelName(const std::string& atiAnswer)
{
    const PHONE_TYPE_t type = RecogniseModel(atiAnswer, ModelOrder::Selection);
    const std::string prefix = "CPhone_";
    for (const ModelRow& row : RegisteredModels()) {
        if (row.type == type && type != PHONE_TYPE_BASE) {
            const std::string name = row.className;
            return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
        }
    }
    return std::string();
}

}  // namespace

void AddIdentityMembers(Json::Value& object, const std::string& imei, const std::string& iccid,
                        const std::string& usb)
{
    object["imei"] = IdentityText(imei);
    object["iccid"] = IdentityText(iccid);
    object["usb"] = usb;
}

void AddHealthMembers(Json::Value& object, const ModemHealth_t& health, const std::string& csq)
{
    object["sim"] = SimStateName(health.sim.state);
    object["registration"] = RegistrationName(health);
    object["operator"] = health.operatorKnown ? health.operatorName : std::string();
    object["technology"] = TechnologyName(HealthTechnology(health));
    const SignalHealth_t signal = ParseSignal(csq);
    object["dbm"] = signal.quality == SIGNAL_UNKNOWN ? Json::Value() : Json::Value(signal.dbm);
    object["quality"] = SignalQualityName(signal.quality);
}

Json::Value ScanModemObject(const Win32::CommInfo& entry, bool usable, const ModemHealth_t& health)
{
    Json::Value modem(Json::objectValue);
    modem["name"] = ShortPortName(entry.strPortName);
    modem["ttys"] = Json::Value(Json::arrayValue);
    for (const std::string& tty : entry.modem.all) {
        modem["ttys"].append(ShortPortName(tty));
    }
    modem["second"] = ShortPortName(entry.modem.Second());
    const UsbPlace_t& usb = entry.modem.usb;
    AddIdentityMembers(modem, entry.strSerialNumber, entry.strSmsCardNumber, usb.position);
    modem["usbvendor"] = usb.vendor;
    modem["usbproduct"] = usb.product;
    modem["usbserial"] = usb.serial;
    modem["model"] = entry.bAtOk ? ModelName(entry.strAtiRsp) : std::string();
    modem["baud"] = BaudRateOf(entry.strBaudRate);
    modem["signal"] = IdentityText(entry.strSignal);
    modem["usable"] = usable;
    AddHealthMembers(modem, health, entry.strSignal);
    return modem;
}
