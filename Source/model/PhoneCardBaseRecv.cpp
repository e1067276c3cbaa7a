// Parsing stored-message listings; the parts are joined in SmsReassembly.cpp.
#include "PhoneCardBase.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "SmsDecode.h"
#include "StringUtil.h"

namespace {

// atoi's reading (leading blanks, a sign, digits; none gives 0) without its
// undefined behaviour on overflow: out-of-range values are clamped.
int ToInt(const std::string& text)
{
    const long v = std::strtol(text.c_str(), nullptr, 10);  // clamps on overflow
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

// The PDU of a stored message, read by its status: received (0, 1) messages
// are SMS-DELIVERs, stored outgoing ones (2, 3) SMS-SUBMITs. Modems store a
// status report as a message too, under either kind of status, so the type
// its first octet names comes first. (DELIVER and SUBMIT stay told apart by
// the status: some modems store a SUBMIT with the type bits of a DELIVER.)
void DecodeByStatus(const std::string& pdu, SmsInfo& info)
{
    const int stat = info.mode.stat;
    if (stat < 0 || stat > 3) {
        return;
    }
    if (gsmPduMti(pdu.c_str()) == GSM_MTI_STATUS_REPORT) {
        gsmDecodeStatusReport(pdu.c_str(), &info.param);
    } else if (stat <= 1) {
        gsmDecodePdu(pdu.c_str(), &info.param);
    } else {
        gsmDecodeSendPdu(pdu.c_str(), &info.param);
    }
}

// The length a "+CMGL:" or "+CMGR:" header announces: its last field, the
// TPDU's octets (an <alpha> field before it may hold commas of its own).
// False when there is none or it is no number.
bool AnnouncedLength(const std::string& header, long& length)
{
    const std::string::size_type comma = header.rfind(',');
    if (comma == std::string::npos) {
        return false;
    }
    std::string digits = header.substr(comma + 1);
    digits.erase(0, digits.find_first_not_of(" \t"));
    digits.erase(digits.find_last_not_of(" \t\r\n") + 1);
    // A TPDU is at most 164 octets: six digits bound any honest length.
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    length = std::strtol(digits.c_str(), nullptr, 10);
    return true;
}

// Whether a PDU entry came whole: its body is hex of an even count whose
// octets after the service-centre field are as many as the header
// announces. A UART that drops bytes, a line that never came and a line of
// something else all fail here, so they are never taken for a message.
SmsEntryState_t JudgePduEntry(const std::string& header, const std::string& body)
{
    if (body.empty()) {
        return SMS_ENTRY_NO_BODY;
    }
    if (body.size() % 2 != 0 ||
        !std::all_of(body.begin(), body.end(), [](char c) { return CPhoneCardBase::IsHexChar(c); })) {
        return SMS_ENTRY_NOT_HEX;
    }
    long announced = 0;
    if (!AnnouncedLength(header, announced)) {
        return SMS_ENTRY_LENGTH_DIFFERS;
    }
    unsigned char centre = 0;
    gsmHexToBytes(body.c_str(), 2, &centre, 1);
    const long octets = static_cast<long>(body.size() / 2);
    return octets - 1 - centre == announced ? SMS_ENTRY_WHOLE : SMS_ENTRY_LENGTH_DIFFERS;
}

// An entry of a header line and its body, judged, and decoded when whole.
SmsInfo PduEntry(const SmsMode& mode, const std::string& header, const std::string& body)
{
    SmsInfo info;
    info.mode = mode;
    info.state = JudgePduEntry(header, body);
    info.raw = header + "\r\n" + body;
    if (info.state == SMS_ENTRY_WHOLE) {
        DecodeByStatus(body, info);
    }
    return info;
}

// The storage indices of an "AT+CMGD=?" answer's first list: numbers and
// ranges such as 1-3; anything else is skipped, so no stray text reaches a
// command.
constexpr int MAX_PENDING_INDICES = 1000;

std::vector<std::string> IndexList(const std::string& text)
{
    std::vector<std::string> out;
    auto number = [](std::string s, int& v) {
        s.erase(0, s.find_first_not_of(" \t"));
        s.erase(s.find_last_not_of(" \t") + 1);
        if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        v = std::atoi(s.c_str());
        return true;
    };
    // An index named twice is read once: reading it twice would report its
    // message twice and delete it twice.
    std::set<int> taken;
    auto take = [&](int index) {
        if (taken.insert(index).second) {
            out.push_back(std::to_string(index));
        }
    };
    for (const std::string& piece : SplitStringByChar(text, ',')) {
        const std::string::size_type dash = piece.find('-');
        int a = 0;
        int b = 0;
        if (dash == std::string::npos) {
            if (number(piece, a)) {
                take(a);
            }
        } else if (number(piece.substr(0, dash), a) && number(piece.substr(dash + 1), b) && a <= b) {
            for (int i = a; i <= b && static_cast<int>(out.size()) < MAX_PENDING_INDICES; ++i) {
                take(i);
            }
        }
        if (static_cast<int>(out.size()) >= MAX_PENDING_INDICES) {
            break;
        }
    }
    return out;
}

}  // namespace

// AT+CMGL=4 -> "+CMGL: <index>,<stat>,,<length>" then the PDU, per message, then OK
// Unsolicited lines such as "SMS DONE" or "SMS FULL" do not end a listing:
// only its final result line does.
int CPhoneCardBase::OnReadAllSmsCmdRsp(std::string rsp)
{
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    const int verdict = at < 0 ? RSP_MORE : FinalResultOf(lines[at]);
    if (verdict == RSP_ERROR) {
        m_strErrorMessage = StripCrLf(rsp);
        return RSP_ERROR;
    }
    // Rebuilt on every call, so the list always reflects the whole text so far.
    m_vecSmsEntries = SmsRspToSmsInfoVec(rsp);
    m_vecRecvSms = SmsInfoVecToSmsRecvStructVec(m_vecSmsEntries, m_bReportIncompleteSms);
    if (verdict == RSP_OK) {
        m_strErrorMessage = StripCrLf(rsp);
    }
    return verdict;
}

std::vector<SmsInfo> CPhoneCardBase::SmsRspToSmsInfoVec(const std::string& rsp)
{
    const std::vector<std::string> lines = SplitStringToArray(rsp);
    std::vector<SmsInfo> entries;
    entries.reserve(lines.size() / 2);
    std::map<int, int> seen;  // storage index -> entries listed with it
    size_t i = 0;
    while (i < lines.size()) {
        if (!Contains(lines[i], "+CMGL: ")) {
            ++i;
            continue;
        }
        const SmsMode mode = StrToSmsMode(lines[i]);
        if (mode.index < 0 || i + 1 >= lines.size()) {
            ++i;  // the next line may be a header after all
            continue;
        }
        // The line after a header is its PDU, unless it is the next header:
        // then this entry's PDU line was lost on the way.
        const bool bodyLost = StrToSmsMode(lines[i + 1]).index >= 0;
        const std::string body = bodyLost ? std::string() : StripCrLf(lines[i + 1]);
        entries.push_back(PduEntry(mode, StripCrLf(lines[i]), body));
        ++seen[mode.index];
        i += bodyLost ? 1 : 2;
    }
    // Which of two entries of one index is stored there cannot be told: only
    // reading it again by its index can say.
    for (SmsInfo& e : entries) {
        if (seen[e.mode.index] > 1 && e.state == SMS_ENTRY_WHOLE) {
            e.state = SMS_ENTRY_INDEX_REPEATED;
        }
    }
    return entries;
}

// "+CMGL: 3,1,,24" -> index 3, status 1
SmsMode CPhoneCardBase::StrToSmsMode(std::string line)
{
    SmsMode mode;
    const std::string::size_type tag = line.find("+CMGL: ");
    if (tag == std::string::npos) {
        return mode;
    }
    const std::string::size_type start = tag + 6;  // the blank after "+CMGL:"
    const std::string::size_type first = line.find(',', start);
    if (first == std::string::npos) {
        return mode;
    }
    mode.index = ToInt(line.substr(start, first - start));
    if (mode.index < 0) {
        return mode;
    }
    const std::string::size_type second = line.find(',', first + 1);
    if (second != std::string::npos) {
        mode.stat = ToInt(line.substr(first + 1, second - first - 1));
    }
    return mode;
}

// "23051708300032" -> "23-05-17 08:30:00" (the zone is dropped)
std::string CPhoneCardBase::ReceiveTimeToReadStr(const char* digits)
{
    if (digits == nullptr || strnlen(digits, 13) < 13) {
        return "";
    }
    const std::string d(digits, 12);
    return d.substr(0, 2) + "-" + d.substr(2, 2) + "-" + d.substr(4, 2) + " " + d.substr(6, 2) + ":" +
           d.substr(8, 2) + ":" + d.substr(10, 2);
}

bool CPhoneCardBase::lessSmsInfo(const SmsInfo& a, const SmsInfo& b)
{
    // An entry not read whole sorts as a single message: its header octets are not to be believed.
    auto key = [](const SmsInfo& e) {
        const bool whole = e.state == SMS_ENTRY_WHOLE;
        return std::make_tuple(whole ? e.param.nReference : 0, e.mode.index, whole ? e.param.nPartNumber : 0);
    };
    return key(a) < key(b);
}

bool CPhoneCardBase::LessLongSms(const SmsInfo& a, const SmsInfo& b)
{
    return a.param.nPartNumber < b.param.nPartNumber;
}

bool CPhoneCardBase::IsHexChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// ---- reading one message at a time (models without a "+CMGL" listing)

// AT+CMGD=? -> "+CMGD: (1,2,5),(0-4)" then OK: the first list names the used indices
int CPhoneCardBase::OnCmgdIndexListRsp(const std::string& rsp, std::vector<std::string>& pending)
{
    const ValueAnswer_t answer = FindValueAnswer(rsp, "+CMGD:");
    if (answer.verdict == RSP_MORE) {
        return RSP_MORE;
    }
    const std::string::size_type open = answer.value.find('(');
    const std::string::size_type close = answer.value.find(')');
    if (answer.verdict == RSP_ERROR || !answer.hasValue || open == std::string::npos ||
        close == std::string::npos || open > close) {
        // Refused, or no list of used indices: the storage was not listed,
        // and must not pass for an empty one.
        m_strErrorMessage = answer.finalText;
        pending.clear();
        return RSP_ERROR;
    }
    // A new listing: nothing of an earlier one (the other storage) carries over.
    m_vecSmsEntries.clear();
    m_vecRecvSms.clear();
    pending = IndexList(answer.value.substr(open + 1, close - open - 1));
    return RSP_OK;
}

std::string CPhoneCardBase::TakeNextCmgrCmd(std::vector<std::string>& pending)
{
    if (pending.empty()) {
        return "";
    }
    const std::string index = pending.front();
    pending.erase(pending.begin());
    return GetReadOneSmsCmd(ToInt(index));
}

// AT+CMGR=<i> -> "+CMGR: <stat>,,<length>" then the PDU, then OK
int CPhoneCardBase::ReadCmgrAnswer(const std::string& rsp, SmsInfo& entry, bool& hasEntry)
{
    hasEntry = false;
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    // "+CMGR:" at a line start: an echoed "AT+CMGR=1" is no header. A final
    // line before the header is a late one of an earlier command.
    std::size_t header = 0;
    while (header < lines.size() && !StartsWithToken(lines[header], "+CMGR:")) {
        ++header;
    }
    const int at = FindFinalResultLine(lines, header < lines.size() ? header : 0);
    if (at < 0) {
        return RSP_MORE;
    }
    if (FinalResultOf(lines[at]) == RSP_ERROR) {
        m_strErrorMessage = lines[at].text;
        return RSP_ERROR;
    }
    if (header >= static_cast<std::size_t>(at)) {
        return RSP_ERROR;  // complete, but no message in it
    }
    const std::string& text = lines[header].text;
    SmsMode mode;
    mode.index = m_nReadIndex;
    const int stat = ToInt(text.substr(text.find("+CMGR:") + 6));
    mode.stat = stat >= 0 && stat <= 3 ? stat : 1;
    // A header straight before the final line has lost its PDU line.
    const bool hasBody = header + 1 < static_cast<std::size_t>(at) && lines[header + 1].body;
    entry = PduEntry(mode, text, hasBody ? lines[header + 1].text : std::string());
    hasEntry = true;
    return entry.state == SMS_ENTRY_WHOLE ? RSP_OK : RSP_ERROR;
}

int CPhoneCardBase::OnCmgrReadRsp(const std::string& rsp)
{
    SmsInfo entry;
    bool hasEntry = false;
    const int verdict = ReadCmgrAnswer(rsp, entry, hasEntry);
    if (hasEntry) {
        // Not whole, it is still kept: reported as unreadable, never deleted.
        m_vecSmsEntries.push_back(entry);
        // Rebuilt after every read, not only after the last, so an
        // unreadable last index loses nothing.
        m_vecRecvSms = SmsInfoVecToSmsRecvStructVec(m_vecSmsEntries, m_bReportIncompleteSms);
    }
    return verdict;
}

std::string CPhoneCardBase::GetReadOneSmsCmd(int index)
{
    return ReadByIndexCmd("AT+CMGR=", index);
}

std::string CPhoneCardBase::ReadByIndexCmd(const char* command, int index)
{
    if (index < 0) {
        return "";
    }
    m_nReadIndex = index;
    return command + std::to_string(index) + "\r\n";
}

int CPhoneCardBase::OnReadOneSmsCmdRsp(std::string rsp)
{
    SmsInfo entry;
    bool hasEntry = false;
    const int verdict = ReadCmgrAnswer(rsp, entry, hasEntry);
    if (verdict != RSP_OK) {
        return verdict;  // the entries listed at that index stay as they were
    }
    // Every entry listed at this index gives way to the one read whole.
    ReplaceAll(m_vecSmsEntries, [&](const SmsInfo& e) { return e.mode.index == entry.mode.index; }, entry);
    m_vecRecvSms = SmsInfoVecToSmsRecvStructVec(m_vecSmsEntries, m_bReportIncompleteSms);
    return RSP_OK;
}
