// Text rules of the whois lookup: the referral scan, the query name and line ends.
#pragma once

#include "platform/mb_string.h"

// Scans the trimmed answer line by line; the first line holding "Whois Server:"
// (case-sensitive, anywhere in the line) gives the text after its first ":", untrimmed.
// False when no line holds the marker.
bool FindWhoisReferral(CString answer, CString* referral);

// The domain's last two labels joined by "."; false when it yields fewer than two
// labels (no ".", or its first "." is its first byte).
bool LastTwoLabels(const CString& domain, CString* name);

// Every LF becomes CR LF, including one that already follows a CR.
CString LineFeedsToCrLf(const CString& text);

// Length of the longest prefix of at most limit bytes that ends on a character
// boundary, stepping over double-byte characters as the string's searches do.
int CharBoundaryPrefix(const CString& text, int limit);
