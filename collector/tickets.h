// Ticket codes: what a user reads out to the support desk. Eight characters from an
// alphabet without the look-alikes (0 O 1 I L), "XXXX-XXXX", drawn from the system's
// random source so that a code says nothing about how many reports came before it.
#pragma once

#include <string>

// A fresh random ticket, "7KQ2-MZ9D".
std::string NewTicket();

// True for text of the ticket form; lower case is accepted and upper-cased into *ticket.
bool NormalizeTicket(const std::string& text, std::string* ticket);

// n random bytes as lower-case hex (session ids, bearer tokens, form tokens).
std::string RandomHex(size_t bytes);
