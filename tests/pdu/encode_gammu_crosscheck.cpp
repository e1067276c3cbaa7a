// Cross-check of the encoder with python-gammu's decoder (Debian package
// python3-gammu): what the encoder writes must read back, through a decoder
// that shares no code with ours, as the number, type, centre, text and
// concatenation header we meant.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "SmsEncode.h"

namespace {

const std::string GRIN = "\xF0\x9F\x98\x80";   // U+1F600
const std::string THUMB = "\xF0\x9F\x91\x8D";  // U+1F44D

std::string Utf8Of(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

std::string HexOf(const std::string& s)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

struct Message
{
    std::string id;
    const char* sca;
    const char* tpa;
    bool national;
    bool concatenated;
    std::string text;
    std::vector<std::string> partTexts;  // expected text of each part
    // What gammu reports.
    std::string number;
    const char* toa;
    const char* smsc;
    std::vector<std::string> pdus;  // filled by the encoder
};

using Fields = std::map<std::string, std::string>;

struct Decoded
{
    std::map<std::string, std::vector<Fields>> parts;
    std::map<std::string, std::string> joined;
};

bool RunGammu(const std::vector<Message>& messages, Decoded& out, std::string& why)
{
    char path[] = "/tmp/tarnel-gammu-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        why = "mkstemp failed";
        return false;
    }
    close(fd);
    {
        std::ofstream f(path);
        for (const Message& m : messages) {
            for (const std::string& pdu : m.pdus) {
                f << m.id << '\t' << pdu << '\n';
            }
        }
    }
    const std::string cmd = std::string("/usr/bin/python3 ") + TARNEL_FIXTURES +
                            "/../pdu/gammu_decode.py " + path + " 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string output;
    if (pipe != nullptr) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
            output.append(buf, n);
        }
        const int status = pclose(pipe);
        if (status != 0) {
            why = "python3-gammu decoder failed (is python3-gammu installed?):\n" + output;
        }
    } else {
        why = "cannot run /usr/bin/python3";
    }
    unlink(path);
    if (!why.empty()) {
        return false;
    }
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cols;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) {
            cols.push_back(cell);
        }
        if (cols.size() < 3) {
            continue;
        }
        Fields fields;
        for (std::size_t i = 2; i < cols.size(); ++i) {
            const std::size_t eq = cols[i].find('=');
            if (eq != std::string::npos) {
                fields[cols[i].substr(0, eq)] = cols[i].substr(eq + 1);
            }
        }
        if (cols[0] == "pdu") {
            out.parts[cols[1]].push_back(fields);
        } else if (cols[0] == "msg") {
            out.joined[cols[1]] = fields["text"];
        }
    }
    return true;
}

std::vector<Message> BuildMessages()
{
    std::vector<Message> msgs;
    // No '~' in the Latin text: gammu reads it as the start of its own escapes.
    msgs.push_back({"latin-national", "", "13912345678", true, false, "Hello, world! 123 @$_",
                    {}, "13912345678", "81", "", {}});
    msgs.push_back({"latin-international", "+8613800100500", "+8613912345678", false, false,
                    "abc", {}, "+8613912345678", "91", "+8613800100500", {}});
    std::string zh67;
    for (uint32_t i = 0; i < 67; ++i) {
        zh67 += Utf8Of(0x4E00 + 7 * i);  // 201 bytes of distinct characters
    }
    msgs.push_back({"chinese-67", "8613800100500", "8613912345678", false, false, zh67, {},
                    "+8613912345678", "91", "+8613800100500", {}});
    msgs.push_back({"emoji", "", "10086", true, false, "Hi " + GRIN + THUMB + " ok", {}, "10086",
                    "81", "", {}});

    Message latin{"long-latin-300", "8613800100500", "13912345678", true, true, "", {},
                  "13912345678", "A1", "+8613800100500", {}};
    for (int i = 0; i < 300; ++i) {
        latin.text += static_cast<char>('0' + i % 10 + (i / 10 % 3) * 17);
    }
    for (std::size_t at = 0; at < latin.text.size(); at += 67) {
        latin.partTexts.push_back(latin.text.substr(at, 67));
    }
    msgs.push_back(latin);

    // An empty centre in the part header is the bare type octet 91, which
    // gammu shows as "+".
    Message zh{"long-chinese-150", "", "+8613912345678", false, true, "", {}, "+8613912345678",
               "91", "+", {}};
    for (uint32_t i = 0; i < 150; ++i) {
        zh.text += Utf8Of(0x6000 + 3 * i);
        if (i % 67 == 0) {
            zh.partTexts.emplace_back();
        }
        zh.partTexts.back() += Utf8Of(0x6000 + 3 * i);
    }
    msgs.push_back(zh);

    // 80 emoji are 160 units: parts of 33 emoji (66 units) so that no pair
    // is cut, then 14.
    Message emoji{"long-emoji", "8613800100500", "10086", true, true, "", {}, "10086", "A1",
                  "+8613800100500", {}};
    std::string part;
    for (int i = 0; i < 80; ++i) {
        const std::string& e = i % 2 == 0 ? GRIN : THUMB;
        emoji.text += e;
        part += e;
        if (i % 33 == 32 || i == 79) {
            emoji.partTexts.push_back(part);
            part.clear();
        }
    }
    msgs.push_back(emoji);
    return msgs;
}

