#ifndef TARNEL_PHONECARDBASE_H
#define TARNEL_PHONECARDBASE_H

// The modem object: builds every AT command text and judges every answer for
// one modem, never touching the port itself. The controller writes a command,
// then hands the whole answer received so far to the matching On... handler
// after each read, until the handler gives a final verdict.
//
// Model classes (CPhone_*) derive from this class and replace single
// operations where their firmware differs. Handlers take the answer by value
// and never read outside it, whatever bytes arrive.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ModemHealth.h"
#include "NewMessageIndication.h"
#include "PduLongSms.h"
#include "PhoneType.h"
#include "SmsRecv.h"
#include "UssdText.h"
#include "basic.h"

// Answer verdicts of the handlers that the controller's read loops use.
constexpr int RSP_OK = 0;     // complete and good: stop reading
constexpr int RSP_ERROR = 1;  // complete and failed: stop reading; text in GetErrorMessage()
constexpr int RSP_MORE = 2;   // not complete: read more and call again with the whole answer

// Result code of a port or of one send. Fixed underlying type, so any int a
// caller stores converts without leaving the type's range.
enum SMS_CODE_ENUM : int
{
    SMS_SUCCEED = 0,
    SMS_FAILED_UNKNOWN = 1,
    SMS_DEVICE_NOT_AT = 2,
    SMS_NOT_SUPPORTED_DEVICE = 3,
    SMS_NO_SIM_CARD = 4,
    SMS_NO_SIGNAL = 5,
    SMS_NO_SUCH_PORT = 6,
    SMS_NOT_SUPPORTED_SMS_DEVICE = 7,
    SMS_SIM_LOCKED = 8,            // PIN, PUK or another lock; the result's message says which
    SMS_NOT_REGISTERED = 9,        // searching or not registered after regwait, or the radio off
    SMS_REGISTRATION_DENIED = 10,
    SMS_SIM_BUSY = 11,             // still busy after the SIM-busy wait
    SMS_SIM_FAILURE = 12,
};
// Codes with texts: 0 .. SMS_CODE_COUNT - 1.
constexpr int SMS_CODE_COUNT = 13;

// Long English text of a code, the same in both builds ("Unknown reason"
// outside 0 .. SMS_CODE_COUNT - 1).
std::string GetSmsCodeEnglishStr(SMS_CODE_ENUM code);
// Short label of a code from the build's catalogue; code 1 and values outside
// 0 .. SMS_CODE_COUNT - 1 show the label of code 2.
std::string GetSmsCodeChineseStr(SMS_CODE_ENUM code);

class CPhoneCardBase
{
public:
    CPhoneCardBase() = default;
    virtual ~CPhoneCardBase() = default;

    // ---- virtual operations, in slot order

