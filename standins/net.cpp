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

namespace {

// The words Windows gives the connect failures psping reports; any other failure is
// told in the system's own words.
struct ConnectWords {
    EPlatformError kind;
    const char* words;
};
const ConnectWords connect_words[] = {
    {EPlatformError::kNone, ""},
    {EPlatformError::kRefused, "The remote computer refused the network connection."},
    {EPlatformError::kTimedOut, "This operation returned because the timeout period expired."},
    {EPlatformError::kNetworkUnreachable, "The network location cannot be reached."},
    {EPlatformError::kHostUnreachable, "The remote host cannot be reached."},
};

}  // namespace

std::string failure_words(const ConnectResult& result) {
    for (const ConnectWords& known : connect_words)
        if (known.kind == result.failure.kind) return known.words;
    return result.detail;
}

}  // namespace standin
