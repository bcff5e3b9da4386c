#include "net/exchange_request.h"

#include "net/http_client.h"

namespace {

bool HasControl(const std::string& text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

}  // namespace

bool IsAcceptableExchange(const CExchangeRequestText& request) {
    if (HasControl(request.kind) || HasControl(request.host.Bytes()) ||
        HasControl(request.url.Bytes()) || HasControl(request.accept.Bytes())) {
        return false;
    }
    if (request.kind == "root" || request.kind == "https" || request.kind == "timed-http" ||
        request.kind == "timed-https") {
        return IsPlainHostName(request.host) && request.url.IsEmpty() && request.accept.IsEmpty();
    }
    const bool post = request.kind == "post";
    if ((request.kind != "page" && !post) || !request.host.IsEmpty()) return false;
    if (post && !request.accept.IsEmpty()) return false;
    const bool https = request.url.Bytes().compare(0, 8, "https://") == 0;
    return IsPlainPageAddress(request.url) && (https || !request.publicHttpsOnly) &&
           IsPlainMediaType(request.accept);
}
