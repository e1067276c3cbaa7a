// Where a tty sits on USB, read from a folder laid out as the kernel lays out
// sysfs: each row builds its own tree (the files and links of one tty) and a
// node in a private /dev that is the machine's /dev/null or /dev/zero.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#include "UsbPlace.h"
#include "UsbRoles.h"

namespace {

// The device of /dev/null as sysfs writes a dev attribute.
std::string DevOf(const char* path)
{
    struct stat st;
    EXPECT_EQ(stat(path, &st), 0);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

struct Entry_t
{
    const char* path;    // relative to the scratch folder
    const char* text;    // file content; null for a link
    const char* target;  // link target, for a link
};

struct PlaceRow_t
{
    const char* name;
    std::vector<Entry_t> tree;
    std::string position, vendor, product, serial, driver;
    int interfaceNumber;
};

// A usb-serial tty (ttyUSB2) on an interface of the device at 1-1.3.
std::vector<Entry_t> OptionTty(const char* interfaceNumber, const char* vendor, const char* devText)
{
    return {{"sys/devices/pci0/usb1/1-1/1-1.3/idVendor", vendor, nullptr},
            {"sys/devices/pci0/usb1/1-1/1-1.3/idProduct", "0125\n", nullptr},
            {"sys/devices/pci0/usb1/1-1/1-1.3/serial", "EC25X001\n", nullptr},
            {"sys/devices/pci0/usb1/1-1/1-1.3/1-1.3:1.2/bInterfaceNumber", interfaceNumber, nullptr},
            {"sys/bus/usb/drivers/option/.keep", "", nullptr},
            {"sys/devices/pci0/usb1/1-1/1-1.3/1-1.3:1.2/driver", nullptr, "../../../../../../bus/usb/drivers/option"},
            {"sys/devices/pci0/usb1/1-1/1-1.3/1-1.3:1.2/ttyUSB2/tty/ttyUSB2/dev", devText, nullptr},
            {"sys/class/tty/ttyUSB2", nullptr, "../../devices/pci0/usb1/1-1/1-1.3/1-1.3:1.2/ttyUSB2/tty/ttyUSB2"},
            {"sys/devices/pci0/usb1/1-1/1-1.3/1-1.3:1.2/ttyUSB2/tty/ttyUSB2/device", nullptr, "../../../ttyUSB2"},
            {"dev/ttyUSB2", nullptr, "/dev/null"}};
}

std::vector<PlaceRow_t> Rows()
{
    static std::vector<std::string> keep;  // the texts the rows point into
    keep = {DevOf("/dev/null") + "\n", DevOf("/dev/zero") + "\n"};
    const char* nullDev = keep[0].c_str();
    const char* zeroDev = keep[1].c_str();
    std::vector<PlaceRow_t> rows = {
        {"UsbSerialPort", OptionTty("02\n", "2c7c\n", nullDev), "1-1.3", "2c7c", "0125", "EC25X001", "option", 2},
        {"UpperCaseVendorIsKeptLower", OptionTty("0a\n", "2C7C\n", nullDev), "1-1.3", "2c7c", "0125", "EC25X001",
         "option", 10},
        // A pseudo-terminal linked at /dev/ttyUSB2 while sysfs has another device of that name.
        {"OtherDeviceNumber", OptionTty("02\n", "2c7c\n", zeroDev), "", "", "", "", "", -1},
        {"OddInterfaceNumber", OptionTty("zz\n", "2c7c\n", nullDev), "", "", "", "", "", -1},
        {"OddVendor", OptionTty("02\n", "2c7\n", nullDev), "", "", "", "", "", -1},
        {"OddDevText", OptionTty("02\n", "2c7c\n", "1:\n"), "", "", "", "", "", -1},
    };
    // An ACM tty: its device folder is the interface itself; no serial.
    rows.push_back({"AcmInterface",
                    {{"sys/devices/pci0/usb2/2-1/idVendor", "1e0e\n", nullptr},
                     {"sys/devices/pci0/usb2/2-1/idProduct", "9001\n", nullptr},
                     {"sys/devices/pci0/usb2/2-1/2-1:1.0/bInterfaceNumber", "00\n", nullptr},
                     {"sys/bus/usb/drivers/cdc_acm/.keep", "", nullptr},
                     {"sys/devices/pci0/usb2/2-1/2-1:1.0/driver", nullptr, "../../../../../bus/usb/drivers/cdc_acm"},
                     {"sys/devices/pci0/usb2/2-1/2-1:1.0/tty/ttyUSB2/dev", nullDev, nullptr},
                     {"sys/devices/pci0/usb2/2-1/2-1:1.0/tty/ttyUSB2/device", nullptr, "../../../2-1:1.0"},
                     {"sys/class/tty/ttyUSB2", nullptr, "../../devices/pci0/usb2/2-1/2-1:1.0/tty/ttyUSB2"},
                     {"dev/ttyUSB2", nullptr, "/dev/null"}},
                    "2-1", "1e0e", "9001", "", "cdc_acm", 0});
    // A tty without an interface above it (an on-board UART).
    rows.push_back({"NoInterface",
                    {{"sys/devices/platform/serial8250/tty/ttyUSB2/dev", nullDev, nullptr},
                     {"sys/devices/platform/serial8250/tty/ttyUSB2/device", nullptr, "../../../serial8250"},
                     {"sys/class/tty/ttyUSB2", nullptr, "../../devices/platform/serial8250/tty/ttyUSB2"},
                     {"dev/ttyUSB2", nullptr, "/dev/null"}},
                    "", "", "", "", "", -1});
    // A device link that loops.
    rows.push_back({"DeviceLinkLoop",
                    {{"sys/devices/x/tty/ttyUSB2/dev", nullDev, nullptr},
                     {"sys/devices/x/tty/ttyUSB2/device", nullptr, "device"},
                     {"sys/class/tty/ttyUSB2", nullptr, "../../devices/x/tty/ttyUSB2"},
                     {"dev/ttyUSB2", nullptr, "/dev/null"}},
                    "", "", "", "", "", -1});
    rows.push_back({"NoClassEntry", {{"dev/ttyUSB2", nullptr, "/dev/null"}}, "", "", "", "", "", -1});
    return rows;
}

class UsbPlace : public ::testing::TestWithParam<PlaceRow_t>
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tarnel-usb.XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        m_root = made;
        for (const Entry_t& entry : GetParam().tree) {
            const std::string path = m_root + "/" + entry.path;
            ASSERT_EQ(std::system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str()), 0);
            if (entry.text != nullptr) {
                std::ofstream(path) << entry.text;
            } else {
                ASSERT_EQ(symlink(entry.target, path.c_str()), 0) << path;
            }
        }
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + m_root + "'").c_str()), 0); }
    std::string m_root;
};

