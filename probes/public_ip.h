// The public address lookup's test for a bracketed address.
#pragma once

#include "platform/mb_string.h"

// 1 when the classic address parser takes the text for an IPv4 address (so a plain
// number counts, and 255.255.255.255, which parses like a failure, does not), else 0.
int IsIPv4Literal(CString text);
