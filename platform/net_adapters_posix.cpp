#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "platform/net_adapters.h"
#include "platform/unique_fd_posix.h"

namespace {

const char kSysNet[] = "/sys/class/net/";

std::string ReadSysFile(const std::string& name, const char* file) {
    std::ifstream in(kSysNet + name + "/" + file);
    std::string text;
    std::getline(in, text, '\0');
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool IsSoftwareDevice(const std::string& name) {
    std::unique_ptr<char, decltype(&std::free)> path(realpath((kSysNet + name).c_str(), nullptr),
                                                     &std::free);
    return path && std::strstr(path.get(), "/devices/virtual/") != nullptr;
}

// By type first (the link layer the kernel reports, TUN/TAP's flags, the device type),
// then whatever the kernel makes without hardware behind it.
EAdapterKind KindOf(const std::string& name) {
    const long type = std::strtol(ReadSysFile(name, "type").c_str(), nullptr, 10);
    if (type == ARPHRD_LOOPBACK) return EAdapterKind::kLoopback;
    const std::string uevent = ReadSysFile(name, "uevent");
    if (uevent.find("DEVTYPE=wireguard") != std::string::npos) return EAdapterKind::kWireGuard;
    if (!ReadSysFile(name, "tun_flags").empty()) return EAdapterKind::kTunTap;
    if (type == ARPHRD_PPP) return EAdapterKind::kPpp;
    if (type == ARPHRD_TUNNEL || type == ARPHRD_TUNNEL6 || type == ARPHRD_SIT ||
        type == ARPHRD_IPGRE || type == 823 /* ARPHRD_IP6GRE */ || type == ARPHRD_NONE)
        return EAdapterKind::kTunnel;
    return IsSoftwareDevice(name) ? EAdapterKind::kVirtual : EAdapterKind::kPhysical;
}

bool IsGlobalIpv6(const sockaddr* address) {
    if (!address || address->sa_family != AF_INET6) return false;
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return (v6->sin6_addr.s6_addr[0] & 0xE0) == 0x20;
}

void MarkGlobalIpv6(std::vector<CNetAdapter>* adapters) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!IsGlobalIpv6(entry->ifa_addr)) continue;
        for (CNetAdapter& adapter : *adapters)
            if (adapter.name == CString(entry->ifa_name)) adapter.globalIpv6 = true;
    }
    freeifaddrs(list);
}

}  // namespace

std::vector<CNetAdapter> ListNetAdapters() {
    std::vector<CNetAdapter> adapters;
    struct CCloseDir {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::unique_ptr<DIR, CCloseDir> dir(opendir(kSysNet));
    if (!dir) return adapters;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        CNetAdapter adapter;
        adapter.name = CString(name);
        adapter.up = std::strtoul(ReadSysFile(name, "flags").c_str(), nullptr, 16) & IFF_UP;
        adapter.kind = KindOf(name);
        adapters.push_back(adapter);
    }
    MarkGlobalIpv6(&adapters);
    return adapters;
}
