// The machine's network adapters as a support engineer needs them: which are up, which
// are tunnels or other virtual adapters that VPN and proxy software put in the path,
// and which adapter the system would send a site's traffic through.
#pragma once

#include <vector>

#include "platform/mb_string.h"

enum class EAdapterKind { kPhysical, kLoopback, kTunnel, kTunTap, kWireGuard, kPpp, kVirtual };

struct CNetAdapter {
    CString name;         // the system's name for it (GBK)
    CString description;  // the driver's description where the system keeps one (GBK)
    bool up = false;
    EAdapterKind kind = EAdapterKind::kPhysical;
    bool globalIpv6 = false;  // holds a global unicast IPv6 address (2000::/3)
};

// Every adapter the system lists; empty when it cannot be asked. Reads local state only,
// so it returns at once.
std::vector<CNetAdapter> ListNetAdapters();

// The name of the adapter the system would send packets to the numeric address out of;
// empty when the address has no route or the system cannot be asked.
CString RouteAdapterFor(const CString& address);

// The kind a driver's description suggests, for adapters whose type says nothing more
// than "Ethernet": "TAP-Windows Adapter V9" is a TAP adapter, "WireGuard Tunnel" ...
EAdapterKind KindFromDescription(const CString& description);

// True when an adapter is a tunnel, TUN/TAP, WireGuard, PPP or other virtual adapter.
inline bool IsVirtualAdapter(EAdapterKind kind) {
    return kind != EAdapterKind::kPhysical && kind != EAdapterKind::kLoopback;
}
