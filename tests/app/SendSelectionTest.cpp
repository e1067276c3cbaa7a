// Numbers, ports and message text as the send dialogues and the command
// line take them, and the per-port error codes.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "CreatePhone.h"
#include "PhoneCardBase.h"
#include "SendTestSupport.h"

namespace {

std::string Fixture(const std::string& relative)
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- numbers

struct NumberCase
{
    const char* typed;
    std::vector<std::string> numbers;  // empty: the line is invalid
};

class SplitUserPhoneNumber : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(SplitUserPhoneNumber, ValidListsInTypedOrder)
{
    EXPECT_EQ(CCheckManager::SplitUserPhoneNumber(GetParam().typed), GetParam().numbers) << GetParam().typed;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitUserPhoneNumber,
    ::testing::Values(
        NumberCase{"", {}},
        NumberCase{",, ;", {}},
        NumberCase{"13912345678", {"13912345678"}},
        NumberCase{"13912345678,,13812345678", {"13912345678", "13812345678"}},
        NumberCase{"13912345678 13812345678;10086", {"13912345678", "13812345678", "10086"}},
        NumberCase{"10086,10086", {"10086", "10086"}},
        NumberCase{"+8613912345678", {"+8613912345678"}},
        NumberCase{"13912345678,1391234567a", {}},
        NumberCase{"1391234567a,13912345678", {}},
        NumberCase{"1234", {}},
        NumberCase{"13912345678,1234", {}},
        NumberCase{"139-1234-5678", {}},
        NumberCase{"13912345678\r", {}}));

struct CheckCase
{
    std::string number;
    bool valid;
};

class CheckReceiveNumber : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(CheckReceiveNumber, DigitsWithOptionalPlusFiveToTwentyNine)
{
    EXPECT_EQ(CCheckManager::CheckReceiveNumber(GetParam().number), GetParam().valid) << GetParam().number;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckReceiveNumber,
    ::testing::Values(CheckCase{"", false}, CheckCase{"1234", false}, CheckCase{"12345", true},
                      CheckCase{"+1234", true}, CheckCase{"+123", false},
                      CheckCase{std::string(29, '1'), true}, CheckCase{std::string(30, '1'), false},
                      CheckCase{"+" + std::string(28, '1'), true}, CheckCase{"+" + std::string(29, '1'), false},
                      CheckCase{"+8613912345678", true}, CheckCase{"12+345", false},
                      CheckCase{"++12345", false}, CheckCase{" 12345", false},
                      CheckCase{"12345\xd9", false}, CheckCase{std::string("123\0" "45", 6), false}));

// ---- time stamp

TEST(AddTimeStamp, FiveCharacterNumbersGetNoStamp)
{
    const std::string stamp = "2024-05-06 07:08:09";
    const struct
    {
        const char* number;
        const char* sent;
    } rows[] = {
        {"10086", "Hello"},
        {"10010", "Hello"},
        {"95555", "Hello"},
        {"+1234", "Hello"},
        {"100860", "Hello 2024-05-06 07:08:09"},
        {"13912345678", "Hello 2024-05-06 07:08:09"},
        {"+8613912345678", "Hello 2024-05-06 07:08:09"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CCheckManager::AddTimeStampToSmsContextByPhoneNum("Hello", row.number, stamp), row.sent)
            << row.number;
    }
}

// ---- port selection

class PortSelection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_ec20 = Fixture("ati/CPhone_EC20F.txt");
        m_m26 = Fixture("ati/CPhone_M26.txt");
        ASSERT_FALSE(m_ec20.empty());
        ASSERT_FALSE(m_m26.empty());
        ASSERT_EQ(RecogniseModel(m_ec20, ModelOrder::Selection), PHONE_TYPE_EC20F);
        ASSERT_EQ(RecogniseModel(m_m26, ModelOrder::Selection), PHONE_TYPE_M26);
    }

    // USB0 complete, USB1 without SIM, USB10 silent, S0/S1 as the scan always lists them.
    void FillTable()
    {
        m_manager.m_vecComInfo = {
            Entry("/dev/ttyUSB0", true, "89860012345678901234", "23,99", "861234567890123", m_ec20, "9600"),
            Entry("/dev/ttyUSB1", true, "", "", "861234567890124", m_m26),
            Entry("/dev/ttyUSB10", false, "", "", "", ""),
            Entry("/dev/ttyS0", false, "", "", "", ""),
            Entry("/dev/ttyS1", false, "", "", "", ""),
        };
    }

    std::vector<std::string> Paths(const std::vector<ComPortBaseInfo_t>& ports)
    {
        std::vector<std::string> out;
        for (const ComPortBaseInfo_t& p : ports) {
            out.push_back(p.strPortName);
        }
        return out;
    }

    CCheckManager m_manager;
    std::string m_ec20;
    std::string m_m26;
};

