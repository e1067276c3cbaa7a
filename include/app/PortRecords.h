#ifndef TARNEL_PORTRECORDS_H
#define TARNEL_PORTRECORDS_H

// The records that describe a serial port: what detection found on it, its
// entry in the device table, and a port chosen for one operation.

#include <cstdint>
#include <string>
#include <vector>

#include "PhoneType.h"
#include "UsbPlace.h"

// Named constants shared by the workflows.
const int MAX_INPUT_TRY_COUNT = 3;  // tries of a validated dialogue
const int MAX_PHONE_LEN = 30;       // a phone number is shorter
// The line speeds detection tries, in order.
const int DETECT_RATES[] = {9600, 115200};

// The result of examining one port during detection. Text fields are
// zero-terminated and zero-filled at construction.
struct DeviceBaseComInfo
{
    char szPortName[32] = {};
    int32_t nBaudRate = 0;
    int32_t nPhoneType = PHONE_TYPE_BASE;
    char szSmsCardNumber[64] = {};
    char szSignal[64] = {};
    char szSerialNumber[64] = {};
    char szAtiRsp[512] = {};
    bool bAtOk = false;
    bool bChecked = false;
    int32_t nReserved1 = 0;
    int32_t nReserved2 = 99;
    int32_t nReserved3 = 0;
    std::string strReserved;
    bool bOpened = false;   // the port could be taken and configured at some rate
    bool bBusy = false;     // another program held it; it was not touched
    int32_t nBusyPid = 0;   // that program's PID, 0 when it cannot be told
    std::string strLockError;  // why its lock could not be taken, when no holder is why
    UsbPlace_t usb;         // where the tty sits on USB, when sysfs tells
};

// The ttys of one modem beside the one it is listed under.
struct ModemTtys_t
{
    std::vector<std::string> all;      // every tty of the modem, its AT port included, in port order
    std::vector<std::string> otherAt;  // its other AT ports, in port order; the first is its second AT port
    UsbPlace_t usb;                    // the USB device of its AT port, when sysfs tells

    // The modem's second AT port, or "".
    std::string Second() const { return otherAt.empty() ? std::string() : otherAt.front(); }
};

namespace Win32 {
// One entry of the device table.
struct CommInfo
{
    bool bAtOk = false;
    bool bChecked = false;
    std::string strPortName;
    std::string strSmsCardNumber;
    std::string strBaudRate;
    std::string strSerialNumber;
    std::string strSignal;
    std::string strReserved1;
    int32_t nReserved1 = 0;
    std::string strAtiRsp;
    int32_t nReserved2 = 0;
    int32_t nReserved3 = 0;
    int32_t nReserved4 = 0;
    std::string strReserved2;
    bool bOpened = false;   // as in DeviceBaseComInfo
    bool bBusy = false;
    int32_t nBusyPid = 0;
    std::string strLockError;
    ModemTtys_t modem;      // the modem this entry stands for
};
}  // namespace Win32

// A port chosen by the user for one operation.
struct ComPortBaseInfo_t
{
    std::string strPortName;
    int32_t nBaudRate = 9600;
    bool bAtOk = false;
    std::string strSmsCardNumber;
    std::string strSignal;
    std::string strSerialNumber;
    PHONE_TYPE_t nPhoneType = PHONE_TYPE_BASE;
    bool bInTable = true;
    bool bOpened = true;    // false when detection could not take the port at all
    bool bBusy = false;     // another program holds it (found by the scan, or after the wait)
    int32_t nBusyPid = 0;   // that program's PID, 0 when it cannot be told
    ModemTtys_t modem;      // the modem's ttys, as the table entry has them
    // Why its lock file could not be taken when no holder is why (a read-only
    // or full lock folder): the port was not touched. Empty otherwise.
    std::string strLockError;

    // Another program holds it or its lock cannot be taken: not usable now,
    // and said so rather than left out.
    bool Unavailable() const { return bBusy || !strLockError.empty(); }
};

// The device table entry of a detection record: flags copied, texts taken
// up to their terminating zero, the rate in decimal.
Win32::CommInfo TableEntryOf(const DeviceBaseComInfo& record);

// The decimal baud-rate text of a device table entry as a number, clamped to
// 32 bits (atoi's overflow is undefined); 0 when the text holds no number.
int32_t BaudRateOf(const std::string& text);

#endif
