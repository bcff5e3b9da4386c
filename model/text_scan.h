// Small readers over GBK text shared by the step readers.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// The body cut into lines (CR LF, LF or CR ends), without their line ends.
std::vector<std::string_view> SplitLines(std::string_view text);
// Words separated by blanks (spaces, tabs).
std::vector<std::string_view> SplitWords(std::string_view line);
std::string_view TrimBlanks(std::string_view text);
// A number at the start of text after blanks ("12", "<1", "1.25"); false when none.
// *used is how many bytes it took, blanks included.
bool ReadNumber(std::string_view text, double* value, size_t* used = nullptr);
// ASCII letters lowered; other bytes kept.
std::string LowerAscii(std::string_view text);
// The offset just after the last occurrence of any of keys, or npos.
size_t AfterLast(std::string_view text, std::initializer_list<std::string_view> keys);
// Decimal digits at the start of text (no blanks, no sign); false when none or more
// than nine. *used is how many.
bool ReadDigits(std::string_view text, int* value, size_t* used);