    virtual std::string GetATCmd() const;
    virtual int OnGetAtCmdRsp(std::string rsp);
    virtual std::string GetAtiCmd() const;
    // Keeps the answer (GetAtiRspString). Once its final result line has
    // arrived: RSP_OK when IsATI_RspMatch accepts the whole answer, else
    // RSP_ERROR; RSP_MORE before.
    virtual int OnGetAtiCmdRsp(std::string rsp);
    // A complete sample answer of the model to ATI (test data; "" here).
    virtual std::string Get_ATI_Rsp() const;
    // True when the ATI answer names this model (here: contains "OK").
    virtual bool IsATI_RspMatch(std::string rsp) const;
    virtual std::string GetCCIDCmd() const;
    virtual bool OnCCIDCmdRsp(std::string rsp);
    virtual std::string GetCallCmd(std::string number) const;
    virtual bool OnCallCmdRsp(std::string rsp);
    virtual std::string GetHungUpCmd() const;
    virtual bool OnHungUpCmdRsp(std::string rsp);
    virtual std::string SetSmsModeTextCmd() const;
    virtual bool OnSetSmsModeTextCmdRsp(std::string rsp);
    virtual std::string SetSmsPDUModeCmd() const;
    virtual int OnSetSmsPduModeCmdRsp(std::string rsp);
    // Send steps of one SMS: a long text goes through GetSendLongPduSmsCmd,
    // a short one through GetSendSmsModePDUCmd. An EMPTY result means the SMS
    // cannot be sent at all (text valid neither in the locale nor as UTF-8,
    // destination not an optional '+' and 1..20 digits, more than 255 parts):
    // report it as a failed send with GetErrorMessage() as the reason; never
    // as a success. The same holds for the two builders below.
    virtual std::vector<PDU_LONG_SMS_Base_t> GetSendPduSmsCmdArray(std::string phone, std::string text);
    // Final answer after a PDU; sets the retry flag on an error code 500..600.
    virtual int OnSendPduSmsContextCmdRsp(std::string rsp);
    // Answer to "AT+CMGS=<n>": RSP_OK at the "> " prompt at a line start,
    // RSP_ERROR on a complete error line.
    virtual int OnSendPduSmsLenCmdRsp(std::string rsp);
    virtual std::string GetSendSMS_PhoneCmd(std::string phone) const;
    virtual bool OnSendSMS_PhoneCmd(std::string rsp);
    virtual std::string GetSendSMS_ContextCmd(std::string text) const;
    virtual bool OnSendSMS_ContextCmd(std::string rsp);
    virtual std::string GetReceiveSmsCmd() const;
    virtual bool OnReceiveSmsCmdRsp(std::string rsp);
    virtual std::string GetSetReceiveSmsStoreCmd() const;
    virtual bool OnSetReceiveSmsStoreCmdRsp(std::string rsp);
    virtual std::string GetQueryReceiveSmsStoreCmd() const;
    virtual bool OnQueryReceiveSmsStoreCmdRsp(std::string rsp);
    // Reads the SIM card number (ICCID) despite its name.
    virtual std::string GetIMSI_Cmd() const;
    virtual int OnGetIMSI_CmdRsp(std::string rsp);
    virtual std::string GetIMEI_Cmd() const;
    virtual int OnGetIMEI_Cmd(std::string rsp);
    virtual std::string GetSignalStrengthCmd() const;
    virtual int OnGetSignalStrengthCmdRsp(std::string rsp);
    virtual std::string GetQuerySmsCenterCmd() const;
    virtual int OnGetQuerySmsCenterCmdRsp(std::string rsp);
    virtual std::string GetDelAllSmsCmd() const;
    virtual int OnDelAllSmsCmdRsp(std::string rsp);
    virtual std::string GetRecvSmsCompatibleModeCmd() const;
    virtual int OnGetRecvSmsCompatibleModeCmdRsp(std::string rsp);
    virtual std::string GetReadAllSmsCmd() const;
    // Rebuilds the received list from the whole listing read so far.
    virtual int OnReadAllSmsCmdRsp(std::string rsp);
    // True while a model that reads one message at a time has messages left.
    virtual bool NotFinished() const;
    virtual std::string GetReadNextSmsCmd();
    // The answer to GetReadNextSmsCmd(): RSP_OK when it is complete and its
    // message was read whole, RSP_ERROR for a complete error answer, one
    // without a message, or one whose message was not read whole (kept as an
    // SMS_KIND_UNREADABLE record: reported, never deleted), RSP_MORE before
    // its final result line. Only a final verdict changes the received list.
    virtual int OnReadNextSmsCmdRsp(std::string rsp);
    virtual PHONE_TYPE_t GetPhoneType() const;
    virtual std::string GetSmsCardNumber() const;
    virtual std::string GetSignalStrength() const;
    virtual std::string GetSerialNumber() const;
    // The last error text without the CR and LF at its ends.
    virtual std::string GetErrorMessage();
    virtual bool HasME() const;
    virtual std::string GetReadSmsOnMeCmd() const;
    virtual int OnGetReadSmsOnMeCmd(std::string rsp);
    virtual std::string GetReadSmsOnSmCmd() const;
    virtual int OnGetReadSmsOnSmCmd(std::string rsp);
    // Commands sent, in order, before sending or reading.
    virtual std::vector<std::string> GetInitAtCmd() const;
    virtual int OnInitAtCmdRsp(std::string rsp);
    virtual std::vector<PDU_LONG_SMS_Base_t> GetSendLongPduSmsCmd(std::string phone, std::string text);
    virtual std::vector<PDU_LONG_SMS_Base_t> GetSendSmsModePDUCmd(std::string phone, std::string text);
    // Deletes one stored message of the selected storage by its index (an
    // entry of SmsRecvStruct_t::indices): "AT+CMGD=<index>\r", which every
    // family takes; "" for a negative index, which names no stored message.
    virtual std::string GetDelSmsCmd(int index) const;
    // Verdict on the first complete final result line only: "OK" gives
    // RSP_OK; "ERROR", "+CMS ERROR: <n>" or "+CME ERROR: <n>" give RSP_ERROR
    // with that line as the error message; anything else, a final line still
    // waiting for its line end included, RSP_MORE.
    virtual int OnDelSmsCmdRsp(std::string rsp);
    // Reads the stored message at `index` of the selected storage again, as
    // the workflow does for an SMS_KIND_UNREADABLE record of the last listing
    // (its entryIndex) before it reports it: "AT+CMGR=<index>\r\n" here, the
    // model's own read command where it has one; "" for a negative index.
    // Call it after the listing (or the last GetReadNextSmsCmd) and before
    // the next listing, with the storage of that listing still selected.
    virtual std::string GetReadOneSmsCmd(int index);
    // The answer to GetReadOneSmsCmd, judged as a listing entry is (the
    // length its header announces against its body): RSP_OK when the message
    // came whole; every entry of the last listing at that index then gives
    // way to it and the received list is rebuilt, so a part read again joins
    // its long message. RSP_ERROR for an error answer (its line in
    // GetErrorMessage()), an answer without a message or one not whole: the
    // received list is left as it was, its record still SMS_KIND_UNREADABLE.
    // RSP_MORE before the final result line.
    virtual int OnReadOneSmsCmdRsp(std::string rsp);
    // Asks the modem's clock: "AT+CCLK?\r".
    virtual std::string GetClockCmd() const;
    // "+CCLK: \"yy/MM/dd,hh:mm:ss±zz\"" (zz in quarter hours; a four-digit
    // year is taken too) then "OK". Verdicts on complete final result lines
    // as OnDelSmsCmdRsp; an "OK" answer without a readable date, time and
    // zone gives RSP_ERROR, for a time without its zone is no instant.
    // Before each verdict the clock is forgotten, and only RSP_OK leaves one
    // for GetModemClock.
    virtual int OnGetClockCmdRsp(std::string rsp);

