#include "platform/path_text.h"

namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes one sequence at path[*pos]; returns false for bytes no encoder writes.
bool DecodeOne(const std::string& path, size_t* pos, char32_t* code) {
    const unsigned char lead = static_cast<unsigned char>(path[*pos]);
    int extra = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        *code = lead;
        ++*pos;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, value = lead & 0x07, least = 0x10000;
    } else {
        return false;
    }
    if (*pos + static_cast<size_t>(extra) >= path.size()) return false;
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(path[*pos + static_cast<size_t>(i)]);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF) return false;
    *pos += static_cast<size_t>(extra) + 1;
    *code = value;
    return true;
}

}  // namespace

CFilePath Utf16ToPath(const std::u16string& units) {
    std::string path;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t code = units[i];
        if (IsHighSurrogate(code) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(code, &path);
    }
    return path;
}

bool PathToUtf16(const CFilePath& path, std::u16string* units) {
    units->clear();
    bool afterHigh = false;
    for (size_t pos = 0; pos < path.size();) {
        char32_t code = 0;
        if (!DecodeOne(path, &pos, &code)) return false;
        // A pair written as two three-byte halves would be a second spelling of the
        // four-byte form; only one spelling is accepted, so paths compare as bytes.
        if (afterHigh && IsLowSurrogate(code)) return false;
        afterHigh = IsHighSurrogate(code);
        if (code >= 0x10000) {
            units->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units->push_back(static_cast<char16_t>(code));
        }
    }
    return true;
}
