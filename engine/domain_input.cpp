#include "engine/domain_input.h"

#include <string>

const char kInvalidDomainMessage[] = "请输入正确域名";

namespace {

bool StartsWith(const CString& text, const char* prefix) {
    return text.Bytes().compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsSpaceOrControl(unsigned char byte) { return byte <= 0x20 || byte == 0x7F; }

}  // namespace

CString CleanDomain(CString text) {
    text.Trim();
    if (StartsWith(text, "https://")) text = text.Mid(8);
    if (StartsWith(text, "http://")) text = text.Mid(7);
    // "http:// host": the blank after the scheme would stay inside every command's
    // argument, since commands are started from argument lists, not split lines.
    text.Trim();
    int keep = text.GetLength();
    while (keep > 0 && text.GetAt(keep - 1) == '/') --keep;
    return text.Left(keep);
}

bool IsDomainAcceptable(const CString& cleaned) {
    const std::string& bytes = cleaned.Bytes();
    // Anywhere after the name's first character a space starts a new argument, even at
    // the end ("host :21" for the port probes).
    const size_t first = bytes.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    if (bytes[first] == '-' || bytes[first] == '/') return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if ((i >= first && IsSpaceOrControl(byte)) || byte < 0x20 || byte == '"') return false;
    }
    return true;
}
