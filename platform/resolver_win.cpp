#include <winsock2.h>

#include "platform/resolver.h"

CString ResolveFirstIPv4(const CString& host) {
    // gethostbyname("") names the local machine; an empty name is no host here.
    if (host.IsEmpty()) return CString();
    const hostent* entry = gethostbyname(host.GetString());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
        return CString();
    }
    in_addr address;
    memcpy(&address, entry->h_addr_list[0], sizeof address);
    return CString(inet_ntoa(address));
}
