// Joining the parts of concatenated messages into the messages handed out,
// each with the storage indices of its parts.
#include "PhoneCardBase.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <tuple>

#include "SmsDecode.h"
#include "SmsTime.h"

namespace {

// The parts of one message reach the centre one right after the other, so
// their time stamps lie seconds apart. Parts stamped further apart than this
// belong to different messages that happen to share sender, reference and
// part count (an orphan part left from long ago, a sender that reuses its
// reference).
constexpr int64_t MAX_PART_STAMP_GAP = 3600;

// One stored part, with the instant of its time stamp where it has one.
struct Part
{
    const SmsInfo* info;
    bool hasStamp;
    int64_t stamp;

    int Number() const { return info->param.nPartNumber; }
};

bool StampOf(const SM_PARAM& p, int64_t& utc)
{
    return gsmTimeStampToUtc(p.bStatusReport ? p.tp_dt : p.tp_scts, &utc);
}

SmsRecvStruct_t Record(const SM_PARAM& p, std::string text)
{
    SmsRecvStruct_t r;
    r.from = p.tpa;
    r.text = std::move(text);
    if (p.bStatusReport) {
        r.kind = SMS_KIND_STATUS_REPORT;
        r.time = CPhoneCardBase::ReceiveTimeToReadStr(p.tp_dt);
        r.status = p.tp_st;
        r.reference = p.tp_mr;
    } else {
        r.time = CPhoneCardBase::ReceiveTimeToReadStr(p.tp_scts);
        if (p.bUndecodable) {
            r.kind = SMS_KIND_UNDECODABLE;
        }
    }
    r.hasStamp = StampOf(p, r.stampUtc);
    return r;
}

// An entry not read whole: what the modem gave, and where it is stored.
SmsRecvStruct_t UnreadableRecord(const SmsInfo& e)
{
    SmsRecvStruct_t r;
    r.kind = SMS_KIND_UNREADABLE;
    r.state = e.state;
    r.entryIndex = e.mode.index;
    r.raw = e.raw;
    r.storage = e.storage;
    return r;
}

// A part whose numbering the standard tells a receiver to ignore.
bool IsUsablePart(const SM_PARAM& p)
{
    return p.bConcatenated && p.nPartCount > 0 && p.nPartNumber > 0 && p.nPartNumber <= p.nPartCount;
}

// Parts belong together when sender, reference and part count agree; sent and
// received messages with the same party are kept apart.
struct PartKey
{
    std::string party;
    uint16_t reference;
    uint16_t count;
    bool outgoing;
    bool operator<(const PartKey& o) const
    {
        return std::tie(party, reference, count, outgoing) <
               std::tie(o.party, o.reference, o.count, o.outgoing);
    }
};

struct LongMessage
{
    std::vector<const Part*> parts;  // by part number - 1; nullptr where missing
    int present = 0;
    int firstIndex = INT_MAX;        // lowest storage index of its parts
    uint16_t reference = 0;
    bool alone = false;              // a part whose message cannot be told, shown by itself

