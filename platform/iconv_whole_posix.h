// One iconv conversion of a whole text, shared by the terminal's and the report's
// encodings.
#pragma once

#include <string>

// The whole text in another character set; false when some of it has no form there.
bool ConvertWhole(const char* to, const char* from, const std::string& text, std::string* result);
