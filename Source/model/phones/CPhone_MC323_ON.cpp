#include "CPhone_MC323_ON.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "SmsDecode.h"
#include "StringUtil.h"

// sample answer, also tests/fixtures/ati/CPhone_MC323_ON.txt
std::string CPhone_MC323_ON::Get_ATI_Rsp() const
{
    return "\r\n"
           "Manufacturer: Huawei Technologies Co., Ltd.\r\n"
           "Model:MC323-a\r\n"
           "Revision: 11.105.10.00.00\r\n"
           "ESN:0x80A1B2C3\r\n"
           "+GCAP: +CIS707-A, +MS, +ES, +DS, +FCLASS\r\n"
           "\r\n"
           "OK\r\n";
}

bool CPhone_MC323_ON::IsATI_RspMatch(std::string rsp) const
{
    return Contains(rsp, "MC323");
}

// CDMA dials with AT+CDV and hangs up with AT+CHV
std::string CPhone_MC323_ON::GetCallCmd(std::string number) const
{
    return "AT+CDV" + number + "\r\n";
}

bool CPhone_MC323_ON::OnCallCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetHungUpCmd() const
{
    return "AT+CHV\r\n";
}

bool CPhone_MC323_ON::OnHungUpCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

// no PDU mode on CDMA: AT^HSMSSS=0,0,6,0 selects Unicode text -> OK
std::string CPhone_MC323_ON::SetSmsPDUModeCmd() const
{
    return "AT^HSMSSS=0,0,6,0\r\n";
}

// text after AT^HCMGS -> ^HCMGSS: <mr> on success, ^HCMGSF: <err> on failure
// (no retry codes on CDMA: the retry flag stays as it is)
int CPhone_MC323_ON::OnSendPduSmsContextCmdRsp(std::string rsp)
{
    // The "OK" before ^HCMGSS only says the text was taken, not that it was sent.
    for (const AnswerLine_t& line : SplitAnswerLines(rsp)) {
        if (!line.complete) {
            break;
        }
        if (StartsWithToken(line, "^HCMGSS")) {
            return RSP_OK;
        }
        if (StartsWithToken(line, "^HCMGSF") || FinalResultOf(line) == RSP_ERROR) {
            m_strErrorMessage = line.text;
            return RSP_ERROR;
        }
    }
    return RSP_MORE;
}

std::string CPhone_MC323_ON::GetSendSMS_PhoneCmd(std::string phone) const
{
    return "AT^HCMGS=\"" + phone + "\"\r\n";
}

