#include "net.hpp"

#include <functional>

#include "platform/bounded_call.h"
#include "platform/time_limits.h"

namespace standin {

std::chrono::milliseconds name_lookup_limit() {
    return std::chrono::milliseconds(kNameLookupLimitMs);
}

Resolution resolve_host(const std::string& host, std::chrono::milliseconds limit) {
    Resolution outcome;
    const std::function<Resolution()> lookup = [host] { return lookup_blocking(host); };
    switch (RunBounded<Resolution>(lookup, static_cast<int>(limit.count()), nullptr, &outcome)) {
        case EBoundedCall::kDone:
            return outcome;
        case EBoundedCall::kNoThread:
            outcome.failure = LookupFailure::other;
            outcome.error = "no thread could be started for the name lookup";
            return outcome;
        case EBoundedCall::kTimedOut:
        case EBoundedCall::kStopped:
        case EBoundedCall::kGivenUp:
            break;
    }
    outcome.failure = LookupFailure::timed_out;
    outcome.error = "no answer within " + std::to_string(limit.count() / 1000) + " seconds";
    return outcome;
}

std::string timed_out_words(const Resolution& resolution) {
    return "the name lookup timed out (" + resolution.error + ")";
}

std::string endpoint_text(const Address& address, unsigned port) {
    if (address.text.find(':') != std::string::npos)
        return "[" + address.text + "]:" + std::to_string(port);
    return address.text + ":" + std::to_string(port);
}

std::string failure_words(const ConnectResult& result) {
    switch (result.failure) {
        case ConnectFailure::none:
            return "";
        case ConnectFailure::refused:
            return "The remote computer refused the network connection.";
        case ConnectFailure::timed_out:
            return "This operation returned because the timeout period expired.";
        case ConnectFailure::network_unreachable:
            return "The network location cannot be reached.";
        case ConnectFailure::host_unreachable:
            return "The remote host cannot be reached.";
        case ConnectFailure::other:
            break;
    }
    return result.detail;
}

}  // namespace standin
