#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/utf8_gbk.h"
#include "platform/iconv_whole_posix.h"

namespace {

// Length of the UTF-8 sequence a lead byte opens; 1 for a byte that opens none, so a
// bad byte is stepped over alone.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

class CIconv {
public:
    CIconv() : m_handle(iconv_open("GBK", "UTF-8")) {}
    ~CIconv() {
        if (Valid()) iconv_close(m_handle);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    bool Valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_handle; }

private:
    iconv_t m_handle;
};

}  // namespace

bool ReportGbkToUtf8(const std::string& gbk, std::string* utf8) {
    return ConvertWhole("UTF-8", "GBK", gbk, utf8);
}

bool ReportUtf8ToGbk(const std::string& utf8, std::string* gbk) {
    return ConvertWhole("GBK", "UTF-8", utf8, gbk);
}

std::string Utf8ToGbkLossy(const std::string& utf8) {
    CIconv converter;
    if (!converter.Valid()) return std::string(utf8.size(), '?');
    std::string input = utf8;
    char* in = &input[0];
    size_t inLeft = input.size();
    std::string output;
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(converter.Get(), &in, &inLeft, &out, &outLeft);
        output.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
        // No GBK form, or not UTF-8 (EILSEQ), or cut off at the end (EINVAL).
        const size_t skip = std::min(inLeft, SequenceLength(static_cast<unsigned char>(*in)));
        output += '?';
        in += skip;
        inLeft -= skip;
    }
    return output;
}
