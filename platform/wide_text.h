// Conversions between the program's byte strings and the UTF-16 text that the
// system's wide calls take. Used by the Windows backends only.
#pragma once

#include <string>

// File names travel inside the program as UTF-8, so a folder named in any language
// survives whatever the system's ANSI code page is.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

// Report text (GBK, code page 936) for a wide call, such as a domain on a command line.
std::wstring GbkToWideText(const std::string& gbk);
// And back: the GBK bytes of wide text, such as an argument this program was given.
std::string WideToGbkText(const std::wstring& wide);
