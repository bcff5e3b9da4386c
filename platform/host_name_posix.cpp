#include <idn2.h>

#include <string>

#include "platform/host_name.h"
#include "platform/text_encoding.h"

CString HostNameToAscii(const CString& host) {
    if (IsAsciiText(host)) return host;
    std::string utf8;
    if (!GbkToUtf8(host.Bytes(), &utf8)) return CString();
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(utf8.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK)
        return CString();
    const CString result(ascii);
    idn2_free(ascii);
    return result;
}

CString HostNameForCommands(const CString& host) {
    const CString ascii = HostNameToAscii(host);
    return ascii.IsEmpty() ? host : ascii;
}
