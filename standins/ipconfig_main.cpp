// Stand-in for Windows "ipconfig /all" and "ipconfig /flushdns" on Linux.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "parsers.hpp"
#include "support.hpp"

namespace {

using standin::ipconfig_continuation;
using standin::ipconfig_label;

const char* const kTitle = "Linux IP Configuration";

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string sysfs(const std::string& interface_name, const std::string& attribute) {
    std::string text = read_text("/sys/class/net/" + interface_name + "/" + attribute);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool path_exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void print_field(const std::string& label, const std::vector<std::string>& values) {
    std::string first = ipconfig_label(label) + (values.empty() ? "" : values.front());
    while (!first.empty() && first.back() == ' ') first.pop_back();
    std::cout << first << '\n';
    for (std::size_t i = 1; i < values.size(); ++i)
        std::cout << ipconfig_continuation() << values[i] << '\n';
}

void print_field(const std::string& label, const std::string& value) {
    print_field(label, std::vector<std::string>{value});
}

struct Ipv6Entry {
    std::string text;
    int prefix = 0;
    bool link_local = false;
    unsigned state = 0;  // IFA_F_* bits from /proc/net/if_inet6
};

struct Interface {
    std::string name;
    unsigned index = 0;
    unsigned flags = 0;
    // From the AF_PACKET entry; used when sysfs shows another network
    // namespace than the one this process runs in.
    int hardware_type = -1;
    std::string packet_mac;
    std::vector<std::pair<std::string, std::string>> ipv4;  // address, mask
    std::vector<Ipv6Entry> ipv6;
};

int prefix_length(const sockaddr_in6* mask) {
    int bits = 0;
    if (mask == nullptr) return bits;
    for (unsigned char byte : mask->sin6_addr.s6_addr)
        for (int bit = 7; bit >= 0; --bit)
            if ((byte >> bit) & 1) ++bits;
    return bits;
}

std::string hex_of(const in6_addr& address) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : address.s6_addr) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

// Windows shows whether an IPv6 address is usable yet; Linux keeps the same
// facts as address flags, which getifaddrs does not expose.
std::map<std::string, unsigned> ipv6_states() {
    std::map<std::string, unsigned> states;
    std::istringstream in(read_text("/proc/net/if_inet6"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string hex, index, prefix, scope, flags, name;
        if (fields >> hex >> index >> prefix >> scope >> flags >> name)
            states[name + " " + hex] = static_cast<unsigned>(std::stoul(flags, nullptr, 16));
    }
    return states;
}

void add_link(Interface& itf, const sockaddr_ll* link) {
    static const char digits[] = "0123456789abcdef";
    itf.hardware_type = link->sll_hatype;
    itf.packet_mac.clear();
    for (unsigned i = 0; i < link->sll_halen && i < sizeof link->sll_addr; ++i) {
        if (i > 0) itf.packet_mac += ':';
        itf.packet_mac += digits[link->sll_addr[i] >> 4];
        itf.packet_mac += digits[link->sll_addr[i] & 0xF];
    }
}

void add_ipv4(Interface& itf, const ifaddrs* ifa) {
    char address[INET_ADDRSTRLEN] = {};
    char mask[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr, address,
                sizeof address);
    if (ifa->ifa_netmask != nullptr)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr,
                    mask, sizeof mask);
    itf.ipv4.emplace_back(address, mask);
}

void add_ipv6(Interface& itf, const ifaddrs* ifa, const std::map<std::string, unsigned>& states) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr);
    char address[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &in6->sin6_addr, address, sizeof address);
    Ipv6Entry entry;
    entry.text = address;
    entry.prefix = prefix_length(reinterpret_cast<const sockaddr_in6*>(ifa->ifa_netmask));
    entry.link_local = IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr);
    const auto state = states.find(itf.name + " " + hex_of(in6->sin6_addr));
    if (state != states.end()) entry.state = state->second;
    itf.ipv6.push_back(entry);
}

Interface& interface_named(std::vector<Interface>& interfaces, const char* name) {
    for (auto& existing : interfaces)
        if (existing.name == name) return existing;
    Interface created;
    created.name = name;
    created.index = ::if_nametoindex(name);
    interfaces.push_back(created);
    return interfaces.back();
}

