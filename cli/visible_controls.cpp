#include "cli/visible_controls.h"

#include <cstdio>

namespace {

bool IsKeptControl(unsigned char byte) { return byte == '\t' || byte == '\n' || byte == '\r'; }

}  // namespace

std::string MakeControlsVisible(const std::string& text, bool utf8) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && !IsKeptControl(byte)) {
            shown += '^';
            shown += static_cast<char>(byte + 0x40);
        } else if (byte == 0x7F) {
            shown += "^?";
        } else if (utf8 && byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            char code[16];
            std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned char>(text[++i]));
            shown += code;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}
