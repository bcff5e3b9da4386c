// libFuzzer target for what a terminal is shown of the report: GBK (read as GB18030)
// bytes decoded in pieces, judged on code points, and encoded for the terminal, in a
// UTF-8, a GB18030 and an ISO-8859-1 locale. The first input byte picks the locale and
// the size of the pieces; the rest is the report text.
//
// The locales come from LOCPATH (tests/make_test_locales.sh makes them).
#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/visible_controls.h"
#include "platform/text_encoding.h"

namespace {

const char* const kLocales[] = {"en_US.UTF-8", "zh_CN.GB18030", "en_US.ISO-8859-1"};

void Require(bool condition) {
    if (!condition) std::abort();
}

bool IsForbidden(char32_t point) {
    return (point < 0x20 && point != U'\t' && point != U'\n' && point != U'\r') || point == 0x7F ||
           (point >= 0x80 && point <= 0x9F) || point == 0x061C || point == 0x200E ||
           point == 0x200F || (point >= 0x202A && point <= 0x202E) ||
           (point >= 0x2066 && point <= 0x2069);
}

// What the terminal makes of the bytes, read back in its own encoding: an independent
// decoder, so a fault in the filter's view of the encoding shows here.
std::u32string ReadBack(const std::string& shown) {
    const iconv_t converter = iconv_open("UTF-32LE", nl_langinfo(CODESET));
    Require(converter != reinterpret_cast<iconv_t>(-1));
    std::string input = shown;
    std::string output(input.size() * 4 + 4, '\0');
    char* in = &input[0];
    size_t inLeft = input.size();
    char* out = &output[0];
    size_t outLeft = output.size();
    // Every byte the terminal gets must be a whole character of its encoding.
    Require(iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
            inLeft == 0);
    iconv_close(converter);
    std::u32string points;
    for (size_t i = 0; i + 4 <= output.size() - outLeft; i += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(&output[i]);
        points += static_cast<char32_t>(b[0] | b[1] << 8 | b[2] << 16 |
                                        static_cast<uint32_t>(b[3]) << 24);
    }
    return points;
}

std::string Show(const std::string& gbk, size_t piece) {
    CGbkCodePoints decoder;
    CVisibleControls filter;
    std::string shown;
    for (size_t at = 0; at < gbk.size(); at += piece) {
        shown += CodePointsToTerminal(filter.Filter(decoder.Convert(gbk.substr(at, piece))));
    }
    return shown + CodePointsToTerminal(filter.Filter(decoder.Flush()) + filter.Flush());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* name : kLocales) {
        if (!std::setlocale(LC_ALL, name)) {
            std::fprintf(stderr,
                         "no locale %s: run tests/make_test_locales.sh DIR and set LOCPATH=DIR\n",
                         name);
            std::abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Require(std::setlocale(LC_ALL, kLocales[data[0] % 3]) != nullptr);
    const std::string gbk(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t piece = 1 + data[0] / 3 % 8;

    const std::string whole = Show(gbk, gbk.size() + 1);
    // Pieces as the report grows must not change what is shown.
    Require(Show(gbk, piece) == whole);
    // Bounded: no byte becomes more than "<U+XXXX>" in a four-byte encoding.
    Require(whole.size() <= 32 * gbk.size());

    const std::u32string points = ReadBack(whole);
    for (size_t i = 0; i < points.size(); ++i) {
        Require(!IsForbidden(points[i]));
        if (points[i] == U'\r') Require(i + 1 < points.size() && points[i + 1] == U'\n');
    }
    return 0;
}
