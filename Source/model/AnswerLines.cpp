// Reading a modem answer line by line: where its final result line is, and
// which of its bytes are message bodies that must never be taken for one.
#include "PhoneCardBase.h"

#include <cstdlib>

#include "StringUtil.h"

namespace {

constexpr std::string::size_type npos = std::string::npos;

std::string WithoutCrLf(const std::string& text, std::string::size_type begin, std::string::size_type end)
{
    while (begin < end && (text[begin] == '\r' || text[begin] == '\n')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == '\r' || text[end - 1] == '\n')) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The text of a line from its first non-blank character.
std::string AfterBlanks(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t");
    return first == npos ? std::string() : text.substr(first);
}

// What follows a header line: nothing special, a PDU line, or a CDMA text.
struct BodyNext
{
    enum Kind { NONE, PDU_LINE, CDMA_TEXT } kind = NONE;
    bool lengthKnown = false;
    std::string::size_type length = 0;  // bytes of a CDMA text
    bool ucs2 = false;                  // a CDMA text in UCS-2: its Ctrl-Z is 00 1A
};

// "^HCMGR:<from>,<yyyy>,<mm>,<dd>,<hh>,<mi>,<ss>,<lang>,<enc>,<length>,..."
BodyNext CdmaBodyOf(const std::string& header)
{
    BodyNext next;
    next.kind = BodyNext::CDMA_TEXT;
    const std::vector<std::string> pieces = SplitStringByChar(header.substr(header.find(':') + 1), ',');
    if (pieces.size() > 8) {
        next.ucs2 = AfterBlanks(pieces[8]) == "6";
    }
    if (pieces.size() > 9) {
        const std::string digits = AfterBlanks(pieces[9]);
        // A text is at most a few hundred bytes: six digits bound any length.
        if (!digits.empty() && digits.size() <= 6 && digits.find_first_not_of("0123456789") == npos) {
            next.lengthKnown = true;
            next.length = static_cast<std::string::size_type>(std::strtoul(digits.c_str(), nullptr, 10));
        }
    }
    return next;
}

// What a complete line that is no body announces next.
BodyNext BodyAfter(const std::string& lineText)
{
    const std::string text = AfterBlanks(lineText);
    BodyNext next;
    if (StartsWith(text, "+CMGR:") || StartsWith(text, "+CMGL:")) {
        next.kind = BodyNext::PDU_LINE;
    } else if (StartsWith(text, "^HCMGR:")) {
        next = CdmaBodyOf(text);
    }
    return next;
}

// Where a CDMA text without a readable length ends: just past its Ctrl-Z
// (00 1A at an even offset in UCS-2, whose characters may hold a 1A byte).
std::string::size_type CdmaTextEnd(const std::string& rsp, std::string::size_type begin, bool ucs2)
{
    if (!ucs2) {
        const std::string::size_type z = rsp.find('\x1A', begin);
        return z == npos ? npos : z + 1;
    }
    for (std::string::size_type at = begin; at + 1 < rsp.size(); at += 2) {
        if (rsp[at] == '\0' && rsp[at + 1] == '\x1A') {
            return at + 2;
        }
    }
    return npos;
}

}  // namespace

std::vector<CPhoneCardBase::AnswerLine_t> CPhoneCardBase::SplitAnswerLines(const std::string& rsp)
{
    std::vector<AnswerLine_t> lines;
    BodyNext next;
    std::string::size_type pos = 0;
    while (pos < rsp.size()) {
        AnswerLine_t line;
        line.begin = pos;
        std::string::size_type end = npos;
        if (next.kind == BodyNext::CDMA_TEXT) {
            line.body = true;
            if (next.lengthKnown) {
                end = next.length <= rsp.size() - pos ? pos + next.length : npos;
            } else {
                end = CdmaTextEnd(rsp, pos, next.ucs2);
            }
            line.complete = end != npos;
            end = line.complete ? end : rsp.size();
            // The text's own bytes; a Ctrl-Z that ends it is no part of it.
            std::string::size_type textEnd = end;
            if (!next.lengthKnown && line.complete) {
                textEnd -= next.ucs2 ? 2 : 1;
            }
            line.text = rsp.substr(pos, textEnd - pos);
        } else {
            const std::string::size_type lf = rsp.find('\n', pos);
            line.complete = lf != npos;
            end = line.complete ? lf + 1 : rsp.size();
            line.body = next.kind == BodyNext::PDU_LINE;
            line.text = WithoutCrLf(rsp, pos, end);
        }
        next = line.complete && !line.body ? BodyAfter(line.text) : BodyNext();
        lines.push_back(std::move(line));
        pos = end;
    }
    return lines;
}

int CPhoneCardBase::FinalResultOf(const AnswerLine_t& line)
{
    if (!line.complete || line.body) {
        return RSP_MORE;
    }
    if (line.text == "OK") {
        return RSP_OK;
    }
    if (line.text == "ERROR" || StartsWith(line.text, "+CME ERROR:") || StartsWith(line.text, "+CMS ERROR:")) {
        return RSP_ERROR;
    }
    return RSP_MORE;
}

bool CPhoneCardBase::IsPromptLine(const AnswerLine_t& line)
{
    return !line.body && (line.text == ">" || StartsWith(line.text, "> "));
}

bool CPhoneCardBase::StartsWithToken(const AnswerLine_t& line, const char* token)
{
    return !line.body && StartsWith(AfterBlanks(line.text), token);
}

int CPhoneCardBase::FindFinalResultLine(const std::vector<AnswerLine_t>& lines, std::size_t from)
{
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (FinalResultOf(lines[i]) != RSP_MORE) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CPhoneCardBase::ValueAnswer_t CPhoneCardBase::FindValueAnswer(const std::string& rsp, const char* token)
{
    const std::vector<AnswerLine_t> lines = SplitAnswerLines(rsp);
    const std::size_t tokenLength = std::char_traits<char>::length(token);
    ValueAnswer_t answer;
    const AnswerLine_t* firstFinal = nullptr;  // before any token line
    const AnswerLine_t* lastToken = nullptr;
    for (const AnswerLine_t& line : lines) {
        if (StartsWithToken(line, token)) {
            lastToken = &line;
            continue;
        }
        const int verdict = FinalResultOf(line);
        if (verdict == RSP_MORE) {
            continue;
        }
        if (lastToken != nullptr) {
            answer.verdict = verdict;
            answer.hasValue = true;
            answer.value = AfterBlanks(lastToken->text).substr(tokenLength);
            answer.finalText = line.text;
            return answer;
        }
        if (firstFinal == nullptr) {
            firstFinal = &line;
        }
    }
    // A token line still waiting for its final line outweighs a final line before it.
    if (lastToken == nullptr && firstFinal != nullptr) {
        answer.verdict = FinalResultOf(*firstFinal);
        answer.finalText = firstFinal->text;
    }
    return answer;
}
