// See placeholders.h.
#include "privacy/placeholders.h"

#include "model/address_placeholder.h"

namespace {

const char* BasePrefix(EPlaceholder kind) {
    switch (kind) {
        case EPlaceholder::kOwnMac:
            return "本机MAC";
        case EPlaceholder::kOtherMac:
            return "MAC地址";
        case EPlaceholder::kDeviceId:
            return "本机DUID";
        case EPlaceholder::kOwnIpv4:
            return address_placeholder::kOwnIpv4;
        case EPlaceholder::kOwnIpv6:
            return address_placeholder::kOwnIpv6;
        case EPlaceholder::kLanIpv4:
            return address_placeholder::kLanIpv4;
        case EPlaceholder::kLanIpv6:
            return address_placeholder::kLanIpv6;
        case EPlaceholder::kHostName:
            return "本机名";
        case EPlaceholder::kUserName:
            return "用户名";
        default:
            return "密码";
    }
}

// Named once per report however often they stand; the rest are numbered.
bool IsName(EPlaceholder kind) {
    return kind == EPlaceholder::kHostName || kind == EPlaceholder::kUserName ||
           kind == EPlaceholder::kSecret;
}

// "", "A", ..., "Z", "AA", ...: the n-th tag.
std::string Tag(int n) {
    std::string tag;
    for (; n > 0; n = (n - 1) / 26) tag.insert(tag.begin(), static_cast<char>('A' + (n - 1) % 26));
    return tag;
}

}  // namespace

CPlaceholders::CPlaceholders(std::string_view reportText) {
    for (int kind = 0; kind < static_cast<int>(EPlaceholder::kCount); ++kind) {
        const std::string base = BasePrefix(static_cast<EPlaceholder>(kind));
        int n = 0;
        while (reportText.find(base + Tag(n)) != std::string_view::npos) ++n;
        m_prefixes[kind] = base + Tag(n);
    }
}

std::string CPlaceholders::For(EPlaceholder kind, const std::string& value) {
    auto& words = m_words[static_cast<int>(kind)];
    const auto known = words.find(value);
    if (known != words.end()) return known->second;
    const std::string& prefix = m_prefixes[static_cast<int>(kind)];
    const size_t number = words.size() + 1;
    std::string word = prefix;
    if (!IsName(kind) || number > 1) word += std::to_string(number);
    words.emplace(value, word);
    switch (kind) {
        case EPlaceholder::kOwnMac:
        case EPlaceholder::kOtherMac:
        case EPlaceholder::kDeviceId:
            ++m_counts.macs;
            break;
        case EPlaceholder::kOwnIpv4:
        case EPlaceholder::kOwnIpv6:
            ++m_counts.ownAddresses;
            break;
        case EPlaceholder::kLanIpv4:
        case EPlaceholder::kLanIpv6:
            ++m_counts.lanAddresses;
            break;
        default:
            break;
    }
    return word;
}

void CPlaceholders::CountPlace(EPlaceholder kind) {
    if (kind == EPlaceholder::kHostName)
        ++m_counts.hostNames;
    else if (kind == EPlaceholder::kUserName || kind == EPlaceholder::kSecret)
        ++m_counts.userNames;
}