    // ---- health (PhoneCardBaseHealth.cpp): each answer handler below gives
    // RSP_MORE until the answer's first final result line, and then writes
    // its part of GetHealth().

    // Numbered +CME errors, so a refusal says why: "AT+CMEE=1\r".
    virtual std::string GetReportErrorsCmd() const;
    virtual int OnReportErrorsCmdRsp(std::string rsp);
    // "AT+CPIN?\r". RSP_OK with the state of the "+CPIN:" line; RSP_ERROR
    // with the state the error line says in numbers or words (absent, busy,
    // failure, a lock), unknown for any other.
    virtual std::string GetSimStateCmd() const;
    virtual int OnGetSimStateCmdRsp(std::string rsp);
    // "AT+CREG?\r", "AT+CGREG?\r" or "AT+CEREG?\r"; "" where the domain does
    // not apply to the model. The answer is judged for the domain last asked.
    virtual std::string GetRegistrationCmd(RegDomain_t domain);
    // RSP_OK with the domain's state from its solicited line (unsolicited
    // lines in the answer are passed over; an OK without one reads unknown),
    // RSP_ERROR for a refusal, which leaves the domain REG_STATE_NO_ANSWER.
    virtual int OnGetRegistrationCmdRsp(std::string rsp);
    // "AT+CFUN?\r": radio off when "+CFUN:" says other than 1.
    virtual std::string GetRadioStateCmd() const;
    virtual int OnGetRadioStateCmdRsp(std::string rsp);
    // "AT+COPS=3,0\r": the operator's long name from now on. A refusal stops nothing.
    virtual std::string GetOperatorFormatCmd() const;
    virtual int OnSetOperatorFormatCmdRsp(std::string rsp);
    // "AT+COPS?\r": the operator's name and <AcT>, forgotten before each verdict.
    virtual std::string GetOperatorCmd() const;
    virtual int OnGetOperatorCmdRsp(std::string rsp);
    // "AT+CSCS?\r", but only when the operator's name may be UCS-2 hex
    // (an alphanumeric name of whole hex units); "" otherwise. A "UCS2"
    // answer turns the name into UTF-8.
    virtual std::string GetCharsetCmd() const;
    virtual int OnGetCharsetCmdRsp(std::string rsp);
    // ---- USSD (PhoneCardBaseUssd.cpp)

