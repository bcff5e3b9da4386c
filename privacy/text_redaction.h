// One text of a report with its personal values replaced by placeholder words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "privacy/personal_data.h"
#include "privacy/placeholders.h"

struct CReplacement {
    size_t at = 0;
    size_t size = 0;
    std::string with;
};

// The replacements made, in order; one that overlaps an earlier one is dropped. A
// value followed by a column gap (two blanks or more) keeps the next column where it
// was, so the rows of a table stay aligned and readable.
std::string ApplyReplacements(std::string_view text, std::vector<CReplacement> replacements);

// text with every personal value the data names, or the scan finds, replaced.
std::string RedactText(std::string_view text, const CPersonalData& data, CPlaceholders* words);

// True when text still holds a value the data names as personal.
bool StillHoldsPersonalData(std::string_view text, const CPersonalData& data);
