// Read-and-clear on one port stopped by a stop request: no delete after
// it, and the messages read are still handed back. In a forked child, since
// a stop request cannot be taken back. The deletes themselves are checked
// end to end (tests/e2e/test_sms_readclear.py).

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "CCheckManager.h"
#include "ComPortBase.h"
#include "InChild.h"
#include "ModemPeer.h"
#include "PhoneCardBase.h"
#include "SendTestSupport.h"
#include "SmsJournal.h"
#include "StopSignal.h"

namespace {

// A real SMS-DELIVER from the PDU fixtures.
std::string Gsm7AsciiPdu()
{
    std::ifstream in(std::string(TARNEL_FIXTURES) + "/pdu/gammu.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("deliver\tGsm7Ascii\t", 0) == 0) {
            std::istringstream fields(line);
            std::string kind, name, pdu;
            std::getline(fields, kind, '\t');
            std::getline(fields, name, '\t');
            std::getline(fields, pdu, '\t');
            return pdu;
        }
    }
    return "";
}

TEST(ReadAndClearPort, StopRequestEndsTheDeletesAtOnce)
{
    const std::string pdu = Gsm7AsciiPdu();
    ASSERT_FALSE(pdu.empty());
    const int verdict = InChild([&pdu] {
        // Both storages list two messages; the first delete is answered
        // slowly, and the stop comes while it is on its way.
        const std::string length = std::to_string(pdu.size() / 2 - 1 - std::stoul(pdu.substr(0, 2), nullptr, 16));
        const std::string listing = "\r\n+CMGL: 1,1,," + length + "\r\n" + pdu + "\r\n+CMGL: 2,1,," + length +
                                    "\r\n" + pdu + "\r\n\r\nOK\r\n";
        ModemPeer peer({{"AT+CMGL=4\r", {listing}}, {"AT+CMGD=1\r", {"\r\n", "OK\r\n"}}, {"\r", {"\r\nOK\r\n"}}},
                       300);
        ReadCycles cycles(20);
        ComPortBaseInfo_t info;
        info.strPortName = peer.Path();
        info.nBaudRate = 115200;
        info.strSmsCardNumber = "8986001";
        info.nPhoneType = PHONE_TYPE_EC20F;

        CCheckManager manager;
        CComPortBase port(info.strPortName, info.nBaudRate);
        ModemWork_t modem(info, &port);
        char folder[] = "/tmp/tarnel-journal.XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            return 4;
        }
        SmsJournal journal(folder);
        CCheckManager::PortReadClear_t result;
        std::thread worker([&] { result = manager.ReadAndClearPort(modem, journal); });
        for (int i = 0; i < 10000 && peer.Received().find("AT+CMGD=1\r") == std::string::npos; ++i) {
            usleep(1000);
        }
        RequestStop(SIGTERM);
        worker.join();

        const std::string sent = peer.ReceivedWhenQuiet();
        // Kept before the first delete, and left there: no document took them.
        const bool kept = journal.HoldsEntries();
        journal.RemoveHeldEntries();
        rmdir(folder);
        if (!kept) {
            return 5;
        }
        if (CountOf(sent, "AT+CMGD=") != 1) {
            return 1;  // a delete after the stop, or none at all
        }
        if (!result.stopped || result.cleared) {
            return 2;
        }
        if (result.me.size() != 2 || result.sm.size() != 2 || result.read.me != CCheckManager::STORAGE_READ ||
            result.read.sm != CCheckManager::STORAGE_READ) {
            return 3;  // what was read must still be handed back
        }
        return 0;
    });
    EXPECT_EQ(verdict, 0);
}

}  // namespace
