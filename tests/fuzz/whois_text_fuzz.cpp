// libFuzzer target for the text rules of the whois lookup. The first input byte picks
// a split point: before it the delimiter (or limit), after it the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/string_array.h"
#include "probes/split_string.h"
#include "probes/whois_text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void CheckSplit(const CString& text, const CString& delimiter) {
    CStringArray pieces;
    SplitString(text, delimiter, &pieces);
    Require(pieces.GetSize() >= 1);
    std::string joined = pieces.GetAt(0).Bytes();
    for (int i = 1; i < pieces.GetSize(); ++i)
        joined += delimiter.Bytes() + pieces.GetAt(i).Bytes();
    Require(joined == text.Bytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t cut = 1 + (data[0] % 8 < size - 1 ? data[0] % 8 : size - 1);
    // Delimiters are C strings: the head ends at its first NUL.
    const std::string head(reinterpret_cast<const char*>(data + 1), cut - 1);
    const CString text(std::string(reinterpret_cast<const char*>(data + cut), size - cut));

    CheckSplit(text, CString(head.c_str()));
    CheckSplit(text, ".");
    CheckSplit(text, "\n");

    CString referral;
    if (FindWhoisReferral(text, &referral))
        Require(text.Bytes().find(referral.Bytes()) != std::string::npos);

    CString name;
    if (LastTwoLabels(text, &name)) {
        Require(EndsWith(text.Bytes(), name.Bytes()));
        Require(name.Bytes().find('.') != std::string::npos);
    }

    const CString converted = LineFeedsToCrLf(text);
    size_t feeds = 0;
    for (char ch : text.Bytes()) feeds += ch == '\n';
    Require(converted.Bytes().size() == text.Bytes().size() + feeds);

    const int limit = static_cast<int>(data[0]) * 3;
    const int kept = CharBoundaryPrefix(text, limit);
    Require(kept >= 0 && kept <= limit && kept <= text.GetLength());
    Require(kept >= limit - 1 || kept == text.GetLength());
    return 0;
}
