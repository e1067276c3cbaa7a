// The read side of the controller that needs no modem: the JSON port
// objects, the usable-port list, the failure line of a port that cannot be
// read, and the refusals that must not touch a port. The conversations and
// the printed message blocks are checked end to end (tests/e2e).

#include <gtest/gtest.h>
#include <json/json.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "ComPortBase.h"
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

SmsRecvStruct_t Sms(const std::string& from, const std::string& time, const std::string& text)
{
    SmsRecvStruct_t sms;
    sms.from = from;
    sms.time = time;
    sms.text = text;
    return sms;
}

const char* const RED = "\033[1m\033[31m";
const char* const GREEN = "\033[1m\033[32m";
const char* const RESET = "\033[0m";

// ---- JSON port objects

struct PortJsonCase
{
    std::string path;
    std::string name;
    int me;  // messages in the modem memory
    int sm;  // messages on the SIM card
};

class SmsReadPortToJson : public ::testing::TestWithParam<PortJsonCase>
{
};

TEST_P(SmsReadPortToJson, SimMessagesFirstThenModemMemory)
{
    const PortJsonCase& c = GetParam();
    std::vector<SmsRecvStruct_t> me;
    std::vector<SmsRecvStruct_t> sm;
    for (int i = 0; i < c.me; ++i) {
        me.push_back(Sms("+86139000000" + std::to_string(i), "23-05-17 08:30:0" + std::to_string(i),
                         "memory " + std::to_string(i)));
    }
    for (int i = 0; i < c.sm; ++i) {
        sm.push_back(Sms("1008" + std::to_string(i), "23-05-18 09:00:0" + std::to_string(i), "sim " + std::to_string(i)));
    }

    const Json::Value port = CCheckManager::SmsReadPortToJson(c.path, me, sm);

    EXPECT_EQ(port["name"].asString(), c.name);
    EXPECT_EQ(port["msgcount"].asInt(), c.me + c.sm);
    EXPECT_FALSE(port.isMember("clear"));
    if (c.me + c.sm == 0) {
        EXPECT_FALSE(port.isMember("msgs")) << port.toStyledString();
        return;
    }
    const Json::Value& msgs = port["msgs"];
    ASSERT_TRUE(msgs.isArray());
    ASSERT_EQ(msgs.size(), static_cast<Json::ArrayIndex>(c.me + c.sm));
    for (Json::ArrayIndex i = 0; i < msgs.size(); ++i) {
        const bool fromSim = i < static_cast<Json::ArrayIndex>(c.sm);
        const SmsRecvStruct_t& want = fromSim ? sm[i] : me[i - c.sm];
        EXPECT_EQ(msgs[i]["storage"].asString(), fromSim ? "SIM" : "DEV") << i;
        EXPECT_EQ(msgs[i]["from"].asString(), want.from) << i;
        EXPECT_EQ(msgs[i]["time"].asString(), want.time) << i;
        EXPECT_EQ(msgs[i]["text"].asString(), want.text) << i;
        EXPECT_EQ(msgs[i].getMemberNames(), (std::vector<std::string>{"from", "storage", "text", "time"})) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SmsReadPortToJson,
                         ::testing::Values(PortJsonCase{"/dev/ttyUSB0", "ttyUSB0", 0, 0},
                                           PortJsonCase{"/dev/ttyUSB10", "ttyUSB10", 2, 0},
                                           PortJsonCase{"/dev/ttyAMA0", "ttyAMA0", 0, 1},
                                           PortJsonCase{"/dev/ttyS1", "ttyS1", 2, 3}));

// ---- one message object per kind of record

struct MessageJsonCase
{
    const char* name;
    SmsRecvStruct_t sms;
    std::string want;  // the object, compact
};

std::ostream& operator<<(std::ostream& os, const MessageJsonCase& c)
{
    return os << c.name;
}

SmsRecvStruct_t Kind(SmsKind_t kind, const std::string& text, const std::string& raw = "", bool complete = true)
{
    // An unreadable entry has neither sender nor time: only its raw text.
    const bool unreadable = kind == SMS_KIND_UNREADABLE;
    SmsRecvStruct_t sms = Sms(unreadable ? "" : "10086", unreadable ? "" : "23-05-17 08:30:00", text);
    sms.kind = kind;
    sms.raw = raw;
    sms.complete = complete;
    return sms;
}

class SmsToJsonKinds : public ::testing::TestWithParam<MessageJsonCase>
{
};

TEST_P(SmsToJsonKinds, EachKindSaysWhatItIs)
{
    const MessageJsonCase& c = GetParam();
    Json::FastWriter writer;
    EXPECT_EQ(writer.write(CCheckManager::SmsToJson(c.sms, true)), c.want + "\n");
}

const std::string MSG_HEAD = R"({"from":"10086","storage":"SIM",)";
INSTANTIATE_TEST_SUITE_P(
    Table, SmsToJsonKinds,
    ::testing::Values(
        MessageJsonCase{"Message", Kind(SMS_KIND_MESSAGE, "hi"),
                        MSG_HEAD + R"("text":"hi","time":"23-05-17 08:30:00"})"},
        MessageJsonCase{"Incomplete", Kind(SMS_KIND_MESSAGE, "hi", "", false),
                        R"({"from":"10086","incomplete":true,"storage":"SIM","text":"hi","time":"23-05-17 08:30:00"})"},
        MessageJsonCase{"Undecodable", Kind(SMS_KIND_UNDECODABLE, "[compressed data, 1 bytes] 41"),
                        R"({"from":"10086","kind":"undecodable","storage":"SIM",)"
                        R"("text":"[compressed data, 1 bytes] 41","time":"23-05-17 08:30:00"})"},
        MessageJsonCase{"UnreadableText", Kind(SMS_KIND_UNREADABLE, "", "+CMGL: 2,1,,24\r\n0791"),
                        R"({"from":"","kind":"unreadable","raw":"+CMGL: 2,1,,24\r\n0791","storage":"SIM",)"
                        R"("text":"","time":""})"},
        // Bytes that are no UTF-8 (a line garbled on the way) go as hex: the document stays UTF-8.
        MessageJsonCase{"UnreadableBytes",
                        Kind(SMS_KIND_UNREADABLE, "", std::string("+CMGL: 1\r\n\xff" "\x00" "A", 13)),
                        R"({"from":"","kind":"unreadable","raw":"2B434D474C3A20310D0AFF0041","rawhex":true,)"
                        R"("storage":"SIM","text":"","time":""})"}));

// ---- usable ports of the sms sub-commands

TEST(GetPortList, OnlyFullyDetectedPortsInTableOrderWithoutFallback)
{
    const std::string ec20 = Fixture("ati/CPhone_EC20F.txt");
    const std::string nc5 = Fixture("ati/CPhone_K2210_NC5.txt");
    const std::string me909s = Fixture("ati/CPhone_K2210_ME.txt");
    ASSERT_FALSE(ec20.empty());
    ASSERT_FALSE(nc5.empty());
    ASSERT_FALSE(me909s.empty());

    CCheckManager manager;
    manager.m_vecComInfo = {
        Entry("/dev/ttyUSB0", true, "8986001", "23,99", "861234567890123", ec20, "9600"),
        Entry("/dev/ttyUSB1", true, "8986002", "23,99", "", ec20),                 // no IMEI
        Entry("/dev/ttyUSB2", true, "8986003", "", "861234567890124", ec20),       // no signal
        Entry("/dev/ttyUSB3", true, "", "", "861234567890125", ec20),              // no SIM card
        Entry("/dev/ttyUSB4", false, "8986004", "23,99", "861234567890126", ec20), // no AT
        Entry("/dev/ttyUSB5", true, "8986005", "17,99", "861234567890127", nc5),
        Entry("/dev/ttyUSB6", true, "8986006", "9,99", "861234567890128", me909s),
        Entry("/dev/ttyS0", true, "8986007", "9,99", "861234567890129", "\r\nOK\r\n"),  // no model
    };
    std::vector<ComPortBaseInfo_t> ports(3);  // stale content must go

    manager.GetPortList(ports);

    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].strPortName, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].nBaudRate, 9600);
    EXPECT_EQ(ports[0].nPhoneType, PHONE_TYPE_EC20F);
    EXPECT_EQ(ports[0].strSmsCardNumber, "8986001");
    EXPECT_EQ(ports[0].strSignal, "23,99");
    EXPECT_EQ(ports[0].strSerialNumber, "861234567890123");
    EXPECT_TRUE(ports[0].bAtOk);
    EXPECT_TRUE(ports[0].bInTable);
    EXPECT_EQ(ports[1].strPortName, "/dev/ttyUSB5");
    EXPECT_EQ(ports[1].nBaudRate, 115200);
    EXPECT_EQ(ports[1].nPhoneType, PHONE_TYPE_K2210_NC5);
    // "ME909s-821" names two models; the earlier one in the selection order wins.
    EXPECT_EQ(ports[2].nPhoneType, PHONE_TYPE_K2210_ME);
    EXPECT_EQ(ports[3].strPortName, "/dev/ttyS0");
    EXPECT_EQ(ports[3].nPhoneType, PHONE_TYPE_BASE);
}

