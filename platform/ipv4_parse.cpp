#include "platform/ipv4_parse.h"

#include <cctype>

namespace {

// One part of the address: decimal, octal after a leading 0, hex after 0x.
// Returns false on an empty or malformed part or one that overflows 32 bits.
bool ParsePart(const char*& cursor, uint32_t* value) {
    uint64_t result = 0;
    unsigned base = 10;
    if (*cursor == '0') {
        base = 8;
        ++cursor;
        if (*cursor == 'x' || *cursor == 'X') {
            base = 16;
            ++cursor;
        }
    } else if (!std::isdigit(static_cast<unsigned char>(*cursor))) {
        return false;
    }
    for (;; ++cursor) {
        const unsigned char ch = static_cast<unsigned char>(*cursor);
        unsigned digit;
        if (std::isdigit(ch)) {
            digit = ch - '0';
        } else if (base == 16 && std::isxdigit(ch)) {
            digit = static_cast<unsigned>(std::tolower(ch) - 'a' + 10);
        } else {
            break;
        }
        if (digit >= base) return false;
        result = result * base + digit;
        if (result > 0xFFFFFFFFull) return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

}  // namespace

uint32_t ParseClassicIPv4(const char* text) {
    if (!text) return kInvalidIPv4;
    uint32_t parts[4];
    int count = 0;
    const char* cursor = text;
    for (;;) {
        if (count == 4 || !ParsePart(cursor, &parts[count])) return kInvalidIPv4;
        ++count;
        if (*cursor != '.') break;
        ++cursor;
    }
    // Trailing white space ends the address, as the classic parser allows; anything else fails.
    if (*cursor != '\0' && *cursor != ' ' && *cursor != '\t' && *cursor != '\n' && *cursor != '\r' &&
        *cursor != '\v' && *cursor != '\f') {
        return kInvalidIPv4;
    }
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) return kInvalidIPv4;
    }
    const uint32_t last = parts[count - 1];
    const uint32_t lastLimit = count == 1 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> (8 * (count - 1)));
    if (last > lastLimit) return kInvalidIPv4;
    uint32_t address = 0;
    for (int i = 0; i < count - 1; ++i) address |= parts[i] << (24 - 8 * i);
    return address | last;
}
