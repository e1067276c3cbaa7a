#ifndef TARNEL_SMSRECV_H
#define TARNEL_SMSRECV_H

#include <string>

#include "SmsParam.h"

// Header values of one stored message, from its "+CMGL: <index>,<stat>,..." line.
struct SmsMode
{
    int index = -1;  // storage index
    int stat = -1;   // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
};

// One parsed entry of a listing: its header and its decoded PDU.
struct SmsInfo
{
    SmsMode mode;
    SM_PARAM param{};  // zero until decoded, so fields the decoder leaves read 0
};

// One received message as handed to the controller.
struct SmsRecvStruct_t
{
    std::string from;  // sender number as decoded
    std::string time;  // "YY-MM-DD hh:mm:ss", or empty
    std::string text;  // message text

    bool IsOk() const { return !from.empty() && !time.empty() && !text.empty(); }
    void Reset()
    {
        from.clear();
        time.clear();
        text.clear();
    }
};

#endif