std::vector<Interface> collect_interfaces() {
    std::vector<Interface> interfaces;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return interfaces;
    const auto states = ipv6_states();
    for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_name == nullptr) continue;
        Interface& itf = interface_named(interfaces, ifa->ifa_name);
        itf.flags |= ifa->ifa_flags;
        if (ifa->ifa_addr == nullptr) continue;
        if (ifa->ifa_addr->sa_family == AF_PACKET)
            add_link(itf, reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr));
        else if (ifa->ifa_addr->sa_family == AF_INET)
            add_ipv4(itf, ifa);
        else if (ifa->ifa_addr->sa_family == AF_INET6)
            add_ipv6(itf, ifa, states);
    }
    ::freeifaddrs(list);
    std::stable_sort(interfaces.begin(), interfaces.end(),
                     [](const Interface& a, const Interface& b) { return a.index < b.index; });
    return interfaces;
}

std::string adapter_kind(const Interface& itf) {
    std::string type = sysfs(itf.name, "type");
    if (type.empty() && itf.hardware_type >= 0) type = std::to_string(itf.hardware_type);
    if (type == "772" || (itf.flags & IFF_LOOPBACK) != 0) return "Loopback adapter";
    const std::string base = "/sys/class/net/" + itf.name;
    if (path_exists(base + "/wireless") || path_exists(base + "/phy80211"))
        return "Wireless LAN adapter";
    if (type == "1") return "Ethernet adapter";
    for (const char* tunnel : {"768", "769", "776", "778", "823", "65534"})
        if (type == tunnel) return "Tunnel adapter";
    return "Unknown adapter";
}

std::string description(const Interface& itf) {
    if ((itf.flags & IFF_LOOPBACK) != 0) return "Loopback interface";
    char target[512] = {};
    const std::string driver_link = "/sys/class/net/" + itf.name + "/device/driver";
    const ssize_t n = ::readlink(driver_link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        const std::string path(target, static_cast<std::size_t>(n));
        return path.substr(path.rfind('/') + 1) + " network adapter";
    }
    std::istringstream uevent(read_text("/sys/class/net/" + itf.name + "/uevent"));
    for (std::string line; std::getline(uevent, line);)
        if (line.rfind("DEVTYPE=", 0) == 0) return "Virtual interface (" + line.substr(8) + ")";
    return "Virtual interface";
}

std::string ipv6_state_text(unsigned state) {
    if (state & 0x08) return "(Duplicate)";   // IFA_F_DADFAILED
    if (state & 0x40) return "(Tentative)";   // IFA_F_TENTATIVE
    if (state & 0x20) return "(Deprecated)";  // IFA_F_DEPRECATED
    return "(Preferred)";
}

std::vector<std::string> dns_servers() {
    auto config = standin::parse_resolv_conf(read_text("/etc/resolv.conf"));
    // With systemd-resolved the file names only its local stub; the servers a
    // reader wants to see are the ones the stub forwards to.
    const bool only_stub = config.nameservers.size() == 1 && config.nameservers[0] == "127.0.0.53";
    if (only_stub) {
        auto upstream = standin::parse_resolv_conf(read_text("/run/systemd/resolve/resolv.conf"));
        if (!upstream.nameservers.empty()) return upstream.nameservers;
    }
    return config.nameservers;
}

bool connected(const Interface& itf) {
    return (itf.flags & IFF_UP) != 0 && (itf.flags & IFF_RUNNING) != 0;
}

void print_ipv6_addresses(const Interface& itf) {
    for (const auto& v6 : itf.ipv6) {
        std::string text = v6.text;
        if (v6.link_local) text += "%" + std::to_string(itf.index);
        text += "/" + std::to_string(v6.prefix) + ipv6_state_text(v6.state);
        const char* label = v6.link_local       ? "Link-local IPv6 Address"
                            : (v6.state & 0x01) ? "Temporary IPv6 Address"  // IFA_F_TEMPORARY
                                                : "IPv6 Address";
        print_field(label, text);
    }
}

std::vector<std::string> gateways_of(const Interface& itf,
                                     const std::vector<standin::DefaultGateway>& gateways) {
    std::vector<std::string> own;
    for (const auto& gateway : gateways) {
        if (gateway.interface_name != itf.name) continue;
        std::string text = gateway.address;
        if (text.rfind("fe80:", 0) == 0) text += "%" + std::to_string(itf.index);
        own.push_back(text);
    }
    return own;
}