// ---- a port that cannot be read

struct FailureCase
{
    const char* label;
    std::string sim;
    PHONE_TYPE_t type;
    std::string reason;
};

class HandleReadAllSmsFailure : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(HandleReadAllSmsFailure, RedLineWithTheReason)
{
    ComPortBaseInfo_t port;
    port.strPortName = "/dev/ttyNOSUCH9";
    port.nBaudRate = 9600;
    port.bAtOk = true;
    port.strSmsCardNumber = GetParam().sim;
    port.nPhoneType = GetParam().type;

    CCheckManager manager;
    CaptureOut out;
    manager.HandleReadAllSms({port});

    EXPECT_EQ(out.Text(), std::string(RED) + "Port ttyNOSUCH9 failed." + RESET + RED + "\treason: " + RESET +
                              RED + GetParam().reason + RESET + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, HandleReadAllSmsFailure,
    ::testing::Values(FailureCase{"NoSimNoModel", "", PHONE_TYPE_BASE, "No card"},
                      FailureCase{"NoSimKnownModel", "", PHONE_TYPE_EC20F, "No card"},
                      FailureCase{"UnknownModel", "8986001", PHONE_TYPE_BASE, "No AT"},
                      FailureCase{"OutOfRangeModel", "8986001", static_cast<PHONE_TYPE_t>(42), "No AT"},
                      FailureCase{"PortDoesNotOpen", "8986001", PHONE_TYPE_EC20F, "No AT"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.label); });

TEST(HandleReadAllSms, EveryPortGetsItsOwnLine)
{
    ComPortBaseInfo_t first;
    first.strPortName = "/dev/ttyNOSUCH1";
    ComPortBaseInfo_t second = first;
    second.strPortName = "/dev/ttyNOSUCH2";
    second.strSmsCardNumber = "8986001";

    CCheckManager manager;
    CaptureOut out;
    manager.HandleReadAllSms({first, second});

    const std::string text = out.Text();
    const std::string::size_type one = text.find("ttyNOSUCH1 failed.");
    const std::string::size_type two = text.find("ttyNOSUCH2 failed.");
    ASSERT_NE(one, std::string::npos) << text;
    ASSERT_NE(two, std::string::npos) << text;
    EXPECT_LT(one, two);
    EXPECT_EQ(CountOf(text, "\n"), 2) << text;
    EXPECT_EQ(CountOf(text, GREEN), 0) << text;
}

// ---- refusals that must not touch a port

// A pseudo-terminal standing in for a modem: what the program writes to the
// slave path arrives on the master.
class PtyModem
{
public:
    PtyModem()
    {
        char name[128] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) {
            m_path = name;
        }
    }
    ~PtyModem()
    {
        if (m_master >= 0) {
            close(m_master);
        }
        if (m_slave >= 0) {
            close(m_slave);
        }
    }
    const std::string& Path() const { return m_path; }
    // Bytes the program wrote, waiting at most `ms` for the first of them.
    std::string Received(int ms)
    {
        std::string got;
        pollfd fd{m_master, POLLIN, 0};
        while (poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN)) {
            char buf[256];
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            got.append(buf, static_cast<std::size_t>(n));
            ms = 0;
        }
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

TEST(PrintRecvSms, SenderCannotDriveTheTerminal)
{
    SmsRecvStruct_t sms;
    sms.from = "\x1b]0;x\x07+4912345";
    sms.time = "24-03-05 08:07:09";
    sms.text = "pay now\x1b[2J\rfake line\nsecond";

    CaptureOut out;
    CCheckManager::PrintRecvSms({sms});

    const std::string text = out.Text();
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("?]0;x?+4912345"), std::string::npos);
    EXPECT_NE(text.find("pay now?[2J?fake line\nsecond"), std::string::npos);
}