// gammu reads every message of `msgs` back as meant: number, type, centre,
// coding, validity, concatenation header (`refs`: the reference of each
// concatenated message) and the text of each part and of the whole.
void ExpectReadBack(const std::vector<Message>& msgs, const char* coding, const std::map<std::string, int>& refs)
{
    Decoded got;
    std::string why;
    ASSERT_TRUE(RunGammu(msgs, got, why)) << why;

    for (const Message& m : msgs) {
        SCOPED_TRACE(m.id);
        const std::vector<Fields>& parts = got.parts[m.id];
        ASSERT_EQ(parts.size(), m.pdus.size());
        for (std::size_t k = 0; k < parts.size(); ++k) {
            Fields f = parts[k];
            EXPECT_EQ(f["number"], m.number);
            EXPECT_EQ(f["toa"], m.toa);
            EXPECT_EQ(f["smsc"], m.smsc);
            EXPECT_EQ(f["coding"], coding);
            if (m.concatenated) {
                EXPECT_EQ(f["validity"], "1440M");
                EXPECT_EQ(f["udh"], "ConcatenatedMessages");
                EXPECT_EQ(f["ref"], std::to_string(refs.at(m.id)));
                EXPECT_EQ(f["part"], std::to_string(k + 1));
                EXPECT_EQ(f["parts"], std::to_string(m.partTexts.size()));
                ASSERT_EQ(m.partTexts.size(), parts.size());
                EXPECT_EQ(f["text"], HexOf(m.partTexts[k]));
            } else {
                EXPECT_EQ(f["validity"], "4D");
                EXPECT_EQ(f["udh"], "NoUDH");
                EXPECT_EQ(f["text"], HexOf(m.text));
            }
        }
        if (m.concatenated) {
            EXPECT_EQ(got.joined[m.id], HexOf(m.text));
        }
    }
}

}  // namespace

TEST(PduGammuCrossCheck, LatinChineseAndEmojiReadBack)
{
    std::vector<Message> msgs = BuildMessages();
    bInitSplitIndex = true;
    g_sSplitIndex = 253;  // the third long message wraps to reference 1
    std::map<std::string, int> refs;
    for (Message& m : msgs) {
        SM_PARAM p;
        std::memset(&p, 0, sizeof p);
        std::strncpy(p.sca, m.sca, sizeof p.sca - 1);
        std::strncpy(p.tpa, m.tpa, sizeof p.tpa - 1);
        p.bNational = m.national;
        p.tp_dcs = 8;
        if (m.concatenated) {
            p.text = m.text.c_str();
            ASSERT_TRUE(gsmLongSmsPdu(&p, m.pdus, true)) << m.id;
            refs[m.id] = g_sSplitIndex;
        } else {
            std::strncpy(p.tp_ud, m.text.c_str(), sizeof p.tp_ud - 1);
            std::string cmd;
            std::string pdu = gsmEncodePduNew(&p, cmd);
            ASSERT_FALSE(pdu.empty()) << m.id;
            pdu.pop_back();  // Ctrl-Z
            m.pdus.push_back(pdu);
        }
    }
    EXPECT_EQ(refs["long-emoji"], 1);

    ExpectReadBack(msgs, "Unicode_No_Compression", refs);
}

namespace {

// A 7-bit message: `parts` are the texts gammu must read from each part, in
// order (one part: the single-part form).
Message Gsm7Message(const std::string& id, const std::string& text, const std::vector<std::string>& parts)
{
    const bool concatenated = parts.size() > 1;
    return {id, "", "13912345678", true, concatenated, text, parts, "13912345678",
            concatenated ? "A1" : "81", concatenated ? "+" : "", {}};
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

}  // namespace

// 7-bit sends (encoding=auto): the default alphabet, the extension table,
// the part limits, and an escape that would end a part moved to the next.
TEST(PduGammuCrossCheck, Gsm7ReadsBack)
{
    const std::string everyDefault =
        "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?¡"
        "ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";
    const std::string extension = "\f^{}\\[~]|€";
    const std::string latin1000 = Repeat("Tarnel sends 7-bit. ", 50);
    std::vector<std::string> latinParts;
    for (std::size_t at = 0; at < latin1000.size(); at += 153) {
        latinParts.push_back(latin1000.substr(at, 153));
    }
    const std::string a152 = std::string(152, 'a');
    std::vector<Message> msgs = {
        Gsm7Message("default-alphabet", everyDefault, {everyDefault}),
        Gsm7Message("extension-table", extension, {extension}),
        Gsm7Message("single-160", std::string(160, 'x'), {std::string(160, 'x')}),
        Gsm7Message("two-parts-161", std::string(161, 'y'), {std::string(153, 'y'), std::string(8, 'y')}),
        Gsm7Message("latin-1000", latin1000, latinParts),
        // Septets 152 and 153 would be the escape and the euro's septet.
        Gsm7Message("escape-at-boundary", a152 + "€bbbbbbbbbb", {a152, "€bbbbbbbbbb"}),
        // The escape pair fills septets 151 and 152 exactly: no move.
        Gsm7Message("escape-fills-part", std::string(151, 'c') + "{dddddddddd",
                    {std::string(151, 'c') + "{", "dddddddddd"}),
    };
    std::map<std::string, int> refs;
    for (Message& m : msgs) {
        SM_PARAM p;
        std::memset(&p, 0, sizeof p);
        std::strncpy(p.tpa, m.tpa, sizeof p.tpa - 1);
        p.bNational = m.national;
        p.text = m.text.c_str();
        ASSERT_TRUE(gsmGsm7SmsPdu(&p, m.pdus)) << m.id;
        refs[m.id] = g_sSplitIndex;
    }
    ExpectReadBack(msgs, "Default_No_Compression", refs);
}
