#ifndef TARNEL_BASIC_H
#define TARNEL_BASIC_H

// The records that describe a serial port, and the wall-clock helpers.

#include <cstdint>
#include <string>

#include "PhoneType.h"

// Named constants shared by the workflows.
const int MAX_INPUT_TRY_COUNT = 3;  // tries of a validated dialogue
const int MAX_PHONE_LEN = 30;       // a phone number is shorter
const int LINUX_SLEEP = 1000;       // microseconds between reads of a command exchange

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
};

// Timing values of set.ini (section "comm"), written once at start-up:
// "def" and, only when it is 1, "time1".."time10" (element 0 is time1,
// the initial number of polling cycles of one serial read when above 0).
extern int32_t g_nWinUserSet;
extern int32_t g_nWinUserValue[10];

// The decimal baud-rate text of a device table entry as a number, clamped to
// 32 bits (atoi's overflow is undefined); 0 when the text holds no number.
int32_t BaudRateOf(const std::string& text);

// Wall-clock time in microseconds since the epoch.
int64_t time_usec2();

// Sleeps until time_usec2() reaches `until`, in slices of at most 10 ms so that
// a clock change is noticed; returns 0 at once when `until` is already past.
int32_t usleep_until2(uint64_t until);

#endif