    LongMessage(uint16_t count, uint16_t ref) : parts(count, nullptr), reference(ref) {}
    void Add(const Part& p)
    {
        parts[p.Number() - 1] = &p;
        ++present;
        firstIndex = std::min(firstIndex, p.info->mode.index);
    }
    bool Complete() const { return !alone && present == static_cast<int>(parts.size()); }
};

// The text of the parts present, in part order. Consecutive UCS-2 parts, and
// consecutive 8-bit parts, are joined as octets first: a character whose
// surrogate halves sit in two parts comes out whole, and data sent in parts
// comes out as one piece. 7-bit parts bring their own decoded text.
std::string JoinParts(const LongMessage& m)
{
    std::string text;
    std::vector<unsigned char> run;  // the octets of the current run of parts
    GsmAlphabet_t runAlphabet = GSM_ALPHABET_NONE;
    bool hasPort = false;
    unsigned int port = 0;
    auto flush = [&]() {
        if (runAlphabet == GSM_ALPHABET_UCS2) {
            text += gsmDecodeNew2(run.data(), static_cast<int>(run.size()));
        } else if (runAlphabet == GSM_ALPHABET_8BIT) {
            text += gsm8bitText(run.data(), static_cast<int>(run.size()), hasPort, port);
        }
        run.clear();
        runAlphabet = GSM_ALPHABET_NONE;
        hasPort = false;
    };
    for (const Part* part : m.parts) {
        if (part == nullptr) {
            flush();  // nothing joins across a gap
            continue;
        }
        const SM_PARAM& p = part->info->param;
        const GsmAlphabet_t alphabet = gsmDcsAlphabet(p.tp_dcs);
        if (alphabet != runAlphabet) {
            flush();
        }
        if (alphabet == GSM_ALPHABET_UCS2 || alphabet == GSM_ALPHABET_8BIT) {
            unsigned char octets[sizeof p.szPartData / 2];
            const int n = gsmHexToBytes(p.szPartData, p.nPartDataLen, octets, sizeof octets);
            run.insert(run.end(), octets, octets + n);
            runAlphabet = alphabet;
            if (p.bHasPort) {
                hasPort = true;
                port = p.nDestPort;
            }
        } else {
            text += p.tp_ud;
        }
    }
    flush();
    return text;
}

// Splits a cluster of parts that share sender, reference and count into
// messages. The parts come in the order the
// centre stamped them (storage order where stamps are equal or missing), and
// a message is taken to be a run of consecutive parts holding each number at
// most once. Of all ways to cut the cluster into such runs, the one leaving
// the fewest incomplete messages wins, then the one whose runs span the
// least time. It is kept only when it is the only best way and no grouping
// at all, runs or not, could leave fewer messages incomplete; otherwise
// which part belongs to which message cannot be told, and each part is shown
// alone rather than joined to a stranger. A cluster that repeats no part
// number is one message, complete or not: every other cut leaves more
// messages incomplete.
void SplitCluster(const Part* parts, size_t n, uint16_t count, std::vector<LongMessage>& out)
{
    // The fewest incomplete messages any grouping leaves: as many messages
    // as the most repeated number has copies, complete only as often as the
    // rarest number is there.
    std::vector<int> copies(count + 1, 0);
    int most = 0;
    for (size_t i = 0; i < n; ++i) {
        most = std::max(most, ++copies[parts[i].Number()]);
    }
    const int rarest = *std::min_element(copies.begin() + 1, copies.end());
    const int leastIncomplete = most - rarest;

    struct Cut
    {
        int incomplete = INT_MAX;
        int64_t spread = 0;
        int ways = 0;     // best ways to cut so far, counted up to 2
        size_t from = 0;  // where the last run of the best way starts
    };
    std::vector<Cut> best(n + 1);  // best[i]: the first i parts cut into runs
    best[0].incomplete = 0;
    best[0].ways = 1;
    std::vector<size_t> seenIn(count + 1, SIZE_MAX);  // seenIn[number] == i: in the run ending at i
    for (size_t i = 1; i <= n; ++i) {
        int distinct = 0;
        int64_t lo = INT64_MAX;
        int64_t hi = INT64_MIN;
        for (size_t j = i; j-- > 0;) {  // the run parts[j..i-1]
            const int number = parts[j].Number();
            if (seenIn[number] == i) {
                break;  // a repeated number: no longer run is allowed either
            }
            seenIn[number] = i;
            ++distinct;
            lo = std::min(lo, parts[j].stamp);
            hi = std::max(hi, parts[j].stamp);
            const int incomplete = best[j].incomplete + (distinct < count ? 1 : 0);
            const int64_t spread = best[j].spread + (hi - lo);
            Cut& b = best[i];
            if (std::tie(incomplete, spread) < std::tie(b.incomplete, b.spread)) {
                b = Cut{incomplete, spread, best[j].ways, j};
            } else if (incomplete == b.incomplete && spread == b.spread) {
                b.ways = std::min(2, b.ways + best[j].ways);
            }
        }
    }
    const uint16_t ref = parts[0].info->param.nReference;
    if (best[n].ways != 1 || best[n].incomplete != leastIncomplete) {
        for (size_t i = 0; i < n; ++i) {
            out.emplace_back(count, ref);
            out.back().Add(parts[i]);
            out.back().alone = true;
        }
        return;
    }
    for (size_t end = n; end > 0; end = best[end].from) {
        out.emplace_back(count, ref);
        for (size_t i = best[end].from; i < end; ++i) {
            out.back().Add(parts[i]);
        }
    }
}

// Splits the parts sharing one sender, reference and count into messages.
void SplitIntoMessages(std::vector<Part>& parts, uint16_t count, std::vector<LongMessage>& out)
{
    // Time stamps order the parts only when every part has one: a stored
    // outgoing message has none, and then storage order is all there is.
    const bool stamped = std::all_of(parts.begin(), parts.end(), [](const Part& p) { return p.hasStamp; });
    for (Part& p : parts) {
        p.stamp = stamped ? p.stamp : 0;
    }
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return std::make_tuple(a.stamp, a.info->mode.index, a.Number()) <
               std::make_tuple(b.stamp, b.info->mode.index, b.Number());
    });
    size_t begin = 0;
    for (size_t i = 1; i <= parts.size(); ++i) {
        if (i < parts.size() && parts[i].stamp - parts[i - 1].stamp <= MAX_PART_STAMP_GAP) {
            continue;
        }
        SplitCluster(&parts[begin], i - begin, count, out);
        begin = i;
    }
}

