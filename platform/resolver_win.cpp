#include <winsock2.h>

#include <cstring>

#include "platform/resolver.h"

CString LookupFirstIPv4(const CString& asciiHost) {
    // gethostbyname("") names the local machine; an empty name is no host here.
    if (asciiHost.IsEmpty()) return CString();
    // The answer lives in storage of the calling thread, the lookup's own helper thread,
    // so it is copied out before that thread ends.
    const hostent* entry = gethostbyname(asciiHost.GetString());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
        return CString();
    }
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    return CString(inet_ntoa(address));
}
