#include "probes/address_text.h"

#include <cctype>
#include <string>

#include "model/address_kind.h"

namespace {

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

std::string Trimmed(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// The run of address characters after the first label, past blanks and one colon (ASCII,
// or the full-width one in UTF-8 or GBK).
std::string AddressAfterLabel(const std::string& text, const std::string& label) {
    const size_t found = text.find(label);
    if (found == std::string::npos) return std::string();
    size_t at = found + label.size();
    while (at < text.size() && text[at] == ' ') ++at;
    for (const char* colon : {":", "\xEF\xBC\x9A", "\xA3\xBA"}) {
        if (text.compare(at, std::char_traits<char>::length(colon), colon) == 0) {
            at += std::char_traits<char>::length(colon);
            break;
        }
    }
    while (at < text.size() && text[at] == ' ') ++at;
    size_t end = at;
    while (end < text.size() && (IsDigit(text[end]) || text[end] == '.')) ++end;
    // "1.2.3.4x" is no address followed by text.
    if (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])))
        return std::string();
    return text.substr(at, end - at);
}

}  // namespace

bool IsDottedQuad(const CString& text) { return ParseIpv4(text.Bytes()).has_value(); }

bool IsIpv6Text(const CString& text) {
    const std::string& bytes = text.Bytes();
    return bytes.find(':') != std::string::npos && bytes.find('%') == std::string::npos &&
           ClassifyAddress(bytes) != EAddressKind::kInvalid;
}

CString AddressFromAnswer(EAddressFormat format, const CString& body) {
    const std::string text = Trimmed(body.Bytes());
    std::string address;
    switch (format) {
        case EAddressFormat::kBare:
            address = text;
            break;
        case EAddressFormat::kIpipLine:
            address = AddressAfterLabel(text, "IP");
            break;
        case EAddressFormat::kOrayLine:
            // The service may wrap its line in a small HTML page.
            address = AddressAfterLabel(text, "Current IP Address");
            break;
    }
    if (ParseIpv4(address)) return CString(address);
    if (format == EAddressFormat::kBare && IsIpv6Text(CString(address))) return CString(address);
    return CString();
}
