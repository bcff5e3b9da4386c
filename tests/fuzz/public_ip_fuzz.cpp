// libFuzzer target for what the public address step reads from a peer's page: the
// classic IPv4 parser, the line rule, and the address check of peer-chosen links.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ipv4_parse.h"
#include "net/public_address.h"
#include "probes/public_ip.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const CString text(bytes);
    const uint32_t value = ParseClassicIPv4(bytes.c_str());
    Require(IsIPv4Literal(text) == (value != kInvalidIPv4));

    CString shown;
    if (PublicIpLineText(text, &shown)) {
        for (const char ch : shown.Bytes()) {
            const auto byte = static_cast<unsigned char>(ch);
            Require(byte != 0 && (byte < '\n' || byte > '\r'));
        }
        Require(shown.GetLength() <= text.GetLength());
    }

    // A text the check calls public is a numeric address, never a name.
    if (IsPublicAddressText(bytes)) {
        Require(bytes.find_first_not_of("0123456789abcdefABCDEF.:[]") == std::string::npos);
    }
    return 0;
}
