#include <iconv.h>
#include <idn2.h>

#include <cstdlib>
#include <string>

#include "platform/host_name.h"

namespace {

// GBK bytes as UTF-8; false when they are not GBK text.
bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = gbk;
    std::string output(gbk.size() * 2 + 4, '\0');
    char* in = &input[0];
    char* out = &output[0];
    size_t inLeft = input.size();
    size_t outLeft = output.size();
    const bool ok = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    if (!ok || inLeft != 0) return false;
    output.resize(output.size() - outLeft);
    *utf8 = output;
    return true;
}

}  // namespace

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