TEST(DelPortSMS, UnknownModelSendsNothingAndFails)
{
    PtyModem modem;
    ASSERT_FALSE(modem.Path().empty());
    ComPortBaseInfo_t port;
    port.strPortName = modem.Path();
    port.strSmsCardNumber = "8986001";
    port.nPhoneType = PHONE_TYPE_BASE;

    CComPortBase held(port.strPortName, port.nBaudRate);
    ModemWork_t work(port, &held);
    CCheckManager manager;
    EXPECT_FALSE(manager.DelPortSMS(work));
    EXPECT_EQ(modem.Received(50), "");
}

TEST(DelPortSMS, NoStorageAskedForSendsNothingAndFails)
{
    PtyModem modem;
    ASSERT_FALSE(modem.Path().empty());
    ComPortBaseInfo_t port;
    port.strPortName = modem.Path();
    port.nPhoneType = PHONE_TYPE_EC20F;

    CComPortBase held(port.strPortName, port.nBaudRate);
    ModemWork_t work(port, &held);
    CCheckManager manager;
    EXPECT_FALSE(manager.DelPortSMS(work, false, false));
    EXPECT_EQ(modem.Received(50), "");
}

TEST(DelPortSMS, PortThatDoesNotOpenFails)
{
    ComPortBaseInfo_t port;
    port.strPortName = "/dev/ttyNOSUCH0";
    port.nPhoneType = PHONE_TYPE_EC20F;
    CComPortBase held(port.strPortName, port.nBaudRate);
    ModemWork_t work(port, &held);
    ModemWork_t portless(port, nullptr);
    CCheckManager manager;
    EXPECT_FALSE(manager.DelPortSMS(work));
    EXPECT_FALSE(manager.DelPortSMS(portless));
}

