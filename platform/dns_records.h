// What the system's DNS servers answer for a name: the CNAME chain and the A or AAAA
// records with their TTLs, straight from the answer section (no hosts file, no cache of
// ours), and which servers the system asks. Every query is bounded in time.
#pragma once

#include <vector>

#include "platform/mb_string.h"
#include "platform/platform_error.h"
#include "platform/time_limits.h"

class CStopSignal;

enum class EDnsType { kCname, kA, kAaaa };

struct CDnsRecord {
    EDnsType type = EDnsType::kA;
    CString owner;  // the name the record belongs to
    CString value;  // the CNAME target, or the address as text
    unsigned long ttl = 0;
};

// failure: kNone (records may still be empty: the name has no record of that type),
// kNotFound (the name does not exist), kTimedOut, kStopped, kNoResources or kOther.
struct CDnsAnswer {
    EPlatformError failure = EPlatformError::kNone;
    std::vector<CDnsRecord> records;
};

// Asks for the A (type kA) or AAAA (kAaaa) records of the host as typed: a name with
// Chinese labels goes out in its ASCII form. A query still going after timeoutMs, or
// when the stop signal is raised, is left behind.
CDnsAnswer QueryDnsRecords(const CString& host, EDnsType type, int timeoutMs,
                           const CStopSignal* stop);

// The addresses of the DNS servers the system is set up to ask, in its order; empty when
// none is set or they cannot be read in time.
std::vector<CString> SystemDnsServers(int timeoutMs, const CStopSignal* stop);

// Asks one DNS server (an IPv4 address) directly over UDP, not the system's resolver:
// recursion desired, no retry, at most timeoutMs or until the stop signal is raised.
CDnsAnswer QueryDnsServer(const CString& server, int port, const CString& host, EDnsType type,
                          int timeoutMs, const CStopSignal* stop);

// The backend's blocking calls, for an ASCII name.
CDnsAnswer QueryDnsBlocking(const CString& asciiHost, EDnsType type);
std::vector<CString> ReadDnsServersBlocking();
CDnsAnswer QueryDnsServerBlocking(const CString& server, int port, const CString& asciiHost,
                                  EDnsType type, int timeoutMs);
