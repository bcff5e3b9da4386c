#include "parsers.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace standin {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool all_digits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::optional<double> parse_number(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end == nullptr || *end != '\0') return std::nullopt;
    return value;
}

// "key=value" word -> value, if the key matches.
std::optional<std::string> keyed(const std::string& word, const std::string& key) {
    if (word.compare(0, key.size() + 1, key + "=") != 0) return std::nullopt;
    return word.substr(key.size() + 1);
}

std::string strip_colon(std::string s) {
    if (!s.empty() && s.back() == ':') s.pop_back();
    return s;
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool hex_bytes(const std::string& hex, unsigned char* out, std::size_t count) {
    if (hex.size() != count * 2) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string pair = hex.substr(i * 2, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return false;
        out[i] = static_cast<unsigned char>(std::strtoul(pair.c_str(), nullptr, 16));
    }
    return true;
}

std::string unreachable_text(const std::string& annotation) {
    static const std::pair<const char*, const char*> known[] = {
        {"!H", "Destination host unreachable."},
        {"!N", "Destination net unreachable."},
        {"!P", "Destination protocol unreachable."},
        {"!S", "Source route failed."},
        {"!F", "Packet needs to be fragmented but DF set."},
        {"!X", "Communication administratively prohibited."},
        {"!V", "Host precedence violation."},
        {"!C", "Precedence cutoff in effect."},
    };
    for (const auto& [mark, text] : known)
        if (annotation == mark) return text;
    return "Destination unreachable (" + annotation + ").";
}

}  // namespace

PingLine parse_iputils_ping_line(const std::string& line) {
    const auto w = words(line);
    if (w.size() >= 6 && w[1] == "packets" && w[2] == "transmitted," && all_digits(w[0]) &&
        all_digits(w[3]) && w[4].rfind("received", 0) == 0) {
        PingSummary summary;
        summary.transmitted = std::atoi(w[0].c_str());
        summary.received = std::atoi(w[3].c_str());
        return summary;
    }
    if (w.size() >= 6 && all_digits(w[0]) && w[1] == "bytes" && w[2] == "from") {
        // Duplicates and damaged replies are not new answers.
        if (line.find("DUP!") != std::string::npos) return std::monostate{};
        PingReply reply;
        reply.from = strip_colon(w[3]);
        reply.bytes = std::atoi(w[0].c_str());
        bool have_seq = false;
        bool have_time = false;
        for (std::size_t i = 4; i < w.size(); ++i) {
            if (auto v = keyed(w[i], "icmp_seq"); v && all_digits(*v)) {
                reply.seq = std::atoi(v->c_str());
                have_seq = true;
            } else if (auto t = keyed(w[i], "ttl"); t && all_digits(*t)) {
                reply.ttl = std::atoi(t->c_str());
            } else if (auto ms = keyed(w[i], "time")) {
                if (auto value = parse_number(*ms)) {
                    reply.time_ms = *value;
                    have_time = true;
                }
            }
        }
        if (have_seq && have_time) return reply;
        return std::monostate{};
    }
    if (w.size() >= 4 && w[0] == "From") {
        PingProblem problem;
        problem.from = strip_colon(w[1]);
        auto seq = keyed(w[2], "icmp_seq");
        if (!seq || !all_digits(*seq)) return std::monostate{};
        problem.seq = std::atoi(seq->c_str());
        for (std::size_t i = 3; i < w.size(); ++i) problem.what += (i > 3 ? " " : "") + w[i];
        return problem;
    }
    return std::monostate{};
}

std::string windows_ping_problem(const std::string& iputils_text) {
    const std::string key = lower(iputils_text);
    if (key.find("time to live exceeded") != std::string::npos) return "TTL expired in transit.";
    if (key.rfind("destination ", 0) == 0 && key.size() > 12) {
        std::string text = "Destination " + key.substr(12);
        if (text.back() != '.') text += '.';
        return text;
    }
    std::string text = iputils_text;
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

std::optional<TraceHop> parse_traceroute_line(const std::string& line) {
    const auto w = words(line);
    if (w.empty() || !all_digits(w[0]) || w[0].size() > 3) return std::nullopt;
    TraceHop hop;
    hop.number = std::atoi(w[0].c_str());
    for (std::size_t i = 1; i < w.size(); ++i) {
        const std::string& word = w[i];
        if (word == "*") {
            hop.times.emplace_back(std::nullopt);
        } else if (i + 1 < w.size() && w[i + 1] == "ms" && parse_number(word)) {
            hop.times.emplace_back(parse_number(word));
            ++i;
        } else if (word.front() == '!') {
            if (hop.annotation.empty()) hop.annotation = word;
        } else if (word.find_first_of(".:") != std::string::npos) {
            hop.address = word;
        }
    }
    return hop;
}

std::string format_tracert_hop(const TraceHop& hop, int probes) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%3d", hop.number);
    std::string out = buffer;
    bool any_answer = false;
    for (int i = 0; i < probes; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const std::optional<double> time =
            index < hop.times.size() ? hop.times[index] : std::optional<double>{};
        if (!time) {
            out += "     *   ";
            continue;
        }
        any_answer = true;
        std::snprintf(buffer, sizeof buffer, "%6s ms", whole_ms(*time).c_str());
        out += buffer;
    }
    if (!any_answer || hop.address.empty()) return out + "  Request timed out.";
    out += "  " + hop.address;
    if (!hop.annotation.empty()) out += " reports: " + unreachable_text(hop.annotation);
    return out;
}

