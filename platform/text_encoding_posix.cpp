#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/text_encoding.h"
#include "platform/iconv_whole_posix.h"

namespace {

// The terminal's character set; a plain C locale most often fronts a UTF-8 terminal.
const char* TargetCharset() {
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || !*codeset || std::strcmp(codeset, "ANSI_X3.4-1968") == 0) return "UTF-8";
    return codeset;
}

}  // namespace

bool TerminalTextToGbk(const std::string& typed, std::string* gbk) {
    return ConvertWhole("GBK", TargetCharset(), typed, gbk);
}

bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    // GB18030 decodes every GBK sequence and is a superset of it.
    return ConvertWhole("UTF-8", "GB18030", gbk, utf8);
}

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

namespace {

// UTF-32 in a byte order of our choosing, so neither side writes a byte-order mark.
const char kCodePointCharset[] = "UTF-32LE";

void AppendCodePoints(const char* bytes, size_t count, std::u32string* text) {
    for (size_t i = 0; i + 4 <= count; i += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes + i);
        text->push_back(static_cast<char32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24));
    }
}

}  // namespace

struct CGbkCodePoints::Impl {
    iconv_t converter = reinterpret_cast<iconv_t>(-1);
    std::string pending;
};

CGbkCodePoints::CGbkCodePoints() : m_impl(new Impl) {
    m_impl->converter = iconv_open(kCodePointCharset, "GB18030");
}

CGbkCodePoints::~CGbkCodePoints() {
    if (m_impl->converter != reinterpret_cast<iconv_t>(-1)) iconv_close(m_impl->converter);
}

std::u32string CGbkCodePoints::Convert(const std::string& gbk) {
    std::string input = m_impl->pending + gbk;
    m_impl->pending.clear();
    std::u32string text;
    if (m_impl->converter == reinterpret_cast<iconv_t>(-1)) return std::u32string(input.size(), U'?');
    char* in = &input[0];
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(m_impl->converter, &in, &inLeft, &out, &outLeft);
        AppendCodePoints(buffer, sizeof buffer - outLeft, &text);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
        if (errno == EINVAL) {
            // An unfinished character at the end: wait for the rest of it.
            m_impl->pending.assign(in, inLeft);
            break;
        }
        text += U'?';
        ++in;
        --inLeft;
    }
    return text;
}

std::u32string CGbkCodePoints::Flush() {
    std::u32string rest(m_impl->pending.size(), U'?');
    m_impl->pending.clear();
    return rest;
}

std::string CodePointsToTerminal(const std::u32string& text) {
    const iconv_t converter = iconv_open(TargetCharset(), kCodePointCharset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text.size(), '?');
    std::string output;
    char unit[4];
    char encoded[16];
    for (const char32_t point : text) {
        for (int i = 0; i < 4; ++i) unit[i] = static_cast<char>((point >> (8 * i)) & 0xFF);
        char* in = unit;
        size_t inLeft = sizeof unit;
        char* out = encoded;
        size_t outLeft = sizeof encoded;
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            output += '?';
        } else {
            output.append(encoded, sizeof encoded - outLeft);
        }
    }
    iconv_close(converter);
    return output;
}
