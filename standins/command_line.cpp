#include "command_line.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace standin {

namespace {

bool all_digits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::optional<long> parse_bounded(const std::string& text, long low, long high) {
    if (!all_digits(text) || text.size() > 9) return std::nullopt;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::pair<std::string, unsigned>> split_host_port(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    std::string host = text.substr(0, colon);
    const auto port = parse_bounded(text.substr(colon + 1), 1, 65535);
    if (!port) return std::nullopt;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("[]") != std::string::npos) return std::nullopt;
    return std::make_pair(host, static_cast<unsigned>(*port));
}

bool plausible_host(const std::string& text) {
    return !text.empty() && text.front() != '-' && text.front() != '/';
}

}  // namespace standin
