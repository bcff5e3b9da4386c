#include <windows.h>

#include "platform/wide_text.h"

namespace {

const UINT kGbkCodePage = 936;

std::wstring ToWide(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, &wide[0], length);
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, &bytes[0], length, nullptr, nullptr);
    return bytes;
}

}  // namespace

bool GbkToUtf16(const std::string& gbk, EGbkRule rule, std::wstring* wide) {
    wide->clear();
    if (gbk.empty()) return true;
    const DWORD flags = rule == EGbkRule::kRefuse ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(gbk.size());
    const int length = MultiByteToWideChar(kGbkCodePage, flags, gbk.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide->assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(kGbkCodePage, flags, gbk.data(), size, &(*wide)[0], length);
    return true;
}

bool Utf16ToGbk(const std::wstring& wide, EGbkRule rule, std::string* gbk) {
    gbk->clear();
    if (wide.empty()) return true;
    const DWORD flags = rule == EGbkRule::kReplaceLookAlike ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* substitute = rule == EGbkRule::kReplaceQuestionMark ? "?" : nullptr;
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(kGbkCodePage, flags, wide.data(), size, nullptr, 0, substitute, nullptr);
    if (length <= 0) return false;
    gbk->assign(static_cast<size_t>(length), '\0');
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(kGbkCodePage, flags, wide.data(), size, &(*gbk)[0], length, substitute,
                        rule == EGbkRule::kRefuse ? &usedDefault : nullptr);
    if (usedDefault) gbk->clear();
    return !usedDefault;
}

std::wstring GbkToUtf16(const std::string& gbk, EGbkRule rule) {
    std::wstring wide;
    GbkToUtf16(gbk, rule, &wide);
    return wide;
}

std::string Utf16ToGbk(const std::wstring& wide, EGbkRule rule) {
    std::string gbk;
    Utf16ToGbk(wide, rule, &gbk);
    return gbk;
}

bool PathToWide(const CFilePath& path, std::wstring* wide) {
    std::u16string units;
    wide->clear();
    if (!PathToUtf16(path, &units)) return false;
    wide->assign(units.begin(), units.end());
    return true;
}

std::wstring PathToWide(const CFilePath& path) {
    std::wstring wide;
    PathToWide(path, &wide);
    return wide;
}

CFilePath WideToPath(const std::wstring& wide) {
    return Utf16ToPath(std::u16string(wide.begin(), wide.end()));
}

std::wstring Utf8ToWide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::string WideToUtf8(const std::wstring& wide) { return FromWide(CP_UTF8, wide); }
