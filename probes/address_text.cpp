#include "probes/address_text.h"

#include <cctype>
#include <string>

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

bool IsDecimalByte(const std::string& part) {
    if (part.empty() || part.size() > 3) return false;
    for (char ch : part)
        if (!IsDigit(ch)) return false;
    if (part.size() > 1 && part[0] == '0') return false;
    return std::stoi(part) <= 255;
}

bool IsDottedQuadText(const std::string& text) {
    int parts = 0;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        if (!IsDecimalByte(text.substr(start, dot == std::string::npos ? dot : dot - start)))
            return false;
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

bool IsHexGroup(const std::string& group) {
    if (group.empty() || group.size() > 4) return false;
    for (char ch : group)
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
    return true;
}

// The groups on one side of "::" (or of a whole address without it); an IPv4 tail,
// allowed only at the very end, counts as two groups.
int CountGroups(const std::string& side, bool mayEndInQuad) {
    if (side.empty()) return 0;
    int groups = 0;
    size_t start = 0;
    for (;;) {
        const size_t colon = side.find(':', start);
        const std::string group =
            side.substr(start, colon == std::string::npos ? colon : colon - start);
        if (colon == std::string::npos && mayEndInQuad && IsDottedQuadText(group))
            return groups + 2;
        if (!IsHexGroup(group)) return -1;
        ++groups;
        if (colon == std::string::npos) return groups;
        start = colon + 1;
    }
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

bool IsDottedQuad(const CString& text) { return IsDottedQuadText(text.Bytes()); }

bool IsIpv6Text(const CString& text) {
    const std::string& bytes = text.Bytes();
    if (bytes.size() < 2 || bytes.size() > 45) return false;
    const size_t gap = bytes.find("::");
    if (gap == std::string::npos) return CountGroups(bytes, true) == 8;
    if (bytes.find("::", gap + 1) != std::string::npos) return false;
    const int before = CountGroups(bytes.substr(0, gap), false);
    const int after = CountGroups(bytes.substr(gap + 2), true);
    return before >= 0 && after >= 0 && before + after <= 7;
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
    if (IsDottedQuadText(address)) return CString(address);
    if (format == EAddressFormat::kBare && IsIpv6Text(CString(address))) return CString(address);
    return CString();
}
