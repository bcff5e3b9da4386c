// libFuzzer target for a DNS answer read into records (ns_initparse and ns_parserr on
// whatever bytes a server sends). Every record read holds a value; a whole message gives
// records or a failure, never both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/dns_answer_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65535) return 0;
    // The whole-message reader gives records or a failure, never both.
    const CDnsAnswer whole = ReadAnswerMessage(data, static_cast<int>(size));
    if (whole.failure != EPlatformError::kNone && !whole.records.empty()) std::abort();
    std::vector<CDnsRecord> records;
    if (!ReadDnsAnswerSection(data, static_cast<int>(size), &records)) {
        if (!records.empty()) std::abort();
        return 0;
    }
    for (const CDnsRecord& record : records) {
        if (record.type != EDnsType::kCname && record.value.IsEmpty()) std::abort();
    }
    return 0;
}
