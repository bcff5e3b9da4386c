#include "platform/iconv_whole_posix.h"

#include <iconv.h>

bool ConvertWhole(const char* to, const char* from, const std::string& text, std::string* result) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::string input = text;
    char* in = &input[0];
    size_t inLeft = input.size();
    std::string output(input.size() * 2 + 8, '\0');
    char* out = &output[0];
    size_t outLeft = output.size();
    const size_t rc = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (rc == static_cast<size_t>(-1) || inLeft != 0) return false;
    output.resize(output.size() - outLeft);
    *result = output;
    return true;
}
