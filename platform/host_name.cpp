#include "platform/host_name.h"

bool IsAsciiText(const CString& text) {
    for (const char ch : text.Bytes()) {
        if (static_cast<unsigned char>(ch) >= 0x80) return false;
    }
    return true;
}
