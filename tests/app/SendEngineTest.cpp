// The send engine's result routing for ports that cannot send, and the
// plain-text result lines. Sending through modems is covered end to end.

#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "PhoneCardBase.h"
#include "SendTestSupport.h"

namespace {

ComPortBaseInfo_t Record(const std::string& path, PHONE_TYPE_t type, bool at, const std::string& sim,
                         bool inTable = true)
{
    ComPortBaseInfo_t r;
    r.strPortName = path;
    r.nBaudRate = 115200;
    r.bAtOk = at;
    r.strSmsCardNumber = sim;
    r.strSignal = at ? "20,99" : "";
    r.strSerialNumber = at ? "861234567890123" : "";
    r.nPhoneType = type;
    r.bInTable = inTable;
    return r;
}

// Ports the engine cannot send through: no SIM number; a SIM number but no
// model (all read, then AT missing).
std::vector<ComPortBaseInfo_t> UnusablePorts()
{
    return {
        Record("/dev/ttyUSB0", PHONE_TYPE_EC20F, true, ""),
        Record("/dev/ttyUSB1", PHONE_TYPE_BASE, true, "8986"),
        Record("/dev/ttyUSB2", PHONE_TYPE_UN_KNOWN, false, "8986"),
        Record("/dev/ttyUSB7", PHONE_TYPE_BASE, false, "", false),
    };
}

// "YYYY-MM-DD hh:mm:ss"
bool IsTimeStamp(const std::string& text)
{
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

TEST(SendEngine, CollectsOneResultPerPortAndNumberPortMajor)
{
    CCheckManager manager;
    manager.m_bPlainText = false;
    manager.m_vecSendResult.resize(2);  // a previous run's results go
    const std::vector<std::string> numbers{"13912345678", "10086"};
    {
        CaptureOut quiet;
        manager.HandleSendPduSmsProcess(UnusablePorts(), numbers, "Hello");
        EXPECT_EQ(quiet.Text(), "");
    }
    const struct
    {
        const char* com;
        int code;
        const char* message;
    } expected[] = {
        {"/dev/ttyUSB0", SMS_NO_SIM_CARD, ""},
        {"/dev/ttyUSB1", SMS_NOT_SUPPORTED_SMS_DEVICE, "No Velta Dev."},
        {"/dev/ttyUSB2", SMS_DEVICE_NOT_AT, "No AT"},
        {"/dev/ttyUSB7", SMS_NO_SUCH_PORT, "No port"},
    };
    ASSERT_EQ(manager.m_vecSendResult.size(), 8u);
    for (std::size_t i = 0; i < manager.m_vecSendResult.size(); ++i) {
        const SendSmsResult_t& r = manager.m_vecSendResult[i];
        EXPECT_EQ(r.com, expected[i / 2].com) << i;
        EXPECT_EQ(r.number, numbers[i % 2]) << i;
        EXPECT_EQ(r.code, expected[i / 2].code) << i;
        EXPECT_EQ(r.message, expected[i / 2].message) << i;
        EXPECT_TRUE(IsTimeStamp(r.time)) << r.time;
    }
}

TEST(SendEngine, PlainTextPrintsEachResultWithItsShortReason)
{
    CCheckManager manager;
    std::string out;
    {
        CaptureOut capture;
        manager.HandleSendPduSmsProcess(UnusablePorts(), {"13912345678"}, "Hello");
        out = capture.Text();
    }
    EXPECT_TRUE(manager.m_vecSendResult.empty());
    const std::string red = "\033[1m\033[31m", green = "\033[1m\033[32m", reset = "\033[0m";
    const std::string line = red + "(T)Port " + reset + green + "ttyUSB0" + reset + red + " send to " + reset +
                             red + "13912345678" + reset + red + " failed, reason: " + reset + red + "No card" +
                             reset + "\n";
    // Every port works at once: whole lines, in the order they are known.
    EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(CountOf(out, "\n"), 4) << out;
    EXPECT_NE(out.find("ttyUSB1" + reset + red + " send to " + reset + red + "13912345678" + reset + red +
                       " failed, reason: " + reset + red + "No Velta Dev." + reset),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("ttyUSB7"), std::string::npos);
}

// A port that will get no traffic is not opened: opening reconfigures the
// device, and an unknown typed name may be any device at all. (A modem
// without a SIM number gets traffic: it is asked why.)
TEST(SendEngine, PortsWithoutTrafficAreNotOpened)
{
    // The settings layer as the program starts it, so that an open would configure.
    ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0u);

    CCheckManager manager;
    manager.m_bPlainText = false;
    const std::vector<ComPortBaseInfo_t> ports{
        Record(name, PHONE_TYPE_BASE, false, "", false),   // typed, not in the table
        Record(name, PHONE_TYPE_BASE, true, "8986"),       // no model
    };
    manager.HandleSendPduSmsProcess(ports, {"13912345678"}, "Hello");
    ASSERT_EQ(manager.m_vecSendResult.size(), 2u);

    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    close(slave);
    close(master);
}

}  // namespace
