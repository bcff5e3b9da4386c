#include "render/markup_text.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD, as UTF-8 bytes

bool IsLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool IsTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// A line the codec refuses as a whole, character by character: only the bytes that are
// no GBK character are lost.
std::string ConvertPiecewise(std::string_view gbk, const CTextCodec& codec) {
    std::string utf8;
    for (size_t i = 0; i < gbk.size();) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
            ++i;
            continue;
        }
        std::string one;
        if (IsLead(byte) && i + 1 < gbk.size() && IsTrail(static_cast<unsigned char>(gbk[i + 1])) &&
            codec.gbkToUtf8(gbk.substr(i, 2), &one)) {
            utf8 += one;
            i += 2;
        } else {
            utf8 += kReplacement;
            ++i;
        }
    }
    return utf8;
}

std::string ConvertLines(std::string_view gbk, const CTextCodec& codec) {
    std::string utf8;
    utf8.reserve(gbk.size() + gbk.size() / 2);
    while (!gbk.empty()) {
        const size_t end = gbk.find('\n');
        const std::string_view line =
            gbk.substr(0, end == std::string_view::npos ? gbk.size() : end + 1);
        std::string converted;
        utf8 += codec.gbkToUtf8(line, &converted) ? converted : ConvertPiecewise(line, codec);
        gbk.remove_prefix(line.size());
    }
    return utf8;
}

// C1 controls (U+0080..U+009F) and the bidirectional embeddings, overrides and isolates,
// which could make a line read as something other than its bytes.
size_t InvisibleControlLength(std::string_view utf8, size_t at) {
    const auto byte = [&](size_t i) {
        return i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0;
    };
    if (byte(at) == 0xC2 && byte(at + 1) >= 0x80 && byte(at + 1) <= 0x9F) return 2;
    if (byte(at) == 0xE2 && byte(at + 1) == 0x80 && byte(at + 2) >= 0xAA && byte(at + 2) <= 0xAE)
        return 3;
    if (byte(at) == 0xE2 && byte(at + 1) == 0x81 && byte(at + 2) >= 0xA6 && byte(at + 2) <= 0xA9)
        return 3;
    return 0;
}

void AppendEscaped(std::string_view utf8, std::string* out) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const size_t control = InvisibleControlLength(utf8, i);
        if (control > 0) {
            i += control - 1;
            continue;
        }
        switch (c) {
            case '&':
                *out += "&amp;";
                break;
            case '<':
                *out += "&lt;";
                break;
            case '>':
                *out += "&gt;";
                break;
            case '"':
                *out += "&quot;";
                break;
            case '\'':
                *out += "&#39;";
                break;
            case '\r':
                if (i + 1 >= utf8.size() || utf8[i + 1] != '\n') *out += '\n';
                break;
            default:
                if (c == '\n' || c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
                    if (c != 0x7F) *out += c;
                }
                break;
        }
    }
}

}  // namespace

std::string MarkupText(std::string_view gbk, const CTextCodec& codec) {
    std::string out;
    AppendEscaped(ConvertLines(gbk, codec), &out);
    return out;
}