    // Whether the modem takes USSD codes at all; a model without (the CDMA
    // one) is never sent a USSD command.
    virtual bool SupportsUssd() const;
    // How the modem carries 7-bit USSD texts both ways: in the character set
    // in force (the code as typed, "GSM" set for the request) or packed as hex.
    virtual UssdSevenBitForm_t GetUssdSevenBitForm() const;
    // The query of a firmware setting that chooses that form, where the
    // model's modems have one ("" where the form is fixed: nothing is sent);
    // its answer handler keeps what the setting says for GetUssdSevenBitForm.
    virtual std::string GetUssdModeCmd() const;
    virtual int OnGetUssdModeCmdRsp(std::string rsp);
    // "AT+CSCS?\r": the character set in force, kept for restoring it and for
    // reading the reply (GetUssdCharset; "" when the modem did not say).
    virtual std::string GetUssdCharsetCmd() const;
    virtual int OnGetUssdCharsetCmdRsp(std::string rsp);
    // "AT+CSCS=\"<charset>\"\r"; "" for a name that is no character set.
    virtual std::string GetSetCharsetCmd(const std::string& charset) const;
    virtual int OnSetCharsetCmdRsp(std::string rsp);
    // "AT+CUSD=1,\"<code>\",15\r", the code packed where the model's form asks.
    virtual std::string GetUssdRequestCmd(const std::string& code) const;
    // RSP_OK once a whole "+CUSD:" reply came, before or after the final OK
    // (GetUssdReply); RSP_ERROR for an error line before any reply (the
    // error message); RSP_MORE otherwise, also after OK: the reply comes
    // seconds later. GetUssdReplyStarted tells a reply cut short.
    virtual int OnUssdRequestRsp(std::string rsp);
    // What another AT port of the modem brought while the request waited
    // (some modems send the reply only to their primary port): RSP_OK once
    // it holds a whole "+CUSD:" reply (GetUssdReply), RSP_MORE otherwise,
    // whatever else it holds: no line there answers the request.
    virtual int OnUssdReplyElsewhereRsp(std::string rsp);
    // "AT+CUSD=2\r": ends a session the network left open (a menu).
    virtual std::string GetUssdCancelCmd() const;
    virtual int OnUssdCancelRsp(std::string rsp);
    const UssdLine_t& GetUssdReply() const { return m_ussdReply; }
    bool GetUssdReplyStarted() const { return m_bUssdReplyStarted; }
    const std::string& GetUssdCharset() const { return m_strUssdCharset; }

    // ---- new-message indications (PhoneCardBaseWatch.cpp)

    // "AT+CNMI=?\r": the values the modem offers (GetIndicationOffer, the
    // "+CNMI:" line without its token; "" when it gave none).
    virtual std::string GetIndicationOfferCmd() const;
    virtual int OnIndicationOfferRsp(std::string rsp);
    // "AT+CNMI?\r": the setting in force (GetIndicationSetting, as above).
    virtual std::string GetIndicationSettingCmd() const;
    virtual int OnIndicationSettingRsp(std::string rsp);
    // "AT+CNMI=<values>\r" of `setting` (IndicationSettingCmd); the answer
    // is judged by OnOkErrorRsp.
    virtual std::string GetSetIndicationCmd(const IndicationSetting_t& setting) const;
    virtual int OnSetIndicationRsp(std::string rsp);
    // "AT+CPMS=\"SR\"\r\n": the status-report storage for reading and deleting.
    virtual std::string GetReadSmsOnSrCmd() const;
    virtual int OnGetReadSmsOnSrCmd(std::string rsp);
    // The announcements among the complete lines of `pending`, text the
    // modem sent unasked (TakeNewMessageIndications of NewMessageIndication.h
    // here); the lines are taken out of `pending`.
    virtual std::vector<NewMessage_t> TakeNewMessages(std::string& pending) const;
    const std::string& GetIndicationOffer() const { return m_strIndicationOffer; }
    const std::string& GetIndicationSetting() const { return m_strIndicationSetting; }

    // What the health answers so far said.
    const ModemHealth_t& GetHealth() const { return m_health; }

    // ---- non-virtual members

