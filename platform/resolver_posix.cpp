#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/resolver.h"

CString LookupFirstIPv4(const CString& asciiHost) {
    if (asciiHost.IsEmpty()) return CString();
    // getaddrinfo rather than gethostbyname: the latter is not safe off the main thread.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(asciiHost.GetString(), nullptr, &hints, &list) != 0 || !list) return CString();
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(list);
    return ok ? CString(text) : CString();
}
