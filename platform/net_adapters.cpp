#include "platform/net_adapters.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

std::string Lowered(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return lower;
}

// A word standing alone ("tap" in "TAP-Windows", not in "Adaptec").
bool HasWord(const std::string& text, const std::string& word) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
        const size_t end = at + word.size();
        const bool endOk =
            end >= text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

EAdapterKind KindFromDescription(const CString& description) {
    const std::string text = Lowered(description.Bytes());
    if (text.find("wireguard") != std::string::npos) return EAdapterKind::kWireGuard;
    if (HasWord(text, "tap") || HasWord(text, "tun") || text.find("wintun") != std::string::npos)
        return EAdapterKind::kTunTap;
    if (HasWord(text, "ppp") || HasWord(text, "pppoe") ||
        text.find("wan miniport") != std::string::npos)
        return EAdapterKind::kPpp;
    if (text.find("tunnel") != std::string::npos) return EAdapterKind::kTunnel;
    for (const char* word :
         {"virtual", "vpn", "hyper-v", "vmware", "virtualbox", "loopback adapter"})
        if (text.find(word) != std::string::npos) return EAdapterKind::kVirtual;
    return EAdapterKind::kPhysical;
}
