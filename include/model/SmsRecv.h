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

// Whether a stored entry was read whole, and if not, what was wrong with it.
// Only a whole entry may be believed, reported as a message and deleted: the
// others are to be read again by their index (CPhoneCardBase::GetReadOneSmsCmd).
enum SmsEntryState_t
{
    SMS_ENTRY_WHOLE = 0,
    SMS_ENTRY_NO_BODY = 1,          // the PDU line (or CDMA text) is missing or empty
    SMS_ENTRY_NOT_HEX = 2,          // the PDU line holds a character that is no hex digit, or an odd count
    SMS_ENTRY_LENGTH_DIFFERS = 3,   // the header announces no length, or another one than the PDU has
    SMS_ENTRY_INDEX_REPEATED = 4,   // one listing shows the same storage index more than once
};

// Which message storage of the modem an entry is stored in. The listing of
// one storage does not know: its entries are SMS_STORAGE_LISTED until the
// controller, which selected the storage, names it.
enum SmsStorage_t
{
    SMS_STORAGE_LISTED = 0,  // the storage that was listed
    SMS_STORAGE_ME = 1,      // the modem's memory
    SMS_STORAGE_SM = 2,      // the SIM card
    SMS_STORAGE_SR = 3,      // status reports, where a modem keeps them apart
};

// One parsed entry of a listing: its header and its decoded PDU.
struct SmsInfo
{
    SmsMode mode;
    SmsStorage_t storage = SMS_STORAGE_LISTED;
    SM_PARAM param{};  // zero until decoded, so fields the decoder leaves read 0
    SmsEntryState_t state = SMS_ENTRY_WHOLE;
    std::string raw;   // the entry's text as the modem gave it: header line, CR LF, its body
};

// What a stored entry is: a message, a report on the delivery of one this
// modem sent, a message whose text cannot be read, or an entry that was not
// read whole.
enum SmsKind_t
{
    SMS_KIND_MESSAGE = 0,
    SMS_KIND_STATUS_REPORT = 1,
    // A whole message whose user data no text can be read from (compressed
    // data, a text encoding this program does not know): `text` shows its
    // octets as gsmHexDataText gives them, "[compressed data, 3 bytes] 414243".
    SMS_KIND_UNDECODABLE = 2,
    // An entry that was not read whole (SmsEntryState_t): `raw` holds what the
    // modem gave, `entryIndex` its storage index; from, time and text are
    // empty and `indices` is empty, so that nothing unread is ever deleted.
    // It is `complete`: no part of it is awaited.
    SMS_KIND_UNREADABLE = 3,
};

// One received message as handed to the controller.
struct SmsRecvStruct_t
{
    std::string from;  // sender number as decoded; of a status report, the recipient
    std::string time;  // "YY-MM-DD hh:mm:ss", or empty; of a status report, the discharge time
    std::string text;  // message text; of a status report, gsmStatusText of its status
    SmsKind_t kind = SMS_KIND_MESSAGE;
    SmsEntryState_t state = SMS_ENTRY_WHOLE;  // SMS_KIND_UNREADABLE: why
    int entryIndex = -1;                      // SMS_KIND_UNREADABLE: its storage index, to read it again
    std::string raw;                          // SMS_KIND_UNREADABLE: the entry as the modem gave it, any bytes
    int status = 0;     // status report: the status (TP-ST)
    int reference = 0;  // status report: the reference of the reported message (TP-MR)
    // The storage indices of every stored part of this message, in part order
    // (one for a single message), in the storage that was listed: deleting
    // exactly these deletes exactly this message. A negative entry is a part
    // whose index the model could not learn; such a part cannot be deleted
    // by index. Empty only in records built by hand and in SMS_KIND_UNREADABLE
    // ones.
    std::vector<int> indices;
    // The storage of each entry of `indices` (parts of one message may lie
    // in both storages of a modem); may be empty where every part is in the
    // storage that was listed.
    std::vector<SmsStorage_t> storages;
    // The storage it is reported from: that of its first part present (of an
    // SMS_KIND_UNREADABLE record, its entry's).
    SmsStorage_t storage = SMS_STORAGE_LISTED;
    // False for a concatenated message missing a part (its present parts
    // joined), and for a part shown alone because the message it belongs to
    // cannot be told (see SmsInfoVecToSmsRecvStructVec).
    bool complete = true;
    // Of a concatenated message: its reference and part count as the sender
    // numbered the parts (with `from`, what tells it from other long
    // messages); -1 and 0 for any other record.
    int partReference = -1;
    int partCount = 0;
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
