// The detection pass over scripted modems on pseudo-terminals, and the helpers
// of port discovery.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "ModemPeer.h"
#include "PortDiscovery.h"

namespace {

std::string AtiFixture(const std::string& model)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/ati/" + model + ".txt", std::ios::binary);
    EXPECT_TRUE(in.good()) << model;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Info(const std::string& line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}

// A modem of the given ATI answer, with or without a SIM card.
std::vector<ModemPeer::Rule> Modem(const std::string& ati, const std::string& iccid, const std::string& imei,
                                   bool sim = true)
{
    const std::string noSim = "\r\n+CME ERROR: 10\r\n";
    return {
        {"ATE0\r\n", {"\r\nOK\r\n"}},
        {"AT\r\n", {"\r\nOK\r\n"}},
        {"ATI\r\n", {ati.substr(0, ati.size() / 2), ati.substr(ati.size() / 2)}},
        {"AT+CGSN\r", {Info(imei)}},
        {"AT+CCID\r", {sim ? Info("+CCID: \"" + iccid + "\"") : noSim}},
        {"AT^ICCID?\r\n", {sim ? Info("^ICCID: " + iccid) : noSim}},
        {"at+csq\r", {Info("+CSQ: 23,99")}},
    };
}

std::string Text(const char* field)
{
    return field;
}

struct RecognitionCase
{
    const char* fixture;
    PHONE_TYPE_t type;
};

class DeviceDetection : public ::testing::TestWithParam<RecognitionCase>
{
};

// The first model of the scan order that accepts the answer wins; the
// ME909s-821 answer also holds the ME909 token of a later model.
TEST_P(DeviceDetection, RecognisesTheModelAndReadsItsIdentity)
{
    const RecognitionCase& c = GetParam();
    const ReadCycles cycles(400);  // 200 ms passes: a loaded machine answers late, not never
    const std::string ati = AtiFixture(c.fixture);
    ModemPeer peer(Modem(ati, "89860012345678901234", "867223021234565"));
    CCheckManager manager;

    const std::vector<DeviceBaseComInfo> records = manager.DetectDevices({peer.Path()});

    ASSERT_EQ(records.size(), 1u);
    const DeviceBaseComInfo& r = records[0];
    EXPECT_EQ(Text(r.szPortName), peer.Path());
    EXPECT_EQ(r.nBaudRate, 9600);
    EXPECT_EQ(r.nPhoneType, c.type);
    EXPECT_TRUE(r.bAtOk);
    EXPECT_TRUE(r.bChecked);
    EXPECT_EQ(Text(r.szAtiRsp), ati);
    EXPECT_EQ(Text(r.szSmsCardNumber), "89860012345678901234");
    EXPECT_EQ(Text(r.szSerialNumber), "867223021234565");
    EXPECT_NE(Text(r.szSignal).find("23,99"), std::string::npos) << r.szSignal;
    ASSERT_EQ(CCheckManager::g_comVec.size(), 1u);
    EXPECT_EQ(CCheckManager::g_comVec[0].nPhoneType, c.type);
}

INSTANTIATE_TEST_SUITE_P(Models, DeviceDetection,
                         ::testing::Values(RecognitionCase{"CPhone_K2210_ME", PHONE_TYPE_K2210_ME},
                                           RecognitionCase{"CPhone_TD_ME909", PHONE_TYPE_TD_ME909},
                                           RecognitionCase{"CPhone_EC20F", PHONE_TYPE_EC20F}),
                         [](const ::testing::TestParamInfo<RecognitionCase>& info) {
                             return std::string(info.param.fixture).substr(7);
                         });

TEST(DeviceDetectionFields, LongTextsAreCutToTheirFields)
{
    const ReadCycles cycles(400);  // 200 ms passes: a loaded machine answers late, not never
    const std::string ati = "\r\nQuectel\r\nEC20F\r\nRevision: " + std::string(600, 'R') + "\r\n\r\nOK\r\n";
    const std::string iccid(100, '8');
    const std::string imei(80, '6');
    ModemPeer peer(Modem(ati, iccid, imei));
    CCheckManager manager;

    const std::vector<DeviceBaseComInfo> records = manager.DetectDevices({peer.Path()});

    ASSERT_EQ(records.size(), 1u);
    const DeviceBaseComInfo& r = records[0];
    EXPECT_EQ(r.nPhoneType, PHONE_TYPE_EC20F);
    EXPECT_EQ(std::string(r.szAtiRsp, strnlen(r.szAtiRsp, sizeof r.szAtiRsp)), ati.substr(0, 511));
    EXPECT_EQ(std::string(r.szSmsCardNumber, strnlen(r.szSmsCardNumber, 64)), iccid.substr(0, 63));
    EXPECT_EQ(std::string(r.szSerialNumber, strnlen(r.szSerialNumber, 64)), imei.substr(0, 63));
}

TEST(DeviceDetectionFields, NoSimCardMeansNoSignalQuery)
{
    const ReadCycles cycles(400);  // 200 ms passes: a loaded machine answers late, not never
    ModemPeer peer(Modem(AtiFixture("CPhone_EC20F"), "", "861234567890123", false));
    CCheckManager manager;

    const std::vector<DeviceBaseComInfo> records = manager.DetectDevices({peer.Path()});

    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].bAtOk);
    EXPECT_EQ(Text(records[0].szSmsCardNumber), "");
    EXPECT_EQ(Text(records[0].szSignal), "");
    EXPECT_EQ(Text(records[0].szSerialNumber), "861234567890123");
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "ATE0\r\nAT\r\nAT\r\nATI\r\nAT+CGSN\rAT+CCID\r");
}

