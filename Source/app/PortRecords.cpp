#include "PortRecords.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

}  // namespace

Win32::CommInfo TableEntryOf(const DeviceBaseComInfo& record)
{
    Win32::CommInfo entry;
    entry.bAtOk = record.bAtOk;
    entry.bChecked = record.bChecked;
    entry.strPortName = FieldText(record.szPortName);
    entry.strSmsCardNumber = FieldText(record.szSmsCardNumber);
    entry.strBaudRate = std::to_string(record.nBaudRate);
    entry.strSerialNumber = FieldText(record.szSerialNumber);
    entry.strSignal = FieldText(record.szSignal);
    entry.strAtiRsp = FieldText(record.szAtiRsp);
    entry.bOpened = record.bOpened;
    entry.bBusy = record.bBusy;
    entry.nBusyPid = record.nBusyPid;
    entry.strLockError = record.strLockError;
    entry.modem.all = {entry.strPortName};
    entry.modem.usb = record.usb;
    return entry;
}

int32_t BaudRateOf(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}
