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

// What a stored entry is: a message, or a report on the delivery of one
// this modem sent.
enum SmsKind_t
{
    SMS_KIND_MESSAGE = 0,
    SMS_KIND_STATUS_REPORT = 1
};

// One received message as handed to the controller.
struct SmsRecvStruct_t
{
    std::string from;  // sender number as decoded; of a status report, the recipient
    std::string time;  // "YY-MM-DD hh:mm:ss", or empty; of a status report, the discharge time
    std::string text;  // message text; of a status report, gsmStatusText of its status
    SmsKind_t kind = SMS_KIND_MESSAGE;
    int status = 0;     // status report: the status (TP-ST)
    int reference = 0;  // status report: the reference of the reported message (TP-MR)

    bool IsOk() const { return !from.empty() && !time.empty() && !text.empty(); }
    void Reset()
    {
        from.clear();
        time.clear();
        text.clear();
        kind = SMS_KIND_MESSAGE;
        status = 0;
        reference = 0;
    }
};

#endif
