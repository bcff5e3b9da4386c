// libFuzzer target for the reader of a DNS server's answer message: whatever a server
// sends, the reader returns records whose values are plain text, or a failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/dns_message_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CDnsAnswer answer = ReadAnswerMessage(data, static_cast<int>(size));
    if (answer.failure != EPlatformError::kNone && !answer.records.empty()) std::abort();
    return 0;
}