bool CPhone_MC323_ON::OnSendSMS_PhoneCmd(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetReceiveSmsCmd() const
{
    return "at^hcmgr=1\r\n";
}

bool CPhone_MC323_ON::OnReceiveSmsCmdRsp(std::string rsp)
{
    return !rsp.empty();
}

std::string CPhone_MC323_ON::GetIMSI_Cmd() const
{
    return "AT+CCID\r\n";
}

std::string CPhone_MC323_ON::GetIMEI_Cmd() const
{
    return "AT+CGSN\r\n";
}

// CDMA has no service centre to ask: a plain AT -> OK, and the centre stays empty
std::string CPhone_MC323_ON::GetQuerySmsCenterCmd() const
{
    return "AT\r";
}

// text-mode listing: AT^HCMGL=4 -> ^HCMGL: <index>,<stat>,... per message
std::string CPhone_MC323_ON::GetReadAllSmsCmd() const
{
    return "AT^HCMGL=4\r\n";
}

// A listing is final with its OK, or failed with an ERROR; until then more
// may come, and what is parsed so far is only what has arrived.
int CPhone_MC323_ON::OnReadAllSmsCmdRsp(std::string rsp)
{
    // Each listing starts afresh: one object reads both storages.
    m_vecRecvSms.clear();
    m_vecPendingSms.clear();
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const int at = FindFinalResultLine(lines);
    const std::size_t listed = at < 0 ? lines.size() : static_cast<std::size_t>(at);
    for (std::size_t i = 0; i < listed; ++i) {
        if (!lines[i].complete) {
            break;
        }
        const std::string& line = lines[i].text;
        const std::string::size_type tag = line.find("^HCMGL:");
        if (tag == std::string::npos) {
            continue;
        }
        const std::string::size_type comma = line.find(',', tag);
        if (comma == std::string::npos) {
            continue;
        }
        SmsMode mode;
        mode.index = std::atoi(line.substr(tag + 7, comma - tag - 7).substr(0, 9).c_str());
        const char stat = comma + 1 < line.size() ? line[comma + 1] : '\0';
        mode.stat = stat >= '0' && stat <= '9' ? stat - '0' : 0;
        // An index listed twice is read once: its answer is what is stored there.
        const bool listed = std::any_of(m_vecPendingSms.begin(), m_vecPendingSms.end(),
                                        [&](const SmsMode& m) { return m.index == mode.index; });
        if (mode.index >= 0 && !listed) {
            m_vecPendingSms.push_back(mode);
        }
    }
    if (at < 0) {
        return RSP_MORE;
    }
    if (FinalResultOf(lines[static_cast<std::size_t>(at)]) == RSP_ERROR) {
        // A refused listing lists nothing: it must not pass for an empty storage.
        m_vecPendingSms.clear();
        m_strErrorMessage = lines[static_cast<std::size_t>(at)].text;
        return RSP_ERROR;
    }
    return RSP_OK;
}

bool CPhone_MC323_ON::NotFinished() const
{
    return !m_vecPendingSms.empty();
}

std::string CPhone_MC323_ON::GetReadNextSmsCmd()
{
    if (m_vecPendingSms.empty()) {
        return "";
    }
    const int index = m_vecPendingSms.front().index;
    m_vecPendingSms.erase(m_vecPendingSms.begin());
    return GetReadOneSmsCmd(index);
}

namespace {

// The text of a CDMA message by its <format> (Huawei's numbering: 0 GSM 7-bit,
// 1 ASCII, 2 IA5, 3 octet, 4 Latin-1, 5 Latin/Hebrew, 6 UCS-2). `undecodable`
// is set where no text could be read and the bytes are shown in hex instead:
// never mangled into text that is not UTF-8, never dropped.
std::string CdmaText(const std::string& encoding, const std::string& body, bool& undecodable)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(body.data());
    const int n = static_cast<int>(body.size());
    undecodable = false;
    const bool ascii = std::all_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if ((encoding == "1" || encoding == "2") && ascii) {
        return body;
    }
    if (encoding == "3") {
        return gsm8bitText(bytes, n, false, 0);
    }
    if (encoding == "4") {
        // Latin-1 is the first 256 code points: two UTF-8 bytes above ASCII.
        std::string text;
        for (const unsigned char c : body) {
            if (c < 0x80) {
                text += static_cast<char>(c);
            } else {
                text += static_cast<char>(0xC0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return text;
    }
    if (encoding == "6") {
        // Whole UCS-2 units only: an odd last byte is no character.
        return gsmDecodeNew2(bytes, n & ~1);
    }
    undecodable = true;
    // The format is named only when it is one: it is the modem's text too.
    const bool named = !encoding.empty() && encoding.size() <= 3 &&
                       encoding.find_first_not_of("0123456789") == std::string::npos;
    return gsmHexDataText(named ? ("undecodable text, encoding " + encoding).c_str() : "undecodable text", bytes, n);
}

}  // namespace

// AT^HCMGR=<i> -> ^HCMGR: <from>,<yyyy>,<mm>,<dd>,<hh>,<mi>,<ss>,<lang>,<format>,<length>,... then
// <length> bytes of text, Ctrl-Z and OK: ASCII for <format> 1, raw UCS-2 big-endian
// (Ctrl-Z as 00 1A) for 6 (fixture hcmgr/CPhone_MC323_ON.txt). The text is
// stepped over by its length: UCS-2 bytes hold CR and LF (U+4E0A is 4E 0A),
// and a text may hold a line "OK". It came whole only when its Ctrl-Z
// follows right after those <length> bytes: a byte lost on the line moves it.
int CPhone_MC323_ON::ReadHcmgrAnswer(const std::string& rsp, SmsRecvStruct_t& sms, bool& hasEntry)
{
    hasEntry = false;
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    // A final line before the first header is a late one of an earlier command.
    std::size_t header = 0;
    while (header < lines.size() && !StartsWithToken(lines[header], "^HCMGR:")) {
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
    const bool hasBody = header + 1 < static_cast<std::size_t>(at) && lines[header + 1].body;
    const std::string body = hasBody ? lines[header + 1].text : std::string();
    std::vector<std::string> pieces = SplitStringByChar(text.substr(text.find(':') + 1), ',');
    for (std::string& piece : pieces) {
        piece.erase(0, std::min(piece.find_first_not_of(' '), piece.size()));
    }
    sms = SmsRecvStruct_t();
    hasEntry = true;
    SmsEntryState_t state = SMS_ENTRY_WHOLE;
    if (pieces.size() <= 9 || !hasBody) {
        state = pieces.size() <= 9 ? SMS_ENTRY_LENGTH_DIFFERS : SMS_ENTRY_NO_BODY;
    } else {
        const std::string ctrlZ = pieces[8] == "6" ? std::string("\0\x1A", 2) : std::string("\x1A");
        const std::string::size_type end = lines[header + 1].begin + body.size();
        if (pieces[9] != std::to_string(body.size()) || rsp.compare(end, ctrlZ.size(), ctrlZ) != 0) {
            state = SMS_ENTRY_LENGTH_DIFFERS;
        }
    }
    if (state != SMS_ENTRY_WHOLE) {
        sms.kind = SMS_KIND_UNREADABLE;
        sms.state = state;
        sms.entryIndex = m_nReadIndex;
        sms.raw = text + "\r\n" + body;
        return RSP_ERROR;
    }
    sms.from = pieces[0];
    sms.time = pieces[1] + "-" + pieces[2] + "-" + pieces[3] + " " + pieces[4] + ":" + pieces[5] + ":" + pieces[6];
    bool undecodable = false;
    sms.text = CdmaText(pieces[8], body, undecodable);
    sms.kind = undecodable ? SMS_KIND_UNDECODABLE : SMS_KIND_MESSAGE;
    sms.indices.push_back(m_nReadIndex);
    // A message without sender, time or text is none to report.
    hasEntry = sms.IsOk();
    return hasEntry ? RSP_OK : RSP_ERROR;
}

int CPhone_MC323_ON::OnReadNextSmsCmdRsp(std::string rsp)
{
    SmsRecvStruct_t sms;
    bool hasEntry = false;
    const int verdict = ReadHcmgrAnswer(rsp, sms, hasEntry);
    if (hasEntry) {
        m_vecRecvSms.push_back(sms);
    }
    return verdict;
}

std::string CPhone_MC323_ON::GetReadOneSmsCmd(int index)
{
    return ReadByIndexCmd("AT^HCMGR=", index);
}

int CPhone_MC323_ON::OnReadOneSmsCmdRsp(std::string rsp)
{
    SmsRecvStruct_t sms;
    bool hasEntry = false;
    const int verdict = ReadHcmgrAnswer(rsp, sms, hasEntry);
    if (verdict != RSP_OK) {
        return verdict;  // the record read at that index stays as it was
    }
    const int index = m_nReadIndex;
    ReplaceAll(m_vecRecvSms, [index](const SmsRecvStruct_t& r) {
        return r.entryIndex == index || (r.indices.size() == 1 && r.indices[0] == index);
    }, sms);
    return RSP_OK;
}

PHONE_TYPE_t CPhone_MC323_ON::GetPhoneType() const
{
    return PHONE_TYPE_MC323_ON;
}

// MC323: AT+CGREG? and AT+CEREG? do not apply to CDMA; AT+CREG? -> +CREG: 0,1 then OK
std::string CPhone_MC323_ON::GetRegistrationCmd(RegDomain_t domain)
{
    return domain == REG_DOMAIN_CS ? CPhoneCardBase::GetRegistrationCmd(domain) : std::string();
}

// MC323: no +COPS on CDMA; the operator stays unknown.
std::string CPhone_MC323_ON::GetOperatorFormatCmd() const
{
    return std::string();
}

std::string CPhone_MC323_ON::GetOperatorCmd() const
{
    return std::string();
}

bool CPhone_MC323_ON::SupportsUssd() const
{
    return false;
}

// MC323 reports ^RSSI lines unasked until AT^RSSIREP=0
std::vector<std::string> CPhone_MC323_ON::GetInitAtCmd() const
{
    std::vector<std::string> cmds = CPhoneCardBase::GetInitAtCmd();
    cmds.push_back("AT^RSSIREP=0\r\n");
    return cmds;
}

// Parts of AT^HCMGS text: at most 140 bytes of UCS-2 each, the last of
// them the part marker "(k/n)", then a zero byte and Ctrl-Z.
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendLongPduSmsCmd(std::string phone, std::string text)
{
    std::string ucs2;
    if (!CheckSendNumber(phone) || !EncodeTextUcs2(text, ucs2)) {
        return {};
    }
    const std::string lenCmd = "AT^HCMGS=\"" + phone + "\"\r";
    auto marker = [](std::size_t k, std::size_t n) {
        std::string m;
        for (char c : "(" + std::to_string(k) + "/" + std::to_string(n) + ")") {
            m += '\0';
            m += c;
        }
        return m;
    };
    // The announced count n must match the parts made, but the room for text
    // shrinks as the markers grow ("(1/10)" is wider than "(1/9)"): start
    // from 128 bytes of text per part and recount until both agree.
    std::size_t n = ucs2.size() / 128 + (ucs2.size() % 128 != 0 ? 1 : 0);
    if (n == 0) {
        n = 1;
    }
    std::vector<PDU_LONG_SMS_Base_t> steps;
    for (int attempt = 0; attempt < 8; ++attempt) {
        steps.clear();
        std::size_t pos = 0;
        for (std::size_t k = 1; pos < ucs2.size() || k == 1; ++k) {
            const std::string m = marker(k, n);
            std::size_t take = 140 - m.size() - 2;
            if (take > ucs2.size() - pos) {
                take = ucs2.size() - pos;
            } else if (take >= 2) {
                // Never end a part on the first half of a surrogate pair.
                const unsigned char hi = static_cast<unsigned char>(ucs2[pos + take - 2]);
                if (hi >= 0xD8 && hi <= 0xDB) {
                    take -= 2;
                }
            }
            PDU_LONG_SMS_Base_t step;
            step.lenCmd = lenCmd;
            step.pduContent = ucs2.substr(pos, take) + m + '\0' + '\x1A';
            steps.push_back(std::move(step));
            pos += take;
        }
        if (steps.size() == n) {
            break;
        }
        n = steps.size();
    }
    return steps;
}

// AT^HCMGS="<number>" -> "> ", then UCS-2 text, a zero byte and Ctrl-Z
std::vector<PDU_LONG_SMS_Base_t> CPhone_MC323_ON::GetSendSmsModePDUCmd(std::string phone, std::string text)
{
    std::string ucs2;
    if (!CheckSendNumber(phone) || !EncodeTextUcs2(text, ucs2)) {
        return {};
    }
    PDU_LONG_SMS_Base_t step;
    step.lenCmd = "AT^HCMGS=\"" + phone + "\"\r";
    step.pduContent = ucs2 + '\0' + '\x1A';
    return {step};
}
