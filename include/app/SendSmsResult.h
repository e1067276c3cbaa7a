#ifndef TARNEL_SENDSMSRESULT_H
#define TARNEL_SENDSMSRESULT_H

#include <string>

// The outcome of sending one message from one port to one number.
struct SendSmsResult_t
{
    std::string com;      // full port path, e.g. "/dev/ttyUSB0"
    std::string number;   // the receiving number as entered
    std::string time;     // GetCurTimeStr() when this number's turn began
    int code = 0;         // an SMS_CODE_ENUM value
    std::string message;  // reason text
    // The modem's identity, empty where it is not known.
    std::string imei;
    std::string iccid;
    std::string usb;      // USB position, e.g. "1-1.3"
};

#endif
