// libFuzzer target for the readers of the public address services' answers. The first
// input byte picks the service's form, the rest is the answer body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "probes/address_text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const EAddressFormat formats[] = {EAddressFormat::kBare, EAddressFormat::kIpipLine,
                                      EAddressFormat::kOrayLine};
    const EAddressFormat format = formats[data[0] % 3];
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    const CString address = AddressFromAnswer(format, CString(body));
    // Whatever is taken is a plain address that the body holds as it is.
    if (!address.IsEmpty()) {
        Require(IsDottedQuad(address) || IsIpv6Text(address));
        Require(body.find(address.Bytes()) != std::string::npos);
    }
    IsIpv6Text(CString(body));
    return 0;
}