TEST_F(PortSelection, TypedNamesFillRecordsFromTheTable)
{
    FillTable();
    std::vector<ComPortBaseInfo_t> ports;
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("USB0 USB1", ports));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].strPortName, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].nBaudRate, 9600);
    EXPECT_TRUE(ports[0].bAtOk);
    EXPECT_EQ(ports[0].strSmsCardNumber, "89860012345678901234");
    EXPECT_EQ(ports[0].strSignal, "23,99");
    EXPECT_EQ(ports[0].strSerialNumber, "861234567890123");
    EXPECT_EQ(ports[0].nPhoneType, PHONE_TYPE_EC20F);
    EXPECT_TRUE(ports[0].bInTable);
    EXPECT_EQ(ports[1].nBaudRate, 115200);
    EXPECT_EQ(ports[1].nPhoneType, PHONE_TYPE_M26);
}

TEST_F(PortSelection, TypedListsKeepOrderSeparatorsAndUnknownNames)
{
    FillTable();
    const struct
    {
        const char* typed;
        bool usable;
        std::vector<std::string> paths;
    } rows[] = {
        {"USB1;USB0", true, {"/dev/ttyUSB1", "/dev/ttyUSB0"}},
        {"USB0,USB7", true, {"/dev/ttyUSB0", "/dev/ttyUSB7"}},
        {"USB7", false, {"/dev/ttyUSB7"}},
        {"usb0", false, {"/dev/ttyusb0"}},
        // A path names the port it reaches.
        {"/dev/ttyUSB0", true, {"/dev/ttyUSB0"}},
        // Names are compared whole: USB1 is not a prefix match for USB10.
        {"USB10", true, {"/dev/ttyUSB10"}},
        // One modem named twice is chosen once: one SIM, one sender.
        {"USB0,USB0", true, {"/dev/ttyUSB0"}},
        // An empty item would name /dev/tty, the user's terminal: skipped.
        {"USB0,,USB1", true, {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
        {",USB1,", true, {"/dev/ttyUSB1"}},
        {",", false, {}},
        {" ", false, {}},
    };
    for (const auto& row : rows) {
        std::vector<ComPortBaseInfo_t> ports(3);  // stale content must go
        EXPECT_EQ(m_manager.InputToSendPduSmsComPort(row.typed, ports), row.usable) << row.typed;
        EXPECT_EQ(Paths(ports), row.paths) << row.typed;
    }
}

TEST_F(PortSelection, UnknownNameIsMarkedOutsideTheTable)
{
    FillTable();
    std::vector<ComPortBaseInfo_t> ports;
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("USB0,USB7", ports));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_FALSE(ports[1].bInTable);
    EXPECT_FALSE(ports[1].bAtOk);
    EXPECT_EQ(ports[1].nBaudRate, 115200);
    EXPECT_EQ(ports[1].nPhoneType, PHONE_TYPE_BASE);
    EXPECT_TRUE(ports[1].strSmsCardNumber.empty());
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(ports[1]), SMS_NO_SUCH_PORT);
}

TEST_F(PortSelection, EmptyLineChoosesTheBestStageAvailable)
{
    std::vector<ComPortBaseInfo_t> ports;
    // Stage one: only the fully detected port.
    FillTable();
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("", ports));
    EXPECT_EQ(Paths(ports), std::vector<std::string>({"/dev/ttyUSB0"}));

    // Stage two: no port has everything, so every port answering AT, with its model.
    m_manager.m_vecComInfo[0].strSignal.clear();
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("", ports));
    EXPECT_EQ(Paths(ports), std::vector<std::string>({"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_EQ(ports[1].nPhoneType, PHONE_TYPE_M26);

    // Stage three: nothing answers AT, so every port, none with a model.
    for (Win32::CommInfo& e : m_manager.m_vecComInfo) {
        e.bAtOk = false;
    }
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("", ports));
    EXPECT_EQ(Paths(ports), std::vector<std::string>({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB10",
                                                      "/dev/ttyS0", "/dev/ttyS1"}));
    for (const ComPortBaseInfo_t& p : ports) {
        EXPECT_EQ(p.nPhoneType, PHONE_TYPE_BASE) << p.strPortName;
        EXPECT_TRUE(p.bInTable);
    }

    // An empty table still counts as a usable (empty) choice.
    m_manager.m_vecComInfo.clear();
    EXPECT_TRUE(m_manager.InputToSendPduSmsComPort("", ports));
    EXPECT_TRUE(ports.empty());
}

TEST_F(PortSelection, ModelIsRecognisedInSelectionOrder)
{
    // An answer naming both TD Tech models: the scan takes ME901, the
    // selection ME909, which it tries first.
    const std::string ati = "\r\nManufacturer: TD Tech Ltd.\r\nModel: ME901 ME909\r\n\r\nOK\r\n";
    ASSERT_EQ(RecogniseModel(ati, ModelOrder::Detection), PHONE_TYPE_TD_ME901);
    m_manager.m_vecComInfo = {Entry("/dev/ttyUSB3", true, "8986", "20,99", "86", ati)};
    std::vector<ComPortBaseInfo_t> ports;
    ASSERT_TRUE(m_manager.InputToSendPduSmsComPort("USB3", ports));
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].nPhoneType, PHONE_TYPE_TD_ME909);
}

