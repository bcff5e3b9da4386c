// UTF-8 text from outside (JSON answers) as the report's GBK bytes.
#pragma once

#include <string>

// Every character with a GBK form is converted; any other character, and every byte
// that is not part of valid UTF-8, becomes one '?'. Never fails.
std::string Utf8ToGbkLossy(const std::string& utf8);

// The strict pair the JSON report is written and read with: false when some byte is not
// a character of the source encoding or some character has no form in the target.
bool ReportGbkToUtf8(const std::string& gbk, std::string* utf8);
bool ReportUtf8ToGbk(const std::string& utf8, std::string* gbk);
