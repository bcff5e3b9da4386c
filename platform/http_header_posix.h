// The texts the libcurl backend reads from a server: header lines as libcurl hands them
// over, and the certificate fields its OpenSSL backend writes out. Apart from the
// transfer, so that any bytes can be put through them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/mb_string.h"

// Keeps the header block of the latest response; once a response's headers are
// complete and it is not one libcurl follows, that block is the answer. A block longer
// than the limit ends the transfer.
struct CHeaderBlock {
    explicit CHeaderBlock(int limitBytes) : limit(static_cast<size_t>(limitBytes)) {}

    // One header line, its line end included or not; false once the block is too long.
    bool Take(std::string line);

    const size_t limit;
    std::string block;
    std::string statusLine;
    int status = 0;  // 0 for a status line without a three-digit code
    bool redirects = false;
    bool complete = false;
    bool tooLong = false;
};

// "Dec  7 11:26:09 2026 GMT": seconds since 1970 (UTC), or 0 when it is no such date.
long long ParseCertificateDate(const std::string& text);

// "DNS:a.example, DNS:b.example, IP Address:127.0.0.1": the DNS names.
std::vector<CString> DnsNamesOf(const std::string& list);

// The "CN = name" part of a one-line subject, for a certificate that lists no DNS names.
CString CommonNameOf(const std::string& subject);