TEST_P(UsbPlace, WalkFromClassTtyToTheUsbDevice)
{
    const PlaceRow_t& row = GetParam();
    const UsbPlace_t place = UsbPlaceOfTty(m_root + "/dev/ttyUSB2", m_root + "/sys");
    EXPECT_EQ(place.position, row.position);
    EXPECT_EQ(place.Known(), !row.position.empty());
    EXPECT_EQ(place.vendor, row.vendor);
    EXPECT_EQ(place.product, row.product);
    EXPECT_EQ(place.serial, row.serial);
    EXPECT_EQ(place.driver, row.driver);
    EXPECT_EQ(place.interfaceNumber, row.interfaceNumber);
}

INSTANTIATE_TEST_SUITE_P(Rows, UsbPlace, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<PlaceRow_t>& info) { return std::string(info.param.name); });

struct RoleRow_t
{
    const char* vendor;
    const char* product;
    const char* driver;
    int interfaceNumber;
    TtyRole_t role;
    bool grouped;
};

TEST(UsbRoles, RoleAndGroupingOfEachKindOfDevice)
{
    const RoleRow_t rows[] = {
        {"2c7c", "0125", "option", 0, ROLE_NOT_AT, true},      // EC25 diagnostics
        {"2c7c", "0125", "option", 1, ROLE_NOT_AT, true},      // EC25 NMEA
        {"2c7c", "0125", "option", 2, ROLE_AT_PRIMARY, true},  // EC25 AT port
        {"2c7c", "0125", "option", 3, ROLE_AT_SECOND, true},   // EC25 modem port
        {"1e0e", "9001", "option", 4, ROLE_NOT_AT, true},      // SIM7600 audio
        {"1e0e", "9001", "option", 2, ROLE_AT_PRIMARY, true},
        {"2c7d", "0001", "option", 0, ROLE_UNKNOWN, true},     // an unknown modem on a modem driver
        {"2c7d", "0001", "qcserial", 1, ROLE_UNKNOWN, true},
        {"1e0e", "0001", "cdc_acm", 1, ROLE_UNKNOWN, true},
        {"1a86", "55d7", "ch341", 0, ROLE_UNKNOWN, false},      // a 4-port bridge: 4 modems
        {"0403", "6011", "ftdi_sio", 2, ROLE_UNKNOWN, false},
        {"10c4", "ea60", "cp210x", 0, ROLE_UNKNOWN, false},
    };
    for (const RoleRow_t& row : rows) {
        UsbPlace_t place;
        place.position = "1-1";
        place.vendor = row.vendor;
        place.product = row.product;
        place.driver = row.driver;
        place.interfaceNumber = row.interfaceNumber;
        EXPECT_EQ(UsbTtyRole(place), row.role) << row.vendor << ":" << row.product << " " << row.interfaceNumber;
        EXPECT_EQ(GroupsUsbTtys(place), row.grouped) << row.vendor << ":" << row.product;
        place.position.clear();  // without sysfs nothing is known
        EXPECT_EQ(UsbTtyRole(place), ROLE_UNKNOWN);
        EXPECT_FALSE(GroupsUsbTtys(place));
    }
}

}  // namespace