// Silence, an unknown model and a missing device all end as the same
// unrecognised entry, tried at both rates where the device exists.
TEST(DeviceDetectionFields, UnrecognisedPortsAreListedAt115200)
{
    const ReadCycles cycles(100);  // 50 ms passes: the answering peer is never too late
    ModemPeer silent({});
    ModemPeer unknown({{"ATE0\r\n", {"\r\nOK\r\n"}},
                       {"AT\r\n", {"\r\nOK\r\n"}},
                       {"ATI\r\n", {"\r\nAcme\r\nRocket 9\r\n\r\nOK\r\n"}}});
    CCheckManager manager;

    const std::vector<DeviceBaseComInfo> records =
        manager.DetectDevices({silent.Path(), unknown.Path(), "/nonexistent/ttyUSB7"});

    ASSERT_EQ(records.size(), 3u);
    const std::string paths[] = {silent.Path(), unknown.Path(), "/nonexistent/ttyUSB7"};
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(Text(records[i].szPortName), paths[i]);
        EXPECT_EQ(records[i].nBaudRate, 115200);
        EXPECT_EQ(records[i].nPhoneType, PHONE_TYPE_BASE);
        EXPECT_FALSE(records[i].bAtOk);
        EXPECT_TRUE(records[i].bChecked);
        EXPECT_EQ(Text(records[i].szAtiRsp), "");
        EXPECT_EQ(Text(records[i].szSerialNumber), "");
    }
    // A silent port hears one AT per rate: its exchange reads ten times, then gives up.
    EXPECT_EQ(silent.ReceivedWhenQuiet(), "ATE0\r\nAT\r\nATE0\r\nAT\r\n");
    EXPECT_EQ(unknown.ReceivedWhenQuiet(), "ATE0\r\nAT\r\nAT\r\nATI\r\nATE0\r\nAT\r\nAT\r\nATI\r\n");
}

// ---- port discovery helpers

// The two short forms of a path: the id users type (the text after "tty")
// and the name the table and the documents show (the path without "/dev/").
TEST(PortDiscovery, ShortFormsOfAPath)
{
    const struct
    {
        const char* path;
        const char* id;
        const char* shown;
    } rows[] = {
        {"/dev/ttyUSB3", "USB3", "ttyUSB3"},
        {"/dev/ttyUSB10", "USB10", "ttyUSB10"},
        {"/dev/ttyAMA0", "AMA0", "ttyAMA0"},
        {"/dev/ttyS1", "S1", "ttyS1"},
        {"/dev/tty", "", "tty"},
        {"/dev/rfcomm0", "/dev/rfcomm0", "rfcomm0"},
        {"/dev/", "/dev/", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(GetPortId(row.path), row.id) << row.path;
        EXPECT_EQ(ShortPortName(row.path), row.shown) << row.path;
    }
}

TEST(PortDiscovery, ShellOutputIsCollectedWhole)
{
    EXPECT_EQ(cmd_system("printf 'a\\nb\\n'"), "a\nb\n");
    // Longer than one 1023-byte piece, and without a line end.
    EXPECT_EQ(cmd_system("head -c 5000 /dev/zero | tr '\\0' x"), std::string(5000, 'x'));
    EXPECT_EQ(cmd_system("exit 3"), "");
}

TEST(PortDiscovery, ListedPortsComeBeforeTheFixedOnes)
{
    CCheckManager manager;
    const std::vector<std::string> ports = manager.GetAllComPort();

    ASSERT_GE(ports.size(), 2u);
    EXPECT_EQ(ports[ports.size() - 2], "/dev/ttyS0");
    EXPECT_EQ(ports.back(), "/dev/ttyS1");
    bool amaSeen = false;
    for (std::size_t i = 0; i + 2 < ports.size(); ++i) {
        const bool usb = ports[i].rfind("/dev/ttyUSB", 0) == 0;
        const bool ama = ports[i].rfind("/dev/ttyAMA", 0) == 0;
        EXPECT_TRUE(usb || ama) << ports[i];
        EXPECT_FALSE(usb && amaSeen) << ports[i] << " after an AMA port";
        amaSeen = amaSeen || ama;
    }
}

}  // namespace
