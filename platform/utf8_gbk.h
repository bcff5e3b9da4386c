// UTF-8 text from outside (JSON answers) as the report's GBK bytes.
#pragma once

#include <string>

// Every character with a GBK form is converted; any other character, and every byte
// that is not part of valid UTF-8, becomes one '?'. Never fails.
std::string Utf8ToGbkLossy(const std::string& utf8);