TEST(OnCmdSMS, UnknownSubCommandReportsWithoutScanning)
{
    CCheckManager manager;
    // A scan would rebuild the table; this entry must survive untouched.
    manager.m_vecComInfo = {Entry("/dev/ttyNOSUCH0", true, "8986001", "23,99", "861234567890123",
                                  Fixture("ati/CPhone_EC20F.txt"))};
    CaptureOut out;
    manager.OnCmdSMS("list");

    Json::Value doc;
    Json::Reader reader;
    ASSERT_TRUE(reader.parse(out.Text(), doc)) << out.Text();
    EXPECT_EQ(doc.getMemberNames(), (std::vector<std::string>{"check", "seconds", "type"}));
    EXPECT_EQ(doc["type"].asString(), "list");
    EXPECT_EQ(doc["check"].asInt(), 0);
    EXPECT_EQ(doc["seconds"].asInt(), 0);
    // Styled form: several lines, then one more line end.
    EXPECT_GT(CountOf(out.Text(), "\n"), 2);
    EXPECT_EQ(out.Text().substr(out.Text().size() - 2), "\n\n");
    ASSERT_EQ(manager.m_vecComInfo.size(), 1u);
    EXPECT_EQ(manager.m_vecComInfo[0].strPortName, "/dev/ttyNOSUCH0");
}

}  // namespace
