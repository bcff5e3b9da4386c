#include <string>

#include "platform/utf8_gbk.h"
#include "platform/wide_text.h"

namespace {

// A character outside the BMP has no GBK form: it becomes one U+FFFD, so one '?' and
// not one per half of its pair.
std::wstring JoinSurrogatePairs(const std::wstring& wide) {
    std::wstring joined;
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t ch = wide[i];
        const bool high = ch >= 0xD800 && ch <= 0xDBFF;
        if (high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
        joined += (ch >= 0xD800 && ch <= 0xDFFF) ? wchar_t(0xFFFD) : ch;
    }
    return joined;
}

}  // namespace

std::string Utf8ToGbkLossy(const std::string& utf8) {
    // Bytes that are not UTF-8 come out of the wide conversion as U+FFFD, which has no
    // GBK form and so becomes '?' with every other such character.
    const std::wstring wide = JoinSurrogatePairs(Utf8ToWide(utf8));
    if (wide.empty()) return std::string(utf8.empty() ? 0 : utf8.size(), '?');
    std::string gbk;
    if (!Utf16ToGbk(wide, EGbkRule::kReplaceQuestionMark, &gbk)) {
        return std::string(wide.size(), '?');
    }
    return gbk;
}

bool ReportGbkToUtf8(const std::string& gbk, std::string* utf8) {
    std::wstring wide;
    if (!GbkToUtf16(gbk, EGbkRule::kRefuse, &wide)) return false;
    *utf8 = WideToUtf8(wide);
    return true;
}

// A byte that is not UTF-8 comes out of the wide conversion as U+FFFD, which has no GBK
// form, so the strict rule refuses it with every other character GBK lacks.
bool ReportUtf8ToGbk(const std::string& utf8, std::string* gbk) {
    return Utf16ToGbk(Utf8ToWide(utf8), EGbkRule::kRefuse, gbk);
}
