// libFuzzer target for an RDAP answer on its way into the report: the JSON reading
// under its bounds, the related link's rule, and the lines made of both. Whatever the
// answer, the lines are whole CR LF lines with no other control character in them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "probes/rdap_text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckLines(const std::string& lines) {
    Require(lines.size() >= 2 && lines.compare(lines.size() - 2, 2, "\r\n") == 0);
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto byte = static_cast<unsigned char>(lines[i]);
        if (byte == '\r') {
            Require(i + 1 < lines.size() && lines[i + 1] == '\n');
        } else if (byte == '\n') {
            Require(i > 0 && lines[i - 1] == '\r');
        } else {
            Require(byte >= 0x20 && byte != 0x7F);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    CRdapRecord record;
    if (ParseRdapDomain(answer, &record) != ERdapParse::kOk) return 0;
    const std::string& link = record.relatedUrl;
    if (MayFollowRdapLink(link, false)) {
        Require(link.compare(0, 8, "https://") == 0 && link.size() <= kRdapMaxLinkBytes);
        for (const char ch : link) Require(ch > 0x20 && ch < 0x7F);
    }
    CheckLines(RdapRecordLines(record, CString(link)).Bytes());
    CRdapRecord merged;
    FillRdapGaps(&merged, record);
    CheckLines(RdapRecordLines(merged, "https://rdap.example/domain/a.com").Bytes());
    return 0;
}
