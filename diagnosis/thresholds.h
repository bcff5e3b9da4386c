// Every limit a finding is judged by, in one place so the README and the rules agree.
#pragma once

namespace diagnosis_limits {

// A domain whose registration ends within this many days of the report is expiring.
constexpr int kDomainExpiringDays = 30;
// A certificate that ends within this many days is expiring.
constexpr int kCertExpiringDays = 14;
// Average round trip to the destination (ping, or the path table's last hop) above this
// is high latency.
constexpr double kHighLatencyMs = 200.0;
// A rise of more than this between one answering hop and the next, kept to the
// destination, is a latency jump at that hop.
constexpr double kLatencyJumpMs = 100.0;
// Loss above this per cent at a hop counts as loss; one lost round in thirty is noise.
constexpr double kPathLossPercent = 5.0;
// Loss at the destination at or above this per cent makes path loss critical.
constexpr double kPathLossCriticalPercent = 30.0;
// A clock further off than this from the server's is skewed (the step reports the same).
constexpr long kClockSkewSeconds = 60;
// The site timing step, each judged by a phase's median over its requests: a server
// that takes longer than this between the connection being ready and its first byte is
// slow to answer; a TCP or TLS handshake longer than these is slow to connect or secure.
constexpr double kSiteSlowFirstByteMs = 1000.0;
constexpr double kSiteSlowConnectMs = 1000.0;
constexpr double kSiteSlowTlsMs = 1000.0;
// IPv6 is slower when its whole request's median exceeds IPv4's by both of these.
constexpr double kIpv6SlowerMs = 500.0;
constexpr double kIpv6SlowerRatio = 2.0;
// A file larger than this is not read: no report of a whole run comes near it.
constexpr long long kMaxReportBytes = 64LL * 1024 * 1024;

}  // namespace diagnosis_limits
