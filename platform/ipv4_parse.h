// The classic socket-library address parser (inet_addr), written once so every
// system gives the same answer: one to four parts separated by dots, each decimal,
// octal (leading 0) or hexadecimal (leading 0x). Only the public address page's line
// needs this form; every other reading of an address is strict (ParseIpv4, model/).
#pragma once

#include <cstdint>

// Host-order value of the address, or kInvalidIPv4 (which 255.255.255.255 also yields).
constexpr uint32_t kInvalidIPv4 = 0xFFFFFFFFu;
uint32_t ParseClassicIPv4(const char* text);
