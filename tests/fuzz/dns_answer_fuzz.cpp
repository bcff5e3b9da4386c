// libFuzzer target for a DNS answer read into records (ns_initparse and ns_parserr on
// whatever bytes a server sends). Every record read holds a value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/dns_answer_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65535) return 0;
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
