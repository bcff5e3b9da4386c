#include <windows.h>

#include "platform/utf8_gbk.h"
#include "platform/wide_text.h"

namespace {

const UINT kGbkCodePage = 936;

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
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                         nullptr, 0, "?", nullptr);
    if (size <= 0) return std::string(wide.size(), '?');
    std::string gbk(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, &gbk[0], size, "?",
                        nullptr);
    return gbk;
}
