// libFuzzer target for the reader of the records an HTTP exchange's own process sends
// back. The input is the stream, fed in pieces whose sizes its first byte picks; every
// record the reader hands back must encode to bytes that read back as the same record,
// and the reader may never hold more than its cap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_wire.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

std::string Encode(const CWireRecord& record) {
    switch (record.kind) {
        case EWireRecord::kAnswer:
            return EncodeWireAnswer(record.answer);
        case EWireRecord::kBody:
            return EncodeWireBody(record.body.data(), record.body.size());
        case EWireRecord::kEnd:
            return EncodeWireEnd(record.outcome);
        case EWireRecord::kPost:
            return EncodeWirePost(record.post);
    }
    return std::string();
}

// A record read back from its own encoding encodes to the same bytes again.
void CheckRoundTrip(const CWireRecord& record) {
    const std::string bytes = Encode(record);
    CWireReader again(bytes.size());
    Require(again.Feed(bytes.data(), bytes.size()));
    CWireRecord copy;
    Require(again.Next(&copy) == EWireRead::kRecord);
    Require(Encode(copy) == bytes);
    Require(again.Next(&copy) == EWireRead::kIncomplete);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64;
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    const size_t cap = 4096;
    CWireReader reader(cap);
    size_t fed = 0;
    for (size_t at = 0; at < length; at += piece) {
        const size_t count = length - at < piece ? length - at : piece;
        const bool kept = reader.Feed(stream + at, count);
        Require(kept == (fed + count <= cap));
        if (!kept) break;
        fed += count;
        CWireRecord record;
        EWireRead read;
        while ((read = reader.Next(&record)) == EWireRead::kRecord) CheckRoundTrip(record);
        if (read == EWireRead::kMalformed) {
            Require(reader.Next(&record) == EWireRead::kMalformed);
            break;
        }
    }
    return 0;
}
