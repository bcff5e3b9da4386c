// Our headers first: iphlpapi brings a global type named "byte", which a parameter of
// the same name declared after it would shadow. The system headers go in the order
// they need.
// clang-format off
#include "platform/net_adapters.h"
#include "platform/wide_text.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <vector>

namespace {

using GetAdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES,
                                                    PULONG);
using GetBestInterfaceExFunction = DWORD(WINAPI*)(struct sockaddr*, PDWORD);

// iphlpapi from the system folder only, as dnsapi is.
struct CIpHelper {
    CIpHelper() {
        HMODULE module = LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module) return;
        adapters = reinterpret_cast<GetAdaptersAddressesFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "GetAdaptersAddresses")));
        bestInterface = reinterpret_cast<GetBestInterfaceExFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "GetBestInterfaceEx")));
    }
    GetAdaptersAddressesFunction adapters = nullptr;
    GetBestInterfaceExFunction bestInterface = nullptr;
};

const CIpHelper& IpHelper() {
    static const CIpHelper helper;
    return helper;
}

// The adapter list, grown as the call asks (it may change between calls).
std::vector<unsigned char> AdapterBuffer() {
    std::vector<unsigned char> buffer;
    if (!IpHelper().adapters) return buffer;
    ULONG size = 16 * 1024;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    for (int attempt = 0; attempt < 3; ++attempt) {
        buffer.resize(size);
        const ULONG result =
            IpHelper().adapters(AF_UNSPEC, flags, nullptr,
                                reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
        if (result == ERROR_SUCCESS) return buffer;
        if (result != ERROR_BUFFER_OVERFLOW) break;
    }
    buffer.clear();
    return buffer;
}

// By type first, then the description for the many virtual adapters that call
// themselves Ethernet.
EAdapterKind KindOf(const IP_ADAPTER_ADDRESSES& adapter, const CString& description) {
    switch (adapter.IfType) {
        case IF_TYPE_SOFTWARE_LOOPBACK:
            return EAdapterKind::kLoopback;
        case IF_TYPE_TUNNEL:
            return EAdapterKind::kTunnel;
        case IF_TYPE_PPP:
            return EAdapterKind::kPpp;
        case IF_TYPE_PROP_VIRTUAL:
            return EAdapterKind::kVirtual;
        default:
            return KindFromDescription(description);
    }
}

bool HasGlobalIpv6(const IP_ADAPTER_ADDRESSES& adapter) {
    for (auto* unicast = adapter.FirstUnicastAddress; unicast; unicast = unicast->Next) {
        const sockaddr* address = unicast->Address.lpSockaddr;
        if (address && address->sa_family == AF_INET6 &&
            (reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr[0] & 0xE0) == 0x20)
            return true;
    }
    return false;
}

CString Gbk(const wchar_t* text) {
    return CString(Utf16ToGbk(text ? text : L"", EGbkRule::kReplaceLookAlike));
}

}  // namespace

std::vector<CNetAdapter> ListNetAdapters() {
    std::vector<CNetAdapter> adapters;
    std::vector<unsigned char> buffer = AdapterBuffer();
    if (buffer.empty()) return adapters;
    for (auto* entry = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); entry;
         entry = entry->Next) {
        CNetAdapter adapter;
        adapter.name = Gbk(entry->FriendlyName);
        adapter.description = Gbk(entry->Description);
        adapter.up = entry->OperStatus == IfOperStatusUp;
        adapter.kind = KindOf(*entry, adapter.description);
        adapter.globalIpv6 = HasGlobalIpv6(*entry);
        adapters.push_back(adapter);
    }
    return adapters;
}

CString RouteAdapterFor(const CString& address) {
    sockaddr_storage target = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
    if (inet_pton(AF_INET, address.GetString(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
    } else if (inet_pton(AF_INET6, address.GetString(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
    } else {
        return CString();
    }
    DWORD index = 0;
    if (!IpHelper().bestInterface ||
        IpHelper().bestInterface(reinterpret_cast<sockaddr*>(&target), &index) != NO_ERROR)
        return CString();
    std::vector<unsigned char> buffer = AdapterBuffer();
    for (auto* entry = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(
             buffer.empty() ? nullptr : buffer.data());
         entry; entry = entry->Next) {
        if (entry->IfIndex == index || entry->Ipv6IfIndex == index) return Gbk(entry->FriendlyName);
    }
    return CString();
}
