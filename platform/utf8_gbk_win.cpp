#include <windows.h>

#include "platform/utf8_gbk.h"
#include "platform/wide_text.h"

namespace {

const UINT kGbkCodePage = 936;

}  // namespace

std::string Utf8ToGbkLossy(const std::string& utf8) {
    // Bytes that are not UTF-8 come out of the wide conversion as U+FFFD, which has no
    // GBK form and so becomes '?' with every other such character.
    const std::wstring wide = Utf8ToWide(utf8);
    if (wide.empty()) return std::string(utf8.empty() ? 0 : utf8.size(), '?');
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                         nullptr, 0, "?", nullptr);
    if (size <= 0) return std::string(wide.size(), '?');
    std::string gbk(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, &gbk[0], size,
                        "?", nullptr);
    return gbk;
}
