// Name lookup and timed TCP connects for the stand-ins. The header is the
// same on every system; net_posix.cpp and net_win.cpp hold the system calls,
// and each turns its system's error codes into the few outcomes below.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/platform_error.h"

struct addrinfo;  // the system's lookup result (socket_api.hpp)

namespace standin {

using Clock = std::chrono::steady_clock;

struct Address {
    // The system's own socket address, kept as bytes so that this header
    // needs no system header; the backends and the Linux tools cast it.
    alignas(8) unsigned char storage[128] = {};
    unsigned length = 0;
    int family = 0;    // the system's address family number
    std::string text;  // numeric form, with %scope for link-local IPv6
};

// Why a lookup gave no address. A lookup that ran out of time, ours or the
// resolver's own, is never reported as a name that does not exist.
enum class LookupFailure {
    none,
    unknown_name,  // the DNS said the name has no address
    timed_out,     // no answer in time (our limit, or the resolver gave up retrying)
    other,         // see Resolution::error
};

struct Resolution {
    std::optional<Address> address;
    LookupFailure failure = LookupFailure::none;
    std::string error;  // set when address is empty
};

// Every stand-in waits for a name as long as tollvane's own lookups do.
std::chrono::milliseconds name_lookup_limit();

// Keeps the system's socket library started for as long as it lives (Winsock
// needs that; elsewhere it does nothing). ok() is false when it failed.
class NetworkUse {
public:
    NetworkUse();
    ~NetworkUse();
    NetworkUse(const NetworkUse&) = delete;
    NetworkUse& operator=(const NetworkUse&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// The first address of HOST, IPv4 preferred when the name has both. A lookup
// that takes longer than LIMIT counts as failed; the stuck lookup is left
// behind on its helper thread (the core's RunBounded) because no system lets
// one be cancelled.
Resolution resolve_host(const std::string& host, std::chrono::milliseconds limit);

// "the name lookup timed out (no answer within 10 seconds)": how each stand-in says that
// a lookup ran out of time, after its own Windows-style opening.
std::string timed_out_words(const Resolution& resolution);

// True when HOST is written as a numeric IPv4 or IPv6 address.
bool is_ip_literal(const std::string& host);

// Name lookups leave the port at 0; connecting needs the real one.
void set_port(Address& address, unsigned port);

// "ADDR:PORT", with brackets around IPv6 addresses.
std::string endpoint_text(const Address& address, unsigned port);

// Why a connect failed, in the platform's vocabulary (platform/platform_error.h), which
// translates each system's numbers in one place for the stand-ins and the program alike.
struct ConnectResult {
    CPlatformError failure;
    std::string detail;  // the system's own words, for a failure the prober has none for
    double ms = 0;       // time to the established connection
};

// One TCP connect to TARGET that gives up after TIMEOUT; the connection is
// closed again at once.
ConnectResult connect_tcp(const Address& target, std::chrono::milliseconds timeout);

// What a connect failure is called in the prober's output, the way Windows
// words it.
std::string failure_words(const ConnectResult& result);

// --- backend hooks, used by net.cpp -----------------------------------------

// The blocking lookup behind resolve_host.
Resolution lookup_blocking(const std::string& host);

// The first IPv4 address of a lookup's list, else its first IPv6 one (net_address.cpp).
Resolution first_address(const ::addrinfo* list);

}  // namespace standin
