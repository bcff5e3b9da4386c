// Asks the kernel's routing table over netlink which interface a packet to an address
// would leave by, as `ip route get` does, without running it.
#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "platform/net_adapters.h"
#include "platform/time_limits.h"
#include "platform/unique_fd_posix.h"

namespace {

struct CRouteRequest {
    nlmsghdr header;
    rtmsg route;
    char attributes[64];
};

// The request for the route to the address, or false for no numeric address.
bool BuildRequest(const CString& address, CRouteRequest* request) {
    std::memset(request, 0, sizeof *request);
    unsigned char bytes[16];
    int family = AF_INET;
    int length = 4;
    if (inet_pton(AF_INET, address.GetString(), bytes) != 1) {
        if (inet_pton(AF_INET6, address.GetString(), bytes) != 1) return false;
        family = AF_INET6;
        length = 16;
    }
    request->header.nlmsg_type = RTM_GETROUTE;
    request->header.nlmsg_flags = NLM_F_REQUEST;
    request->header.nlmsg_seq = 1;
    request->route.rtm_family = static_cast<unsigned char>(family);
    request->route.rtm_dst_len = static_cast<unsigned char>(length * 8);
    rtattr* destination = reinterpret_cast<rtattr*>(request->attributes);
    destination->rta_type = RTA_DST;
    destination->rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
    std::memcpy(RTA_DATA(destination), bytes, static_cast<size_t>(length));
    request->header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg)) + RTA_ALIGN(destination->rta_len);
    return true;
}

// The outgoing interface's index in the kernel's answer, or 0.
int OutputInterface(const char* data, int length) {
    for (auto* message = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(message, length);
         message = NLMSG_NEXT(message, length)) {
        if (message->nlmsg_type != RTM_NEWROUTE) continue;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
        int left = static_cast<int>(RTM_PAYLOAD(message));
        for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, left);
             attribute = RTA_NEXT(attribute, left)) {
            if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int)) {
                int index = 0;
                std::memcpy(&index, RTA_DATA(attribute), sizeof index);
                return index;
            }
        }
    }
    return 0;
}

}  // namespace

CString RouteAdapterFor(const CString& address) {
    CRouteRequest request;
    if (!BuildRequest(address, &request)) return CString();
    const CUniqueFd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd.IsOpen() || send(fd.Get(), &request, request.header.nlmsg_len, 0) < 0) return CString();
    pollfd entry = {fd.Get(), POLLIN, 0};
    if (poll(&entry, 1, kLocalReadLimitMs) != 1) return CString();
    std::vector<char> answer(16384);
    const ssize_t got = recv(fd.Get(), answer.data(), answer.size(), 0);
    if (got <= 0) return CString();
    char name[IF_NAMESIZE] = {};
    const int index = OutputInterface(answer.data(), static_cast<int>(got));
    return index > 0 && if_indextoname(static_cast<unsigned>(index), name) ? CString(name)
                                                                           : CString();
}
