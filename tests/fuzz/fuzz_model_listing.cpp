// The listing and read-one-at-a-time handlers of every model class, driven
// as the read workflow drives them: the listing answer, then while the model
// is not finished (at most 300 times) its next command and an answer, then a
// read again of each entry not read whole.
// Input: answers separated by backslash + any other byte (a doubled
// backslash is one backslash), then one byte (from the end) choosing the model.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int type = 0;
    const std::unique_ptr<CPhoneCardBase> phone = fuzz::ModelOfInput(in, type);
    phone->SetReportIncompleteSms(type % 2 == 0);

    // Two listings on one object, as the read workflow does (ME, then SM).
    for (int pass = 0; pass < 2 && in.remaining_bytes() > 0; ++pass) {
        const int v = phone->OnReadAllSmsCmdRsp(in.ConsumeRandomLengthString(1 << 16));
        fuzz::RequireVerdict(v);
        for (int i = 0; i < 300 && phone->NotFinished(); ++i) {
            phone->GetReadNextSmsCmd();
            const int next = phone->OnReadNextSmsCmdRsp(in.ConsumeRandomLengthString(1 << 16));
            fuzz::RequireVerdict(next);
        }
        // Every entry not read whole is read again by its index, as the
        // read-and-clear workflow does before it reports it.
        std::vector<int> unreadable;
        for (const SmsRecvStruct_t& r : phone->GetReadSms()) {
            if (r.kind == SMS_KIND_UNREADABLE) {
                unreadable.push_back(r.entryIndex);
            }
        }
        for (const int index : unreadable) {
            fuzz::Require(index >= 0 && !phone->GetReadOneSmsCmd(index).empty());
            const int again = phone->OnReadOneSmsCmdRsp(in.ConsumeRandomLengthString(1 << 16));
            fuzz::RequireVerdict(again);
        }
        for (const SmsRecvStruct_t& r : phone->GetReadSms()) {
            fuzz::Require(r.from.size() < (1u << 17) && r.text.size() < (1u << 18));
            fuzz::Require(fuzz::ValidUtf8(r.text.data(), r.text.size()));
            // Every message can be named for deletion; nothing unread can.
            fuzz::Require(r.kind == SMS_KIND_UNREADABLE ? r.indices.empty() && r.entryIndex >= 0 : !r.indices.empty());
        }
    }
    phone->GetErrorMessage();
    return 0;
}