    bool IsSendPduSmsRetry() const { return m_bSendRetry; }
    std::string GetAtiRspString() const { return m_strAtiRsp; }
    std::vector<SmsRecvStruct_t> GetReadSms() const { return m_vecRecvSms; }
    // The entries GetReadSms() was made from (the last listing, with what was
    // read again by index); empty for a model that makes its messages
    // without entries (the CDMA model), whose messages have no parts.
    std::vector<SmsInfo> GetReadEntries() const { return m_vecSmsEntries; }
    // Whether listings also report a concatenated message that still misses a
    // part, its present parts joined in part order, with `complete` false
    // (off by default: a plain listing waits for the missing part). Turn it
    // on before reading a storage that is about to be cleared, and leave the
    // messages still arriving (JudgeSmsReadiness, IncompleteSms.h) on the
    // modem, or the present parts are lost unseen.
    void SetReportIncompleteSms(bool report) { m_bReportIncompleteSms = report; }
    // How the PDU send forms encode a text (UCS-2 by default): with
    // SMS_ENCODING_AUTO a text that fits the GSM 7-bit alphabet and its
    // extension table goes out in 7-bit (up to 160 septets in one SMS, else
    // parts of 153), any other in UCS-2. Models with their own send commands
    // (the CDMA model) keep their encoding.
    void SetSendEncoding(SMS_ENCODING_t encoding) { m_eSendEncoding = encoding; }
    // The service-centre number of the last "+CSCA:" answer (empty if none).
    std::string GetSmsCenter() const { return m_strSmsCenter; }
    // The modem's clock of the last answer OnGetClockCmdRsp took, as seconds
    // since 1970-01-01 UTC; false when there is none.
    bool GetModemClock(int64_t& utc) const
    {
        utc = m_nModemClockUtc;
        return m_bModemClock;
    }

    // The generic judge: the answer's first final result line decides (see
    // FindFinalResultLine): "OK" gives RSP_OK, an error line RSP_ERROR (the
    // line becomes the error message); without one yet, RSP_MORE.
    int OnOkErrorRsp(std::string rsp);

    // Send helpers: more than 67 characters make a concatenated SMS; the
    // country code decides the type of address; a leading "00" is dropped.
    bool IsLongSms(const std::string& text);
    CountryCode_t JudgePhoneCountryCode(const std::string& phone);
    std::string ModifyPhoneCode(const std::string& phone, bool hasCountryCode);

    // Listing helpers: header line -> index/status, time-stamp digits ->
    // "YY-MM-DD hh:mm:ss", listing -> entries, entries -> joined messages.
    SmsMode StrToSmsMode(std::string line);
    static std::string ReceiveTimeToReadStr(const char* digits);
    // The entries of a "+CMGL" listing, each judged (SmsEntryState_t): whole
    // only when its PDU line is there, hex of an even count, and holds as many
    // octets after its service-centre field as the header's last field
    // announces. A header straight after a header has lost its PDU line; an
    // index listed twice makes each of its entries SMS_ENTRY_INDEX_REPEATED.
    // Every entry keeps its text in `raw`; only whole ones are decoded.
    std::vector<SmsInfo> SmsRspToSmsInfoVec(const std::string& rsp);
    // Parts are joined per sender, reference and part count, in part order,
    // each decoded in its own coding; a part whose numbering is impossible
    // (count 0, number 0 or above the count) is shown as a message of its
    // own. Single messages come first in storage order, then the joined ones.
    // Each record carries the storage indices of its parts and the newest
    // part's time stamp (SmsRecv.h).
    // Where parts with the same sender, reference and count belong to more
    // than one message, the parts are put in the order the centre stamped
    // them (storage order for equal or missing stamps); stamps more than an
    // hour apart always part two messages; a repeated part number starts
    // another message where the parts allow only one reading of it (fewest
    // messages left incomplete, then the shortest time spans). Where they
    // allow more than one, each part of that cluster comes out alone, with
    // `complete` false, rather than joined to another message's part.
    // Messages missing a part are left out unless `bIncludeIncomplete`;
    // parts shown alone are always reported. An entry that is not whole is
    // never joined: it comes out as an SMS_KIND_UNREADABLE record of its own,
    // among the single messages in storage order.
    static std::vector<SmsRecvStruct_t> SmsInfoVecToSmsRecvStructVec(const std::vector<SmsInfo>& entries,
                                                                     bool bIncludeIncomplete = false);
    static bool lessSmsInfo(const SmsInfo& a, const SmsInfo& b);
    static bool LessLongSms(const SmsInfo& a, const SmsInfo& b);
    static bool IsHexChar(char c);

protected:
    // ---- reading answers line by line (AnswerLines.cpp)

