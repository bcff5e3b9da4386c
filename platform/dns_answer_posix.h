// The POSIX backend's reading of a DNS answer as the wire gave it, apart from the query
// so that any bytes can be put through it.
#pragma once

#include <vector>

#include "platform/dns_records.h"

// Appends the A, AAAA and CNAME records of the answer section; false when the bytes
// are no DNS message at all.
bool ReadDnsAnswerSection(const unsigned char* bytes, int length, std::vector<CDnsRecord>* records);

// A whole answer message: its A, AAAA and CNAME answer records, or, for a message that
// does not parse or says the name does not exist or the server failed, only the failure.
CDnsAnswer ReadAnswerMessage(const unsigned char* data, int length);

// An address (AF_INET or AF_INET6 bytes) as text; empty when it cannot be written.
CString DnsAddressText(int family, const unsigned char* data);
