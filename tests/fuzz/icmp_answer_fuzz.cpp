// libFuzzer target for the reader of ICMP answers (what a socket hands over when a
// probe comes back) and for the region database reader behind each hop's label. The
// first byte picks which and how; neither may read outside what it was given, and a
// region record, when one is found, lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/icmp_packet.h"
#include "probes/ip_region_db.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void ReadAnswer(const unsigned char* data, size_t size, unsigned mode) {
    const bool ipv6 = (mode & 1) != 0;
    const bool withHeader = (mode & 2) != 0;
    const auto facts = ReadIcmpAnswer(data, size, ipv6, withHeader);
    if (facts) Require(facts->answer != EIcmpAnswer::kNoAnswer);
    ReadEchoRequest(data, size, ipv6);
}

void ReadDatabase(const unsigned char* data, size_t size) {
    CIpRegionDb db;
    std::string error;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!db.Load(bytes, &error)) return;
    for (uint32_t address : {0u, 1u, 0x0A000001u, 0x3D8C0001u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Require(db.Lookup(address).size() < size);
    }
    Require(db.Date().size() <= 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned mode = data[0];
    if (mode & 4) {
        ReadDatabase(data + 1, size - 1);
    } else {
        ReadAnswer(data + 1, size - 1, mode);
    }
    return 0;
}