    // One line of an answer. A line starts at the answer's start or after a
    // line feed; a message body is stepped over whole and is never a result
    // line: the PDU line after a "+CMGR:" or "+CMGL:" header, and the text
    // after a "^HCMGR:" header, whose length the header gives (without a
    // readable length the text runs to its Ctrl-Z).
    struct AnswerLine_t
    {
        std::string::size_type begin = 0;  // its first byte in the answer
        bool complete = false;             // ended by its line feed (a body: all its bytes are there)
        bool body = false;                 // a message body
        std::string text;                  // without CR and LF at its ends; a CDMA text body: its bytes
    };
    // The lines of `rsp` in order, the last one possibly incomplete.
    static std::vector<AnswerLine_t> SplitAnswerLines(const std::string& rsp);
    // RSP_OK for a complete "OK" line, RSP_ERROR for a complete "ERROR",
    // "+CME ERROR: <n>" or "+CMS ERROR: <n>" line, RSP_MORE for any other line.
    static int FinalResultOf(const AnswerLine_t& line);
    // The send prompt "> " (or ">" whose blank is still to come) at a line start.
    static bool IsPromptLine(const AnswerLine_t& line);
    // Whether `line` starts with `token` after leading blanks (never a body).
    static bool StartsWithToken(const AnswerLine_t& line, const char* token);
    // Index of the first final result line at or after `from`, or -1.
    static int FindFinalResultLine(const std::vector<AnswerLine_t>& lines, std::size_t from = 0);

    // An answer that carries its value on a "<token>" line before its final
    // result line. A final line counts only after a token line (a final line
    // before it is a late one of an earlier command); an answer without any
    // token line is decided by its first final line.
    struct ValueAnswer_t
    {
        int verdict = RSP_MORE;  // of the deciding final line; RSP_MORE while there is none
        bool hasValue = false;   // a token line came before it
        std::string value;       // that line after the token
        std::string finalText;   // the deciding final line
    };
    static ValueAnswer_t FindValueAnswer(const std::string& rsp, const char* token);
    // Once `answer` is decided: its value into `value` ("" for a refusal or
    // an answer without a token line). Returns its verdict.
    static int KeepAnswerValue(const ValueAnswer_t& answer, std::string& value);

    // ---- helpers shared by several model classes

    // Case-sensitive substring test, the only test the answers are judged by.
    static bool Contains(const std::string& text, const char* what);
    // `text` without carriage returns and line feeds at its ends.
    static std::string StripCrLf(std::string text);
    // The base initialisation list followed by "AT^CURC=0\r\n" (unsolicited reports off).
    std::vector<std::string> GetCurcInitAtCmd() const;
    // Answer to "AT^ICCID?": the card number from the "^ICCID: " line.
    int OnCaretIccidRsp(const std::string& rsp);
    // Send helpers (PhoneCardBaseSend.cpp). Each returns false with the
    // reason in m_strErrorMessage: a destination that is not an optional '+'
    // and 1..20 digits; a text valid in no encoding we read (UCS-2 big-endian
    // bytes in `ucs2` otherwise, emoji as surrogate pairs).
    bool CheckSendNumber(const std::string& phone);
    bool EncodeTextUcs2(const std::string& text, std::string& ucs2);
    // The start both PDU send forms share: the destination checked and put in
    // `param` with the centre and its type, the text converted to `wide`.
    bool PrepareSubmit(const std::string& phone, const std::string& text, SM_PARAM& param, std::wstring& wide);
    // Whether SetSendEncoding asks for 7-bit and `wide` fits its alphabet.
    bool SendsInGsm7(const std::wstring& wide) const;
    // The steps of a text SendsInGsm7 accepted, single-part or concatenated,
    // from the record PrepareSubmit filled; empty with the reason in
    // m_strErrorMessage when it needs more than 255 parts.
    std::vector<PDU_LONG_SMS_Base_t> GetSendGsm7PduSmsCmd(SM_PARAM& param, const std::string& text);
    // One step per part PDU from the encoder: the part and Ctrl-Z, announced
    // by its TPDU length (the part without its service-centre octets).
    static std::vector<PDU_LONG_SMS_Base_t> StepsOfParts(const std::vector<std::string>& parts);

