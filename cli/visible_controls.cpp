#include "cli/visible_controls.h"

#include <cstdio>

namespace {

bool IsBidiControl(char32_t point) {
    return point == 0x061C || point == 0x200E || point == 0x200F ||
           (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

void AppendAscii(const char* text, std::u32string* shown) {
    while (*text) shown->push_back(static_cast<char32_t>(*text++));
}

// One code point as it is shown; a CR is decided by the caller.
void AppendShown(char32_t point, std::u32string* shown) {
    if (point == U'\t' || point == U'\n') {
        shown->push_back(point);
    } else if (point < 0x20) {
        shown->push_back(U'^');
        shown->push_back(point + 0x40);
    } else if (point == 0x7F) {
        AppendAscii("^?", shown);
    } else if ((point >= 0x80 && point <= 0x9F) || IsBidiControl(point)) {
        char code[16];
        std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(point));
        AppendAscii(code, shown);
    } else {
        shown->push_back(point);
    }
}

}  // namespace

std::u32string CVisibleControls::Filter(const std::u32string& text) {
    std::u32string shown;
    shown.reserve(text.size());
    for (const char32_t point : text) {
        if (m_heldCr) {
            m_heldCr = false;
            AppendAscii(point == U'\n' ? "\r" : "^M", &shown);
        }
        if (point == U'\r') {
            m_heldCr = true;
        } else {
            AppendShown(point, &shown);
        }
    }
    return shown;
}

std::u32string CVisibleControls::Flush() {
    std::u32string rest;
    if (m_heldCr) AppendAscii("^M", &rest);
    m_heldCr = false;
    return rest;
}
