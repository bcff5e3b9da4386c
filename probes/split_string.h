// Splits a text at every occurrence of a delimiter, keeping empty pieces.
#pragma once

#include "platform/mb_string.h"
#include "platform/string_array.h"

// Appends the pieces to the end of array in text order; the array is not emptied first
// and always gains at least one piece. A delimiter at the very first byte of the text
// does not split it: the whole text becomes the single piece. Searches are GBK-aware.
void SplitString(CString text, CString delimiter, CStringArray* array);
