// libFuzzer target for the local text readers of the environment step: hosts file lines,
// HTTP dates and Date headers, proxy variables. The first input byte picks the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/local_settings.h"
#include "probes/local_text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckHosts(const std::string& content) {
    const std::vector<CString> lines = HostsLinesNaming(content, {"site.test", "www.site.test"});
    Require(lines.size() <= kMaxHostsLines);
    for (const CString& line : lines) Require(content.find(line.Bytes()) != std::string::npos);
}

void CheckDate(const std::string& text) {
    long long unixTime = -1;
    if (ParseHttpDate(text, &unixTime)) Require(unixTime >= 0);
    std::string value;
    if (DateHeaderOf(text, &value)) Require(text.find(value) != std::string::npos);
}

void CheckProxy(const std::string& text) {
    std::vector<std::string> environment;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        environment.push_back(text.substr(start, end - start));
    environment.push_back(text.substr(start));
    for (const CProxySetting& setting : ProxyFromEnvironment(environment))
        Require(!setting.label.IsEmpty() && !setting.value.IsEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0:
            CheckHosts(text);
            break;
        case 1:
            CheckDate(text);
            break;
        default:
            CheckProxy(text);
            break;
    }
    return 0;
}
