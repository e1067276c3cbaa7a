#ifndef TARNEL_SMSRECV_H
#define TARNEL_SMSRECV_H

#include <cstdint>
#include <string>
#include <vector>

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

// What a stored entry is: a message, a report on the delivery of one this
// modem sent, or a message whose text cannot be read.
enum SmsKind_t
{
    SMS_KIND_MESSAGE = 0,
    SMS_KIND_STATUS_REPORT = 1,
    // A whole message whose user data no text can be read from (compressed
    // data, a text encoding this program does not know): `text` shows its
    // octets as gsmHexDataText gives them, "[compressed data, 3 bytes] 414243".
    SMS_KIND_UNDECODABLE = 2,
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
    // The storage indices of every stored part of this message, in part order
    // (one for a single message), in the storage that was listed: deleting
    // exactly these deletes exactly this message. A negative entry is a part
    // whose index the model could not learn; such a part cannot be deleted
    // by index. Empty only in records built by hand.
    std::vector<int> indices;
    // False for a concatenated message missing a part (its present parts
    // joined), and for a part shown alone because the message it belongs to
    // cannot be told (see SmsInfoVecToSmsRecvStructVec).
    bool complete = true;
    // The service-centre time stamp of its newest part (of a status report,
    // the discharge time) as seconds since 1970-01-01 UTC, its time zone
    // applied; hasStamp is false where none was readable (a stored outgoing
    // message, a CDMA message, whose times carry no zone).
    bool hasStamp = false;
    int64_t stampUtc = 0;

    bool IsOk() const { return !from.empty() && !time.empty() && !text.empty(); }
    // Every field back to its initial value.
    void Reset() { *this = SmsRecvStruct_t(); }
};

#endif