    // Reading one message at a time ("AT+CMGD=?" lists the used indices,
    // "AT+CMGR=<i>" reads each): shared by the models that cannot list. A new
    // index list starts a fresh collection (the entries and the received list
    // are emptied), so one object can read both storages; the received list
    // is rebuilt after every answer, so an unreadable last index loses
    // nothing. An index-list answer with an error line, or without a
    // "+CMGD: (...)" list, is RSP_ERROR and leaves nothing pending; an index
    // listed twice is read once. Each message read carries the index
    // TakeNextCmgrCmd asked for, and is judged as OnReadOneSmsCmdRsp judges.
    int OnCmgdIndexListRsp(const std::string& rsp, std::vector<std::string>& pending);
    std::string TakeNextCmgrCmd(std::vector<std::string>& pending);
    int OnCmgrReadRsp(const std::string& rsp);
    // `command` + index + "\r\n", the index kept for the answer's entry; ""
    // for a negative index: GetReadOneSmsCmd of a model.
    std::string ReadByIndexCmd(const char* command, int index);
    // Puts `item` where the first element `at` accepts stood and drops the
    // other such elements; appends it when there is none.
    template <class T, class Pred>
    static void ReplaceAll(std::vector<T>& items, Pred at, const T& item)
    {
        const auto first = std::find_if(items.begin(), items.end(), at);
        if (first == items.end()) {
            items.push_back(item);
            return;
        }
        *first = item;
        items.erase(std::remove_if(first + 1, items.end(), at), items.end());
    }
    // An "AT+CMGR=<i>" answer: its verdict (as OnReadOneSmsCmdRsp) and, once
    // a complete answer holds a "+CMGR:" header, its entry with `hasEntry`
    // set, whole or not, at the index GetReadOneSmsCmd last asked for.
    int ReadCmgrAnswer(const std::string& rsp, SmsInfo& entry, bool& hasEntry);

    // ---- fields
    bool m_bSendRetry = false;                // last PDU send failed with a code 500..600
    std::string m_strCardNumber;              // SIM card number (ICCID)
    std::string m_strSignal;                  // text after "+CSQ:", as the modem gave it
    std::string m_strSerialNumber;            // IMEI
    std::string m_strSmsCenter;               // service centre from "+CSCA:"
    std::string m_strLenCmd;                  // last "AT+CMGS=" of a single-part SMS
    std::vector<SmsInfo> m_vecSmsEntries;     // entries of the last listing (or read so far), m_vecRecvSms's source
    std::vector<SmsRecvStruct_t> m_vecRecvSms;  // messages of the last listing
    std::string m_strErrorMessage;            // last ERROR line or last listing answer
    std::string m_strAtiRsp;                  // last answer to ATI
    bool m_bReportIncompleteSms = false;      // listings include messages missing a part
    SMS_ENCODING_t m_eSendEncoding = SMS_ENCODING_UCS2;  // SetSendEncoding
    int m_nReadIndex = -1;                    // index the last read-one-message command asked for (GetReadOneSmsCmd)
    bool m_bModemClock = false;               // the last clock answer was read
    int64_t m_nModemClockUtc = 0;             // that clock, seconds since 1970-01-01 UTC
    ModemHealth_t m_health;                   // what the health answers said (GetHealth)
    RegDomain_t m_eRegDomainAsked = REG_DOMAIN_CS;  // the domain GetRegistrationCmd last asked about
    int m_nOperatorFormat = -1;               // <format> of the last operator name, -1 when none
    UssdLine_t m_ussdReply;                   // the reply OnUssdRequestRsp took
    bool m_bUssdReplyStarted = false;         // a "+CUSD:" came on any port, whole or not
    std::string m_strUssdCharset;             // the AT+CSCS answer before a USSD request
    std::string m_strIndicationOffer;         // the last "+CNMI:" answer to AT+CNMI=?
    std::string m_strIndicationSetting;       // the last "+CNMI:" answer to AT+CNMI?
};

#endif
