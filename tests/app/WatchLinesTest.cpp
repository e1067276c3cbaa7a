// The id of a message in the lines of sms watch: the documented hash of the
// documented fields (values computed apart from this code), and every field
// telling two messages apart.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "WatchLines.h"

namespace {

SmsRecvStruct_t Message()
{
    SmsRecvStruct_t sms;
    sms.from = "+8613900000000";
    sms.time = "26-12-08 10:00:00";
    sms.text = "hi \xe4\xbd\xa0\xe5\xa5\xbd";
    return sms;
}

TEST(SmsWatchId, IsTheDocumentedHashOfTheDocumentedFields)
{
    EXPECT_EQ(SmsWatchId("89860012345678901234", Message()), "5df26303cbba51d7");
    SmsRecvStruct_t report;
    report.kind = SMS_KIND_STATUS_REPORT;
    report.from = "+8613900000001";
    report.time = "26-12-08 10:00:05";
    report.text = "delivered";
    report.reference = 42;
    EXPECT_EQ(SmsWatchId("861234567890123", report), "422db95773594157");
}

TEST(SmsWatchId, EveryFieldTellsMessagesApart)
{
    std::vector<std::pair<std::string, SmsRecvStruct_t>> variants;
    variants.emplace_back("sim", Message());
    auto change = [&](const std::function<void(SmsRecvStruct_t&)>& how) {
        SmsRecvStruct_t sms = Message();
        how(sms);
        variants.emplace_back("sim", sms);
    };
    variants.emplace_back("other sim", Message());
    change([](SmsRecvStruct_t& s) { s.from += "1"; });
    change([](SmsRecvStruct_t& s) { s.time = "26-12-08 10:00:01"; });
    change([](SmsRecvStruct_t& s) { s.text += "!"; });
    change([](SmsRecvStruct_t& s) { s.kind = SMS_KIND_UNDECODABLE; });
    change([](SmsRecvStruct_t& s) { s.partReference = 7, s.partCount = 2; });
    change([](SmsRecvStruct_t& s) { s.partReference = 7, s.partCount = 3; });
    change([](SmsRecvStruct_t& s) { s.status = 70; });
    change([](SmsRecvStruct_t& s) { s.reference = 1; });
    change([](SmsRecvStruct_t& s) { s.raw = "+CMGL: 1,1,,9"; });
    // A byte moved from one field to the next is another message.
    change([](SmsRecvStruct_t& s) { s.from = "+861390000000"; s.time = "026-12-08 10:00:00"; });
    std::set<std::string> ids;
    for (const auto& v : variants) {
        const std::string id = SmsWatchId(v.first, v.second);
        EXPECT_EQ(id.size(), 16u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), variants.size());
    // What the message is not part of (its storage, its indices) leaves the id as it was.
    SmsRecvStruct_t moved = Message();
    moved.storage = SMS_STORAGE_ME;
    moved.indices = {5};
    EXPECT_EQ(SmsWatchId("sim", moved), SmsWatchId("sim", Message()));
}

}  // namespace
