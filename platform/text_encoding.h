// Conversion of the program's GBK text for display.
#pragma once

#include <memory>
#include <string>

// Converts text the user typed (in the terminal's encoding) to GBK. False when some
// character has no GBK form.
bool TerminalTextToGbk(const std::string& typed, std::string* gbk);

// GBK bytes as UTF-8; false when they are not GBK text.
bool GbkToUtf8(const std::string& gbk, std::string* utf8);

// Converts GBK bytes, arriving in pieces, to the encoding of the user's terminal or
// display. A double-byte character split between two pieces is held back until its
// second byte arrives; bytes that are not GBK become '?'.
// The same GBK bytes as Unicode code points, so that what reaches a terminal can be
// judged character by character whatever encoding the terminal uses: GB18030's
// four-byte forms reach all of Unicode, C1 and bidirectional controls included.
class CGbkCodePoints {
public:
    CGbkCodePoints();
    ~CGbkCodePoints();
    CGbkCodePoints(const CGbkCodePoints&) = delete;
    CGbkCodePoints& operator=(const CGbkCodePoints&) = delete;

    std::u32string Convert(const std::string& gbk);
    std::u32string Flush();  // whatever was held back, as '?'

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Code points in the terminal's encoding; one it has no form for becomes '?'.
std::string CodePointsToTerminal(const std::u32string& text);

class CGbkDecoder {
public:
    CGbkDecoder();
    ~CGbkDecoder();
    CGbkDecoder(const CGbkDecoder&) = delete;
    CGbkDecoder& operator=(const CGbkDecoder&) = delete;

    std::string Convert(const std::string& gbk);
    std::string Flush();  // whatever was held back, as '?'

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
