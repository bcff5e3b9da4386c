#include "platform/exchange_request.h"

#include "platform/http_client.h"

namespace {

bool HasControl(const std::string& text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

bool StartsWith(const std::string& text, const char* head) {
    return text.compare(0, std::char_traits<char>::length(head), head) == 0;
}

// Scheme, then an authority with a host and no user part; no blank anywhere.
bool IsPageAddress(const std::string& url, bool httpsOnly) {
    size_t hostStart = 0;
    if (StartsWith(url, "https://")) {
        hostStart = 8;
    } else if (StartsWith(url, "http://") && !httpsOnly) {
        hostStart = 7;
    } else {
        return false;
    }
    if (url.find(' ') != std::string::npos) return false;
    const size_t end = url.find_first_of("/?#", hostStart);
    const std::string authority = url.substr(hostStart, end == std::string::npos ? end : end - hostStart);
    return !authority.empty() && authority[0] != ':' && authority.find('@') == std::string::npos;
}

}  // namespace

bool IsAcceptableExchange(const CExchangeRequestText& request) {
    if (HasControl(request.kind) || HasControl(request.host.Bytes()) ||
        HasControl(request.url.Bytes()) || HasControl(request.accept.Bytes())) {
        return false;
    }
    if (request.kind == "root" || request.kind == "https") {
        return IsPlainHostName(request.host) && request.url.IsEmpty() && request.accept.IsEmpty();
    }
    if (request.kind != "page" || !request.host.IsEmpty()) return false;
    return IsPageAddress(request.url.Bytes(), request.publicHttpsOnly) &&
           IsPlainMediaType(request.accept);
}
