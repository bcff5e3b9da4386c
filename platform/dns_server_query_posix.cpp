#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "platform/deadline.h"
#include "platform/dns_answer_posix.h"
#include "platform/unique_fd_posix.h"

namespace {

CDnsAnswer Failed(EPlatformError why) {
    CDnsAnswer answer;
    answer.failure = why;
    return answer;
}

// The next datagram that answers our query (same id), or an empty buffer once the time
// is up. Anything else arriving on the socket is dropped.
std::vector<unsigned char> AwaitAnswer(int fd, const unsigned char* query, int timeoutMs) {
    const CDeadline deadline(timeoutMs);
    std::vector<unsigned char> reply(65536);
    while (!deadline.Passed()) {
        pollfd entry = {fd, POLLIN, 0};
        if (poll(&entry, 1, deadline.Remaining()) <= 0) continue;
        const ssize_t got = recv(fd, reply.data(), reply.size(), 0);
        if (got >= 12 && reply[0] == query[0] && reply[1] == query[1] && (reply[2] & 0x80)) {
            reply.resize(static_cast<size_t>(got));
            return reply;
        }
        // A refusal (ICMP port unreachable) reads as an error; it is no answer either.
        if (got < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    return std::vector<unsigned char>();
}

}  // namespace

CDnsAnswer QueryDnsServerBlocking(const CString& server, int port, const CString& asciiHost,
                                  EDnsType type, int timeoutMs) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, server.GetString(), &address.sin_addr) != 1)
        return Failed(EPlatformError::kOther);
    unsigned char query[NS_PACKETSZ];
    const int rrType = type == EDnsType::kAaaa ? ns_t_aaaa : ns_t_a;
    const int length = res_mkquery(ns_o_query, asciiHost.GetString(), ns_c_in, rrType, nullptr, 0,
                                   nullptr, query, sizeof query);
    if (length < 12) return Failed(EPlatformError::kOther);
    query[2] |= 0x01;  // recursion desired, whatever this thread's resolver options say
    const CUniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) return Failed(EPlatformError::kNoResources);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        send(fd.Get(), query, static_cast<size_t>(length), 0) != length) {
        return Failed(EPlatformError::kOther);
    }
    const std::vector<unsigned char> reply = AwaitAnswer(fd.Get(), query, timeoutMs);
    if (reply.empty()) return Failed(EPlatformError::kTimedOut);
    return ReadAnswerMessage(reply.data(), static_cast<int>(reply.size()));
}
