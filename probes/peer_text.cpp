#include "probes/peer_text.h"

std::string PeerUrlText(const std::string& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(url.size());
    for (const char ch : url) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte > 0x20 && byte < 0x7F) {
            text.push_back(ch);
            continue;
        }
        text.push_back('%');
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

CString PeerUrlText(const CString& url) { return CString(PeerUrlText(url.Bytes())); }

CString PeerLineText(const CString& text) {
    std::string bytes = text.Bytes();
    for (char& ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == 0 || (byte >= '\n' && byte <= '\r')) ch = ' ';
    }
    return CString(bytes);
}