TEST(GetSmsErrorCode, ChecksInOrder)
{
    ComPortBaseInfo_t good;
    good.bAtOk = true;
    good.strSerialNumber = "861234567890123";
    good.strSmsCardNumber = "8986";
    good.strSignal = "20,99";
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(good), SMS_SUCCEED);

    ComPortBaseInfo_t p = good;
    p.strSignal.clear();
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(p), SMS_NO_SIGNAL);
    p.strSmsCardNumber.clear();
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(p), SMS_NO_SIM_CARD);
    p.strSerialNumber.clear();
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(p), SMS_NOT_SUPPORTED_SMS_DEVICE);
    p.bAtOk = false;
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(p), SMS_DEVICE_NOT_AT);
    p.bInTable = false;
    EXPECT_EQ(CCheckManager::GetSmsErrorCode(p), SMS_NO_SUCH_PORT);
}

// ---- dialogues on standard input

TEST(SendDialogue, ThreeInvalidNumberLinesGiveUp)
{
    CCheckManager manager;
    std::vector<std::string> numbers{"stale"};
    std::string out;
    {
        FeedIn in("1234\n13912345678,abc\n\n13912345678\n");
        CaptureOut capture;
        EXPECT_FALSE(manager.InputCheckSendPduSmsPhoneNumbers(numbers));
        out = capture.Text();
    }
    EXPECT_TRUE(numbers.empty());
    EXPECT_EQ(CountOf(out, "Input received phone number: "), 3);
    EXPECT_EQ(CountOf(out, "Invalid number, reinput"), 3);
    EXPECT_NE(out.find("\033[31mToo many times error, back to main\033[0m\n\n\n"), std::string::npos) << out;
}

TEST(SendDialogue, SecondNumberLineAccepted)
{
    CCheckManager manager;
    std::vector<std::string> numbers;
    std::string out;
    {
        FeedIn in("12\n13912345678 10086\n");
        CaptureOut capture;
        EXPECT_TRUE(manager.InputCheckSendPduSmsPhoneNumbers(numbers));
        out = capture.Text();
    }
    EXPECT_EQ(numbers, std::vector<std::string>({"13912345678", "10086"}));
    EXPECT_EQ(CountOf(out, "Invalid number, reinput"), 1);
    EXPECT_EQ(out.find("Too many"), std::string::npos);
}

TEST(SendDialogue, EndOfInputCountsAsEmptyLines)
{
    CCheckManager manager;
    std::vector<std::string> numbers;
    std::string message = "old";
    std::vector<ComPortBaseInfo_t> ports;
    std::string out;
    {
        FeedIn in("");
        CaptureOut capture;
        EXPECT_FALSE(manager.InputCheckSendPduSmsPhoneNumbers(numbers));
        // An empty port line selects automatically: never "Invalid port".
        EXPECT_TRUE(manager.InputCheckSendPduSmsComPorts(ports));
        EXPECT_TRUE(manager.InputCheckSendPduSmsContext(message));
        out = capture.Text();
    }
    EXPECT_EQ(CountOf(out, "Input received phone number: "), 3);
    EXPECT_EQ(out.find("Invalid port"), std::string::npos);
    EXPECT_EQ(message, " Velta SMS ");
}

TEST(SendDialogue, UnknownPortsThreeTimesGiveUp)
{
    CCheckManager manager;
    manager.m_vecComInfo = {Entry("/dev/ttyUSB0", true, "8986", "20,99", "86", "OK")};
    std::vector<ComPortBaseInfo_t> ports;
    std::string out;
    {
        FeedIn in("USB9\nS3\n,\nUSB0\n");
        CaptureOut capture;
        EXPECT_FALSE(manager.InputCheckSendPduSmsComPorts(ports));
        out = capture.Text();
    }
    EXPECT_EQ(CountOf(out, "Input port number(ex: /dev/ttyUSB0, input USB0):"), 3);
    EXPECT_EQ(CountOf(out, "Invalid port, reinput"), 3);
    EXPECT_NE(out.find("Too many times error, back to main"), std::string::npos);
}

}  // namespace
