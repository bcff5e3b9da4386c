// libFuzzer target for the texts the libcurl backend reads from a server: header lines
// one by one (split at "\n", as libcurl hands them over) under a limit the first byte
// picks, and the certificate fields libcurl writes out from what the server sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/http_header_posix.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckHeaders(const std::string& stream, int limit) {
    CHeaderBlock headers(limit);
    size_t start = 0;
    while (start < stream.size()) {
        size_t end = stream.find('\n', start);
        end = end == std::string::npos ? stream.size() : end + 1;
        if (!headers.Take(stream.substr(start, end - start))) {
            Require(headers.tooLong);
            break;
        }
        start = end;
    }
    Require(headers.block.size() <= headers.limit);
    Require(headers.status >= 0 && headers.status <= 999);
    Require(!headers.complete || headers.status >= 200);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckHeaders(text, 16 + data[0] * 4);

    ParseCertificateDate(text);
    for (const CString& name : DnsNamesOf(text))
        Require(text.find(name.Bytes()) != std::string::npos);
    const CString common = CommonNameOf(text);
    Require(text.find(common.Bytes()) != std::string::npos);
    return 0;
}
