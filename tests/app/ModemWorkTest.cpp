// The unit of per-modem work: which records a workflow takes the ports of,
// and what RunOnPorts hands each record's work.

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "InChild.h"
#include "ModemPeer.h"
#include "ModemWork.h"
#include "PhoneCardBase.h"
#include "StopSignal.h"

namespace {

// A record as the port selection fills it for a fully detected modem.
ComPortBaseInfo_t SendingRecord()
{
    ComPortBaseInfo_t record;
    record.strPortName = "/dev/ttyUSB0";
    record.nBaudRate = 115200;
    record.bAtOk = true;
    record.strSmsCardNumber = "89860012345678901234";
    record.strSignal = "23,99";
    record.strSerialNumber = "861234567890123";
    record.nPhoneType = PHONE_TYPE_EC20F;
    return record;
}

struct RuleCase
{
    const char* name;
    void (*change)(ComPortBaseInfo_t& record);
    bool always;
    bool forModel;
    bool forSending;
};

const RuleCase RULE_CASES[] = {
    {"CanSend", [](ComPortBaseInfo_t&) {}, true, true, true},
    // Sent nothing, but asked why: a locked or busy SIM gives no number either.
    {"NoSimNumber", [](ComPortBaseInfo_t& r) { r.strSmsCardNumber.clear(); }, true, true, true},
    {"NoAt", [](ComPortBaseInfo_t& r) { r.bAtOk = false; }, true, true, false},
    {"UnknownModel", [](ComPortBaseInfo_t& r) { r.nPhoneType = PHONE_TYPE_BASE; }, true, false, false},
    {"TypedNameNotInTable",
     [](ComPortBaseInfo_t& r) {
         r.bInTable = false;
         r.nPhoneType = PHONE_TYPE_BASE;
     },
     true, false, false},
    // Busy at the scan: nothing was recognised, but once taken it is examined.
    {"BusyAtTheScan",
     [](ComPortBaseInfo_t& r) {
         r = ComPortBaseInfo_t();
         r.strPortName = "/dev/ttyUSB0";
         r.bBusy = true;
     },
     true, true, true},
};

TEST(ModemWorkRule, TakesThePortsEachWorkflowNeeds)
{
    for (const RuleCase& c : RULE_CASES) {
        SCOPED_TRACE(c.name);
        ComPortBaseInfo_t record = SendingRecord();
        c.change(record);
        const ModemWork_t modem(record, nullptr);

        EXPECT_EQ(modem.NeedsPorts(TAKE_ALWAYS), c.always);
        EXPECT_EQ(modem.NeedsPorts(TAKE_FOR_MODEL), c.forModel);
        EXPECT_EQ(modem.NeedsPorts(TAKE_FOR_SENDING), c.forSending);
        EXPECT_EQ(modem.model != nullptr, record.nPhoneType == PHONE_TYPE_EC20F);
        EXPECT_EQ(modem.Port(), nullptr);
        EXPECT_TRUE(modem.ports.empty());
    }
}

// A stop request ends the sending; reading still takes its ports, as the
// workflows then end through their own steps.
TEST(ModemWorkRule, NoPortIsTakenToSendAfterAStop)
{
    const int verdict = InChild([] {
        const ModemWork_t modem(SendingRecord(), nullptr);
        RequestStop(SIGTERM);
        if (modem.NeedsPorts(TAKE_FOR_SENDING)) {
            return 1;
        }
        return modem.NeedsPorts(TAKE_ALWAYS) && modem.NeedsPorts(TAKE_FOR_MODEL) ? 0 : 2;
    });
    EXPECT_EQ(verdict, 0);
}

// What each record's work gets: its own record and model, the port taken
// only where the rule asks, and one port object for records naming the
// same port.
TEST(RunOnPorts, HandsEachRecordItsUnitOfWork)
{
    ModemPeer peer({});
    ComPortBaseInfo_t known = SendingRecord();
    known.strPortName = peer.Path();
    ComPortBaseInfo_t unknown = known;
    unknown.nPhoneType = PHONE_TYPE_BASE;
    const std::vector<ComPortBaseInfo_t> records = {unknown, known, unknown};

    struct Seen
    {
        PortsTaken_t taken = PORTS_LEFT;
        CComPortBase* port = nullptr;
        bool open = false;
        int modelType = -1;
    };
    std::vector<Seen> seen(records.size());
    std::vector<std::size_t> order;
    CCheckManager manager;
    manager.RunOnPorts(records, TAKE_FOR_MODEL, [&](std::size_t i, ModemWork_t& modem) {
        seen[i].taken = modem.taken;
        seen[i].port = modem.Port();
        seen[i].open = modem.Port() != nullptr && modem.Port()->IsOpened() == 1;
        seen[i].modelType = modem.model ? static_cast<int>(modem.model->GetPhoneType()) : -1;
        order.push_back(i);
    });

    // One worker for the one path: the records in turn.
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(seen[0].taken, PORTS_LEFT);
    EXPECT_EQ(seen[0].port, nullptr);
    EXPECT_EQ(seen[0].modelType, -1);
    EXPECT_EQ(seen[1].taken, PORTS_TAKEN);
    EXPECT_TRUE(seen[1].open);
    EXPECT_EQ(seen[1].modelType, static_cast<int>(PHONE_TYPE_EC20F));
    // Not taken for this record, but the port the record before took is its port too.
    EXPECT_EQ(seen[2].taken, PORTS_LEFT);
    EXPECT_EQ(seen[2].port, seen[1].port);
    EXPECT_EQ(seen[2].modelType, -1);
    // Taking a port writes nothing to it.
    EXPECT_EQ(peer.ReceivedWhenQuiet(), "");
}

// A port is let go as soon as the last record naming it is done, not when
// the whole workflow ends: here another port's work waits for it and gets it.
TEST(RunOnPorts, LetsEachPortGoAfterItsLastRecord)
{
    ModemPeer first({});
    ModemPeer second({});
    ComPortBaseInfo_t done = SendingRecord();
    done.strPortName = first.Path();
    ComPortBaseInfo_t waiting = SendingRecord();
    waiting.strPortName = second.Path();
    const std::vector<ComPortBaseInfo_t> records = {done, waiting};

    int taken = 0;
    CCheckManager manager;
    manager.RunOnPorts(records, TAKE_ALWAYS, [&](std::size_t i, ModemWork_t& modem) {
        ASSERT_EQ(modem.taken, PORTS_TAKEN);
        if (i == 1) {
            // As another program would: it waits up to 10 s for the first port.
            CComPortBase other(first.Path(), 9600, 10000);
            taken = other.Open();
        }
    });

    EXPECT_EQ(taken, 1);
}

// One pass over each of a modem's AT ports: each port's input lands in its
// own slot, accumulates across calls, and a port that is missing or whose
// device went away is left out from then on while the others are still read.
TEST(ReadEachPortOnce, KeepsEachPortsInputApartAcrossPasses)
{
    const ReadCycles fast(20);  // 10 ms passes
    ASSERT_EQ(CComPortBase::ResetAllComPort(), 0);
    PtyPair first;
    PtyPair second;
    PtyPair gone;
    CComPortBase a(first.path, 115200);
    CComPortBase b(second.path, 115200);
    CComPortBase c(gone.path, 115200);
    ASSERT_EQ(a.Open() + b.Open() + c.Open(), 3);
    const std::vector<CComPortBase*> ports = {&a, nullptr, &b, &c};

    // Input waiting on the later ports while the first is read is not lost.
    first.Send("\r\nOK\r\n");
    second.Send("\r\n+CUSD: 0,\"Bal");
    ASSERT_TRUE(first.SlaveReadable());
    ASSERT_TRUE(second.SlaveReadable());
    std::vector<PortInput_t> inputs;
    EXPECT_TRUE(ReadEachPortOnce(ports, MonotonicUsec() + 2000000, inputs));
    ASSERT_EQ(inputs.size(), ports.size());
    EXPECT_EQ(inputs[0].input, "\r\nOK\r\n");
    EXPECT_EQ(inputs[2].input, "\r\n+CUSD: 0,\"Bal");
    EXPECT_EQ(inputs[3].input, "");
    EXPECT_FALSE(inputs[1].alive);
    EXPECT_TRUE(inputs[0].alive && inputs[2].alive && inputs[3].alive);

    // The rest of a line comes with the next pass, after what came before.
    second.Send("ance\",15\r\n");
    ASSERT_TRUE(second.SlaveReadable());
    gone.CloseMaster();  // the modem's tty went away
    EXPECT_TRUE(ReadEachPortOnce(ports, MonotonicUsec() + 2000000, inputs));
    EXPECT_EQ(inputs[0].input, "\r\nOK\r\n");
    EXPECT_EQ(inputs[2].input, "\r\n+CUSD: 0,\"Balance\",15\r\n");
    EXPECT_FALSE(inputs[3].alive);

    // A deadline already past ends every pass at once; nothing is read then.
    first.Send("late");
    ASSERT_TRUE(first.SlaveReadable());
    const int64_t before = MonotonicUsec();
    ReadEachPortOnce(ports, before, inputs);
    EXPECT_LT(MonotonicUsec() - before, 1000000);
    EXPECT_EQ(ReadEachPortOnce({nullptr}, before, inputs), false);
}

}  // namespace