std::vector<DefaultGateway> parse_ipv4_default_routes(const std::string& proc_net_route) {
    constexpr unsigned long gateway_flag = 0x2;  // RTF_GATEWAY
    std::vector<DefaultGateway> out;
    for (const auto& line : lines_of(proc_net_route)) {
        const auto w = words(line);
        if (w.size() < 8 || w[0] == "Iface") continue;
        const unsigned long destination = std::strtoul(w[1].c_str(), nullptr, 16);
        const unsigned long gateway = std::strtoul(w[2].c_str(), nullptr, 16);
        const unsigned long flags = std::strtoul(w[3].c_str(), nullptr, 16);
        const unsigned long mask = std::strtoul(w[7].c_str(), nullptr, 16);
        if (destination != 0 || mask != 0 || gateway == 0 || (flags & gateway_flag) == 0) continue;
        // The kernel prints the address as the native-endian view of its
        // network-order bytes, so storing the value back restores them.
        in_addr address{};
        address.s_addr = static_cast<std::uint32_t>(gateway);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        out.push_back({w[0], text});
    }
    return out;
}

std::vector<DefaultGateway> parse_ipv6_default_routes(const std::string& proc_net_ipv6_route) {
    constexpr unsigned long gateway_flag = 0x2;   // RTF_GATEWAY
    constexpr unsigned long reject_flag = 0x200;  // RTF_REJECT: "unreachable" routes
    std::vector<DefaultGateway> out;
    for (const auto& line : lines_of(proc_net_ipv6_route)) {
        const auto w = words(line);
        if (w.size() < 10) continue;
        unsigned char destination[16];
        unsigned char next_hop[16];
        if (!hex_bytes(w[0], destination, 16) || !hex_bytes(w[4], next_hop, 16)) continue;
        const unsigned long flags = std::strtoul(w[8].c_str(), nullptr, 16);
        const bool default_route =
            w[1] == "00" &&
            std::all_of(destination, destination + 16, [](unsigned char b) { return b == 0; });
        const bool has_next_hop =
            std::any_of(next_hop, next_hop + 16, [](unsigned char b) { return b != 0; });
        if (!default_route || !has_next_hop || (flags & gateway_flag) == 0 ||
            (flags & reject_flag) != 0)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, next_hop, text, sizeof text);
        out.push_back({w[9], text});
    }
    return out;
}

ResolverConfig parse_resolv_conf(const std::string& text) {
    ResolverConfig config;
    for (auto line : lines_of(text)) {
        const auto comment = line.find_first_of("#;");
        if (comment != std::string::npos) line.erase(comment);
        const auto w = words(line);
        if (w.size() < 2) continue;
        if (w[0] == "nameserver") {
            config.nameservers.push_back(w[1]);
        } else if (w[0] == "search" || w[0] == "domain") {
            // Whichever of the two comes last is the one the resolver uses.
            config.search.assign(w.begin() + 1, w.end());
        }
    }
    return config;
}

std::string ipconfig_label(const std::string& label) {
    constexpr std::size_t colon_column = 34;
    std::string out = "   " + label;
    if (label.size() >= colon_column) return out + " : ";
    for (std::size_t pos = label.size(); pos < colon_column; ++pos)
        out += (pos % 2 == 0 && pos + 1 < colon_column) ? '.' : ' ';
    return out + ": ";
}

std::string ipconfig_continuation() { return std::string(3 + 34 + 2, ' '); }

std::string windows_mac(const std::string& sysfs_address) {
    std::string out;
    bool non_zero = false;
    for (char c : sysfs_address) {
        if (c == ':') {
            out += '-';
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            non_zero = non_zero || c != '0';
        }
    }
    return non_zero ? out : std::string();
}

std::string whole_ms(double ms) {
    if (ms < 1.0) return "<1";
    return std::to_string(static_cast<long long>(ms));
}

}  // namespace standin
