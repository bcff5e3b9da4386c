// Reading the operands of the stand-ins' command lines. Portable: the Windows
// build of the TCP prober uses these too.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace standin {

// Whole decimal number within [low, high]; no signs, spaces or suffixes.
std::optional<long> parse_bounded(const std::string& text, long low, long high);

// Splits "HOST:PORT" at the last ':' so bare IPv6 addresses work, and drops
// the brackets of "[v6]:PORT".
std::optional<std::pair<std::string, unsigned>> split_host_port(const std::string& text);

// A host operand must not look like an option the real tool would take.
bool plausible_host(const std::string& text);

}  // namespace standin
