#include "probes/whois_text.h"

#include "platform/string_array.h"
#include "probes/split_string.h"

bool FindWhoisReferral(CString answer, CString* referral) {
    answer.Trim();
    CStringArray lines;
    SplitString(answer, "\n", &lines);
    for (int i = 0; i < lines.GetSize(); ++i) {
        const CString& line = lines.GetAt(i);
        if (line.Find("Whois Server:") < 0) continue;
        *referral = line.Mid(line.Find(':') + 1);
        return true;
    }
    return false;
}

bool LastTwoLabels(const CString& domain, CString* name) {
    CStringArray labels;
    SplitString(domain, ".", &labels);
    const int count = labels.GetSize();
    if (count < 2) return false;
    *name = labels.GetAt(count - 2) + "." + labels.GetAt(count - 1);
    return true;
}

CString LineFeedsToCrLf(const CString& text) {
    // Byte by byte rather than through the multibyte search: an answer in another
    // encoding (UTF-8 is common) can put a byte that looks like a GBK lead byte right
    // before a LF, and that LF must still become a line end in the report.
    std::string converted;
    converted.reserve(text.Bytes().size() + text.Bytes().size() / 16);
    for (char ch : text.Bytes()) {
        if (ch == '\n') converted += '\r';
        converted += ch;
    }
    return CString(converted);
}

int CharBoundaryPrefix(const CString& text, int limit) {
    const int length = text.GetLength();
    int pos = 0;
    while (pos < length) {
        const bool pair =
            IsGbkLeadByte(static_cast<unsigned char>(text.Bytes()[static_cast<size_t>(pos)])) &&
            pos + 1 < length;
        const int width = pair ? 2 : 1;
        if (pos + width > limit) break;
        pos += width;
    }
    return pos;
}