void print_adapter(const Interface& itf, const std::vector<standin::DefaultGateway>& gateways,
                   const std::vector<std::string>& servers) {
    std::cout << '\n' << adapter_kind(itf) << ' ' << itf.name << ":\n\n";
    if (!connected(itf)) print_field("Media State", "Media disconnected");
    print_field("Description", description(itf));
    std::string sysfs_mac = sysfs(itf.name, "address");
    if (sysfs_mac.empty()) sysfs_mac = itf.packet_mac;
    const std::string mac = standin::windows_mac(sysfs_mac);
    if (!mac.empty()) print_field("Physical Address", mac);
    // Windows lists no addresses for a disconnected adapter.
    if (!connected(itf)) return;

    print_ipv6_addresses(itf);
    for (const auto& [address, mask] : itf.ipv4) {
        print_field("IPv4 Address", address + "(Preferred)");
        print_field("Subnet Mask", mask);
    }
    if ((itf.flags & IFF_LOOPBACK) != 0) return;
    print_field("Default Gateway", gateways_of(itf, gateways));
    if (!servers.empty()) print_field("DNS Servers", servers);
}

int show_all() {
    const auto interfaces = collect_interfaces();
    const auto resolver = standin::parse_resolv_conf(read_text("/etc/resolv.conf"));
    const auto servers = dns_servers();
    auto gateways = standin::parse_ipv6_default_routes(read_text("/proc/net/ipv6_route"));
    const auto gateways4 = standin::parse_ipv4_default_routes(read_text("/proc/net/route"));
    gateways.insert(gateways.end(), gateways4.begin(), gateways4.end());
    const bool servers_on_adapters = std::any_of(
        interfaces.begin(), interfaces.end(),
        [&](const Interface& itf) { return connected(itf) && (itf.flags & IFF_LOOPBACK) == 0; });

    char host[256] = {};
    ::gethostname(host, sizeof host - 1);

    std::cout << '\n' << kTitle << "\n\n";
    print_field("Host Name", host);
    const std::string forwarding = read_text("/proc/sys/net/ipv4/ip_forward");
    print_field("IP Routing Enabled", forwarding.rfind('1', 0) == 0 ? "Yes" : "No");
    if (!resolver.search.empty()) print_field("DNS Suffix Search List", resolver.search);
    if (!servers_on_adapters) print_field("DNS Servers", servers);
    for (const auto& itf : interfaces) print_adapter(itf, gateways, servers);
    return 0;
}

struct CacheTool {
    const char* name;
    std::vector<std::string> args;
};

// Runs one cache service's flush command: empty when it worked, otherwise
// why it did not.
std::string flush_with(const CacheTool& tool, const std::string& path,
                       standin::Clock::time_point deadline) {
    std::string command = tool.name;
    for (const auto& arg : tool.args) command += " " + arg;
    std::string first_output;
    const auto result =
        standin::run_program(path, tool.args, {"LC_ALL=C"}, deadline, [&](const std::string& line) {
            if (first_output.empty()) first_output = line;
        });
    if (result.started && !result.timed_out && result.exit_code == 0) return "";
    if (!result.started) return "could not run " + path + " (" + result.error + ")";
    if (result.timed_out) return command + " did not finish within 10 seconds";
    if (!first_output.empty()) {
        while (!first_output.empty() && first_output.back() == '.') first_output.pop_back();
        return command + " said: " + first_output;
    }
    return command + " failed with exit status " + std::to_string(result.exit_code);
}

int flush_dns() {
    std::cout << '\n' << kTitle << "\n\n";
    const CacheTool tools[] = {{"resolvectl", {"flush-caches"}}, {"nscd", {"-i", "hosts"}}};
    const auto deadline = standin::Clock::now() + std::chrono::seconds(10);

    std::vector<std::string> failures;
    bool found_any = false;
    for (const auto& tool : tools) {
        const auto path = standin::find_in_path(tool.name);
        if (!path) continue;
        found_any = true;
        if (standin::Clock::now() >= deadline) break;
        std::string failure = flush_with(tool, *path, deadline);
        if (failure.empty()) {
            std::cout << "Successfully flushed the DNS Resolver Cache.\n";
            return 0;
        }
        failures.push_back(std::move(failure));
    }
    if (!found_any) {
        std::cout << "Could not flush the DNS Resolver Cache: this system keeps no DNS cache to "
                     "flush (no systemd-resolved or nscd).\n";
        return 0;
    }
    std::cout << "Could not flush the DNS Resolver Cache: ";
    for (std::size_t i = 0; i < failures.size(); ++i) std::cout << (i ? "; " : "") << failures[i];
    std::cout << ".\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "/all") return show_all();
    if (args.size() == 1 && args[0] == "/flushdns") return flush_dns();
    std::cout << "Usage: ipconfig /all | ipconfig /flushdns\n";
    return 1;
}