SmsRecvStruct_t JoinedRecord(const LongMessage& m)
{
    // Sender and time of the last part present, as the part that completes it.
    const Part* last = nullptr;
    for (const Part* part : m.parts) {
        if (part != nullptr) {
            last = part;
        }
    }
    SmsRecvStruct_t r = Record(last->info->param, JoinParts(m));
    r.complete = m.Complete();
    r.partReference = m.reference;
    r.partCount = static_cast<int>(m.parts.size());
    for (const Part* part : m.parts) {
        if (part == nullptr) {
            continue;
        }
        if (part->info->param.bUndecodable) {
            r.kind = SMS_KIND_UNDECODABLE;
        }
        if (r.indices.empty()) {
            r.storage = part->info->storage;
        }
        r.indices.push_back(part->info->mode.index);
        r.storages.push_back(part->info->storage);
        int64_t stamp = 0;
        if (StampOf(part->info->param, stamp) && (!r.hasStamp || stamp > r.stampUtc)) {
            r.hasStamp = true;
            r.stampUtc = stamp;
        }
    }
    return r;
}

}  // namespace

std::vector<SmsRecvStruct_t> CPhoneCardBase::SmsInfoVecToSmsRecvStructVec(const std::vector<SmsInfo>& entries,
                                                                          bool bIncludeIncomplete)
{
    // Storage order first: it decides the order of single messages.
    std::vector<const SmsInfo*> order;
    order.reserve(entries.size());
    for (const SmsInfo& e : entries) {
        order.push_back(&e);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const SmsInfo* a, const SmsInfo* b) { return lessSmsInfo(*a, *b); });

    std::vector<SmsRecvStruct_t> records;
    std::map<PartKey, std::vector<Part>> groups;
    for (const SmsInfo* e : order) {
        const SM_PARAM& p = e->param;
        if (e->state != SMS_ENTRY_WHOLE) {
            records.push_back(UnreadableRecord(*e));  // joined to nothing: its part number is not to be believed
            continue;
        }
        if (!IsUsablePart(p)) {
            records.push_back(Record(p, p.tp_ud));  // a single message, or a part shown alone
            records.back().indices.push_back(e->mode.index);
            records.back().storages.push_back(e->storage);
            records.back().storage = e->storage;
            continue;
        }
        Part part{e, false, 0};
        part.hasStamp = StampOf(p, part.stamp);
        groups[PartKey{p.tpa, p.nReference, p.nPartCount, e->mode.stat >= 2}].push_back(part);
    }

    // The groups' vectors stay put from here on: the messages point into them.
    std::vector<LongMessage> messages;
    for (auto& g : groups) {
        SplitIntoMessages(g.second, g.first.count, messages);
    }
    std::vector<const LongMessage*> joined;
    for (const LongMessage& m : messages) {
        if (bIncludeIncomplete || m.alone || m.Complete()) {
            joined.push_back(&m);
        }
    }
    std::stable_sort(joined.begin(), joined.end(), [](const LongMessage* a, const LongMessage* b) {
        return std::tie(a->reference, a->firstIndex) < std::tie(b->reference, b->firstIndex);
    });
    for (const LongMessage* m : joined) {
        records.push_back(JoinedRecord(*m));
    }
    return records;
}
