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
    // Every LF, one after a CR included; the scan never takes a LF for a trail byte.
    CString converted(text);
    converted.Replace("\n", "\r\n");
    return converted;
}

int CharBoundaryPrefix(const CString& text, int limit) {
    const std::string& bytes = text.Bytes();
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t width = static_cast<size_t>(GbkCharLength(bytes, pos));
        if (pos + width > static_cast<size_t>(limit)) break;
        pos += width;
    }
    return static_cast<int>(pos);
}
