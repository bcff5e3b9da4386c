// The domain the user typed, as the start of a run takes it.
#pragma once

#include "platform/mb_string.h"

// Shown when the cleaned domain cannot be checked.
extern const char kInvalidDomainMessage[];

// Trims white space, drops one leading "https://", then one leading "http://" (both
// case-sensitive), trims white space again, then drops every trailing "/".
CString CleanDomain(CString text);

// False for an empty cleaned domain, and for one that would smuggle options or extra
// arguments into the commands it is put into: white space or a control character
// after its first non-space character, a double quote, or a first non-space
// character "-" or "/".
bool IsDomainAcceptable(const CString& cleaned);
