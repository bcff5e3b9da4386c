#include "app/gbk_text.h"

#include <windows.h>

#include <cstring>

namespace {

const UINT kGbkCodePage = 936;
const wchar_t kEscapeBase = 0xDC00;

bool IsEscape(wchar_t unit) { return unit >= kEscapeBase && unit <= kEscapeBase + 0xFF; }

// The one UTF-16 unit that the GBK character bytes[0..length) stands for, or 0 when those
// bytes are not exactly one character that converts back to the same bytes.
wchar_t DecodeCharacter(const char* bytes, int length) {
    wchar_t unit[2] = {};
    if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes, length, unit, 2) != 1) {
        return 0;
    }
    char back[4] = {};
    BOOL usedDefault = FALSE;
    const int backLength = WideCharToMultiByte(kGbkCodePage, 0, unit, 1, back, sizeof back,
                                               nullptr, &usedDefault);
    if (usedDefault || backLength != length || memcmp(back, bytes, length) != 0) return 0;
    return IsEscape(unit[0]) ? 0 : unit[0];
}

// Whole-text conversion for the usual case; false when the text needs escapes.
bool DecodeClean(const std::string& bytes, std::wstring* text) {
    if (bytes.find('\0') != std::string::npos) return false;
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes.data(), size,
                                          nullptr, 0);
    if (units <= 0) return false;
    text->assign(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, bytes.data(), size, &(*text)[0], units);
    for (wchar_t unit : *text) {
        if (IsEscape(unit)) return false;
    }
    // Some byte sequences decode without error yet come back as other bytes.
    return WideToGbk(*text).Bytes() == bytes;
}

void AppendEncoded(const wchar_t* units, int count, std::string* bytes) {
    if (count <= 0) return;
    const int size = WideCharToMultiByte(kGbkCodePage, 0, units, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    const size_t at = bytes->size();
    bytes->resize(at + static_cast<size_t>(size));
    WideCharToMultiByte(kGbkCodePage, 0, units, count, &(*bytes)[at], size, nullptr, nullptr);
}

}  // namespace

std::wstring GbkToWide(const CString& bytes) {
    const std::string& in = bytes.Bytes();
    std::wstring text;
    if (in.empty() || DecodeClean(in, &text)) return text;
    text.clear();
    size_t i = 0;
    while (i < in.size()) {
        const unsigned char byte = static_cast<unsigned char>(in[i]);
        if (byte != 0 && byte < 0x80) {
            text += static_cast<wchar_t>(byte);
            ++i;
            continue;
        }
        if (byte != 0 && IsGbkLeadByte(byte) && i + 1 < in.size()) {
            const wchar_t unit = DecodeCharacter(&in[i], 2);
            if (unit) {
                text += unit;
                i += 2;
                continue;
            }
        }
        const wchar_t single = byte ? DecodeCharacter(&in[i], 1) : 0;
        text += single ? single : static_cast<wchar_t>(kEscapeBase + byte);
        ++i;
    }
    return text;
}

CString WideToGbk(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    size_t runStart = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsEscape(text[i])) continue;
        AppendEncoded(text.data() + runStart, static_cast<int>(i - runStart), &bytes);
        if (i < text.size()) bytes += static_cast<char>(text[i] - kEscapeBase);
        runStart = i + 1;
    }
    return CString(bytes);
}

bool TypedTextToGbk(const std::wstring& text, CString* bytes) {
    const int count = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), count,
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    BOOL usedDefault = FALSE;
    if (size > 0) {
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), count, &out[0], size,
                            nullptr, &usedDefault);
    }
    if (usedDefault || (count > 0 && size <= 0)) return false;
    *bytes = CString(out);
    return true;
}
