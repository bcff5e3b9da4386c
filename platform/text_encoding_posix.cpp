#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

#include "platform/text_encoding.h"

namespace {

// The terminal's character set; a plain C locale most often fronts a UTF-8 terminal.
const char* TargetCharset() {
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || !*codeset || std::strcmp(codeset, "ANSI_X3.4-1968") == 0) return "UTF-8";
    return codeset;
}

// The whole text in another character set; false when some of it has no form there.
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

}  // namespace

bool TerminalTextToGbk(const std::string& typed, std::string* gbk) {
    return ConvertWhole("GBK", TargetCharset(), typed, gbk);
}

bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    // GB18030 decodes every GBK sequence and is a superset of it.
    return ConvertWhole("UTF-8", "GB18030", gbk, utf8);
}

bool TerminalUsesUtf8() { return std::strcmp(TargetCharset(), "UTF-8") == 0; }

struct CGbkDecoder::Impl {
    iconv_t converter = reinterpret_cast<iconv_t>(-1);
    std::string pending;
};

CGbkDecoder::CGbkDecoder() : m_impl(new Impl) {
    // GB18030 decodes every GBK sequence and is a superset of it.
    m_impl->converter = iconv_open(TargetCharset(), "GB18030");
}

CGbkDecoder::~CGbkDecoder() {
    if (m_impl->converter != reinterpret_cast<iconv_t>(-1)) iconv_close(m_impl->converter);
}

std::string CGbkDecoder::Convert(const std::string& gbk) {
    std::string input = m_impl->pending + gbk;
    m_impl->pending.clear();
    if (m_impl->converter == reinterpret_cast<iconv_t>(-1)) return input;
    std::string output;
    char* in = &input[0];
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(m_impl->converter, &in, &inLeft, &out, &outLeft);
        output.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EINVAL) {
            // An unfinished character at the end: wait for the rest of it.
            m_impl->pending.assign(in, inLeft);
            break;
        }
        output += '?';
        ++in;
        --inLeft;
    }
    return output;
}

std::string CGbkDecoder::Flush() {
    std::string rest(m_impl->pending.size(), '?');
    m_impl->pending.clear();
    return rest;
}
