// ICMP echo with a chosen TTL: who answered a probe and how. The engine under the tracert
// stand-in and the path statistics step. Plain standard C++ at its surface, so the
// stand-ins can compile it in without the core's libraries.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform_error.h"

enum class EIcmpAnswer {
    kNoAnswer,      // nothing came back before the deadline
    kEchoReply,     // the target itself answered
    kTimeExceeded,  // a router on the way dropped the probe when its TTL ran out
    kUnreachable,   // a router or the target said the target cannot be reached
};

struct CIcmpResult {
    EIcmpAnswer answer = EIcmpAnswer::kNoAnswer;
    std::string from;  // numeric address of whoever answered; empty with kNoAnswer
    double rttMs = 0;  // from sending to the answer's arrival
};

class CIcmpEcho {
public:
    // Opens an echo sender towards target (a numeric IPv4 or IPv6 address), using the
    // first means this process has: an ICMP datagram socket, then a raw socket (POSIX);
    // IcmpSendEcho2Ex / Icmp6SendEcho2 (Windows). Null when none can be had, with the
    // reason in *error in the platform's vocabulary (kBadName: no numeric address), so
    // that each caller words it in its own language.
    static std::unique_ptr<CIcmpEcho> Open(const std::string& target, CPlatformError* error);
    virtual ~CIcmpEcho() = default;

    // Sends one echo for each TTL at once and waits until every probe has its answer or
    // timeoutMs has passed since the sending. results[i] belongs to ttls[i]; answers are
    // matched to probes by identifier and sequence, never by the order they arrive in.
    virtual std::vector<CIcmpResult> SendRound(const std::vector<int>& ttls, int timeoutMs) = 0;

    // What carries the probes, for a line of the report: "ICMP datagram socket", ...
    virtual const char* Means() const = 0;
};
