// Which ttys of a scan are one modem: per-tty detection records in, modems out.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ModemGroups.h"
#include "PortSelection.h"

namespace {

// One tty as detection leaves it.
struct Tty_t
{
    const char* name;      // after /dev/tty
    const char* position;  // USB position, "" when sysfs tells nothing
    const char* vendor;    // "2c7c" is in the role table, "2c7d" is not
    int interfaceNumber;
    const char* driver;
    bool recognised;
    const char* imei;
    const char* iccid;
    bool busy;
};

DeviceBaseComInfo RecordOf(const Tty_t& tty)
{
    DeviceBaseComInfo record;
    std::strncpy(record.szPortName, (std::string("/dev/tty") + tty.name).c_str(), sizeof record.szPortName - 1);
    std::strncpy(record.szSerialNumber, tty.imei, sizeof record.szSerialNumber - 1);
    std::strncpy(record.szSmsCardNumber, tty.iccid, sizeof record.szSmsCardNumber - 1);
    record.bAtOk = tty.recognised;
    record.bChecked = !tty.busy;
    record.bBusy = tty.busy;
    record.usb.position = tty.position;
    if (*tty.position != '\0') {
        record.usb.vendor = tty.vendor;
        record.usb.product = "0125";
        record.usb.interfaceNumber = tty.interfaceNumber;
        record.usb.driver = tty.driver;
    }
    return record;
}

struct GroupRow_t
{
    const char* name;
    std::vector<Tty_t> ttys;
    // Each modem as "<listed under> [<other AT ports>] (<all ttys>)".
    std::vector<std::string> modems;
};

std::string Describe(const std::vector<DeviceBaseComInfo>& records, const ModemGroup_t& modem)
{
    const auto name = [&](std::size_t i) { return std::string(records[i].szPortName).substr(8); };
    std::string text = name(modem.primary) + " [";
    for (const std::size_t i : modem.otherAt) {
        text += (text.back() == '[' ? "" : " ") + name(i);
    }
    text += "] (";
    for (const std::size_t i : modem.ttys) {
        text += (text.back() == '(' ? "" : " ") + name(i);
    }
    return text + ")";
}

const char* const A = "860000000000013";
const char* const B = "860000000000021";
const char* const SIM1 = "89860000000000000013";
const char* const SIM2 = "89860000000000000021";

class ModemGroups : public ::testing::TestWithParam<GroupRow_t>
{
};

TEST_P(ModemGroups, TtysBecomeModems)
{
    std::vector<DeviceBaseComInfo> records;
    for (const Tty_t& tty : GetParam().ttys) {
        records.push_back(RecordOf(tty));
    }
    std::vector<std::string> found;
    for (const ModemGroup_t& modem : GroupModems(records)) {
        found.push_back(Describe(records, modem));
    }
    EXPECT_EQ(found, GetParam().modems);
}

const std::vector<GroupRow_t> GROUP_ROWS = {
    {"KnownModemListedUnderItsAtPort",
     {{"USB0", "1-1.3", "2c7c", 0, "option", false, "", "", false},
      {"USB1", "1-1.3", "2c7c", 1, "option", false, "", "", false},
      {"USB2", "1-1.3", "2c7c", 2, "option", true, A, SIM1, false},
      {"USB3", "1-1.3", "2c7c", 3, "option", true, A, SIM1, false}},
     {"USB2 [USB3] (USB0 USB1 USB2 USB3)"}},
    {"KnownModemSecondPortAloneAnswering",
     {{"USB2", "1-1.3", "2c7c", 2, "option", false, "", "", false},
      {"USB3", "1-1.3", "2c7c", 3, "option", true, A, SIM1, false}},
     {"USB3 [] (USB2 USB3)"}},
    {"UnknownModemLowestRecognisedInterface",
     {{"USB4", "1-2", "2c7d", 3, "option", true, A, SIM1, false},
      {"USB5", "1-2", "2c7d", 1, "option", true, A, SIM1, false},
      {"USB6", "1-2", "2c7d", 0, "option", false, "", "", false}},
     {"USB5 [USB4] (USB4 USB5 USB6)"}},
    {"UnknownSilentDeviceIsEachTtyAlone",
     {{"USB0", "1-2", "2c7d", 0, "option", false, "", "", false},
      {"USB1", "1-2", "2c7d", 1, "option", false, "", "", false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"KnownSilentDeviceIsOneModem",
     {{"USB0", "1-1.3", "2c7c", 0, "option", false, "", "", false},
      {"USB2", "1-1.3", "2c7c", 2, "option", false, "", "", false},
      {"USB3", "1-1.3", "2c7c", 3, "option", false, "", "", false}},
     {"USB2 [] (USB0 USB2 USB3)"}},
    {"BusyModemIsOneRow",
     {{"USB0", "1-2", "2c7d", 0, "option", false, "", "", true},
      {"USB1", "1-2", "2c7d", 1, "option", false, "", "", true}},
     {"USB0 [] (USB0 USB1)"}},
    {"BridgePortsAreModemsOfTheirOwn",
     {{"USB0", "2-1", "1a86", 0, "ch341", true, A, SIM1, false},
      {"USB1", "2-1", "1a86", 1, "ch341", true, B, SIM2, false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"DifferentImeisOnOneDeviceAreTwoModems",
     {{"USB0", "1-2", "2c7d", 0, "option", true, A, SIM1, false},
      {"USB1", "1-2", "2c7d", 1, "option", true, B, SIM2, false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"SameImeiAndIccidWithoutSysfsIsOneModem",
     {{"USB0", "", "", 0, "", true, A, SIM1, false},
      {"USB1", "", "", 0, "", true, B, SIM2, false},
      {"USB2", "", "", 0, "", true, A, SIM1, false}},
     {"USB0 [USB2] (USB0 USB2)", "USB1 [] (USB1)"}},
    {"BothWithoutSimCountAsTheSame",
     {{"USB0", "", "", 0, "", true, A, "", false}, {"USB1", "", "", 0, "", true, A, "", false}},
     {"USB0 [USB1] (USB0 USB1)"}},
    {"SameImeiOtherSimStaysTwo",
     {{"USB0", "", "", 0, "", true, A, SIM1, false}, {"USB1", "", "", 0, "", true, A, SIM2, false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"SameIdentityOnTwoUsbDevicesStaysTwo",
     {{"USB0", "2-1", "1a86", 0, "ch341", true, A, SIM1, false},
      {"USB1", "2-2", "1a86", 0, "ch341", true, A, SIM1, false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"UnknownImeiIsNeverAnIdentity",
     {{"USB0", "", "", 0, "", true, "", SIM1, false}, {"USB1", "", "", 0, "", true, "", SIM1, false}},
     {"USB0 [] (USB0)", "USB1 [] (USB1)"}},
    {"NothingScanned", {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Rows, ModemGroups, ::testing::ValuesIn(GROUP_ROWS),
                         [](const ::testing::TestParamInfo<GroupRow_t>& info) { return std::string(info.param.name); });

struct ItemRow_t
{
    const char* typed;
    bool accepted;
    std::vector<PortItem_t::Kind_t> kinds;
    std::vector<std::string> values;
    const char* errorPart;  // a part of the error text of a refused list
};

TEST(PortItems, EachFormAndEachBadOne)
{
    const ItemRow_t rows[] = {
        {"USB3", true, {PortItem_t::BY_NAME}, {"USB3"}, ""},
        {"ACM0,,USB1", true, {PortItem_t::BY_NAME, PortItem_t::BY_NAME}, {"ACM0", "USB1"}, ""},
        {"imei:860000000000013", true, {PortItem_t::BY_IMEI}, {"860000000000013"}, ""},
        {"iccid:8986000000000000001F", true, {PortItem_t::BY_ICCID}, {"8986000000000000001"}, ""},
        {"iccid:89860000000000000013", true, {PortItem_t::BY_ICCID}, {"89860000000000000013"}, ""},
        {"usb:1-1.3", true, {PortItem_t::BY_USB}, {"1-1.3"}, ""},
        {"usb:3-10", true, {PortItem_t::BY_USB}, {"3-10"}, ""},
        {"/dev/ttyUSB97", true, {PortItem_t::BY_PATH}, {"/dev/ttyUSB97"}, ""},  // not there: an unknown port
        {"/dev/tty", true, {PortItem_t::BY_PATH}, {"/dev/tty"}, ""},
        {"imei:", false, {}, {}, "imei:: digits expected"},
        {"imei:86000a", false, {}, {}, "imei:86000a: digits expected"},
        {"iccid:F", false, {}, {}, "iccid:F: digits expected"},
        {"usb:", false, {}, {}, "usb:: a USB position"},
        {"usb:1-", false, {}, {}, "a USB position"},
        {"usb:1-1..3", false, {}, {}, "a USB position"},
        {"USB0,serial:123", false, {}, {}, "serial:123: unknown kind"},
        {"/tmp/ttyUSB0", false, {}, {}, "not under /dev/"},
        {"/dev/../etc/passwd", false, {}, {}, "not under /dev/"},
        {"/dev/..", false, {}, {}, "not under /dev/"},
        {"/dev/null", false, {}, {}, "/dev/null: not a tty"},
        {"/dev/", false, {}, {}, "not a tty"},
        {"serial/by-id/x", false, {}, {}, "must begin with /dev/"},
    };
    for (const ItemRow_t& row : rows) {
        std::vector<PortItem_t> items;
        std::string error;
        EXPECT_EQ(ParsePortList(row.typed, items, error), row.accepted) << row.typed;
        if (!row.accepted) {
            EXPECT_NE(error.find(row.errorPart), std::string::npos) << row.typed << ": " << error;
            continue;
        }
        ASSERT_EQ(items.size(), row.kinds.size()) << row.typed;
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].kind, row.kinds[i]) << row.typed;
            EXPECT_EQ(items[i].value, row.values[i]) << row.typed;
        }
    }
}

TEST(PortItems, IdentityItemMatchingTwoModemsIsRefused)
{
    std::vector<Win32::CommInfo> entries(3);
    const char* const imeis[] = {A, A, B};
    const char* const sims[] = {SIM1, SIM2, "89860000000000000031FF"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].bAtOk = true;
        entries[i].strPortName = "/dev/ttyUSB" + std::to_string(i);
        entries[i].strSerialNumber = imeis[i];
        entries[i].strSmsCardNumber = sims[i];
        entries[i].modem.all = {entries[i].strPortName};
        entries[i].modem.usb.position = i < 2 ? "2-1" : "1-1.3";
    }
    const struct
    {
        const char* typed;
        const char* candidate;
        int modem;
    } rows[] = {
        {"imei:860000000000021", "", 2},   {"iccid:89860000000000000031", "", 2}, {"iccid:8986000000000000003", "", -1},
        {"usb:1-1.3", "", 2},              {"usb:9-9", "", -1},                   {"USB1", "/dev/ttyUSB1", 1},
        {"imei:860000000000013", "", -2},  {"usb:2-1", "", -2},                   {"imei:1", "", -1},
    };
    for (const auto& row : rows) {
        std::vector<PortItem_t> items;
        std::string error;
        ASSERT_TRUE(ParsePortList(row.typed, items, error)) << row.typed;
        EXPECT_EQ(ModemOfItem(items.front(), row.candidate, entries, error), row.modem) << row.typed;
        if (row.modem == -2) {
            EXPECT_EQ(error, std::string(row.typed) + ": names 2 modems");
        }
    }
}

}  // namespace
