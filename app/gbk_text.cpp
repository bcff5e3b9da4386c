#include "app/gbk_text.h"

#include "platform/wide_text.h"

namespace {

const wchar_t kEscapeBase = 0xDC00;

bool IsEscape(wchar_t unit) { return unit >= kEscapeBase && unit <= kEscapeBase + 0xFF; }

// The one UTF-16 unit that the GBK character bytes[0..length) stands for, or 0 when those
// bytes are not exactly one character that converts back to the same bytes.
wchar_t DecodeCharacter(const char* bytes, int length) {
    const std::string character(bytes, static_cast<size_t>(length));
    std::wstring unit;
    if (!GbkToUtf16(character, EGbkRule::kRefuse, &unit) || unit.size() != 1) return 0;
    std::string back;
    if (!Utf16ToGbk(unit, EGbkRule::kRefuse, &back) || back != character) return 0;
    return IsEscape(unit[0]) ? 0 : unit[0];
}

// Whole-text conversion for the usual case; false when the text needs escapes.
bool DecodeClean(const std::string& bytes, std::wstring* text) {
    if (bytes.find('\0') != std::string::npos) return false;
    if (!GbkToUtf16(bytes, EGbkRule::kRefuse, text) || text->empty()) return false;
    for (wchar_t unit : *text) {
        if (IsEscape(unit)) return false;
    }
    // Some byte sequences decode without error yet come back as other bytes.
    return WideToGbk(*text).Bytes() == bytes;
}

void AppendEncoded(const wchar_t* units, size_t count, std::string* bytes) {
    if (count == 0) return;
    *bytes += Utf16ToGbk(std::wstring(units, count), EGbkRule::kReplaceLookAlike);
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
        AppendEncoded(text.data() + runStart, i - runStart, &bytes);
        if (i < text.size()) bytes += static_cast<char>(text[i] - kEscapeBase);
        runStart = i + 1;
    }
    return CString(bytes);
}

bool TypedTextToGbk(const std::wstring& text, CString* bytes) {
    std::string gbk;
    if (!Utf16ToGbk(text, EGbkRule::kRefuse, &gbk)) return false;
    *bytes = CString(gbk);
    return true;
}
