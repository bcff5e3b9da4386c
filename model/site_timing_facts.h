// The facts of the site timing step: for the site's root over http and https, and for
// each address family the name has, how long each phase of a request took over three
// requests, and the CDN and cache headers the answers carried. Plain C++ with no other
// header of the model, so the findings read it before the rest of the model is theirs.
//
// Strings are GBK bytes. A time in milliseconds is -1 where the report shows none ("-").
#pragma once

#include <string>
#include <vector>

// One phase over the requests that got past it: the middle value and the longest.
struct CPhaseFacts {
    double medianMs = -1;
    double worstMs = -1;
};

// One address (http://DOMAIN/ or https://DOMAIN/) over one family. Each phase is its own
// share of a request, not the time since the start: dns the name lookup; connect the TCP
// handshake; tls the TLS handshake (none over http); firstByte the wait from the
// connection being ready to the answer's first byte; total the whole request.
struct CSiteTimingRowFacts {
    std::string scheme;   // "http" or "https"
    std::string family;   // "IPv4" or "IPv6"
    std::string address;  // the address connected to, "" when none was
    int status = 0;       // of the last answer, 0 when none came
    int requests = 0;     // made
    int answered = 0;     // of them, those that got an answer
    CPhaseFacts dns, connect, tls, firstByte, total;
    std::string failure;  // why the others got none, as printed; "" when all answered
};

// A CDN or cache header an answer carried, its value escaped as the report prints it.
struct CSiteHeaderFacts {
    std::string scheme;
    std::string family;
    std::string name;   // as the list spells it ("X-Cache")
    std::string value;  // escaped: no control byte, nothing outside printable ASCII
};

struct CSiteTimingFacts {
    std::string domain;
    int requestsEach = 0;                  // requests per address and family
    // A family without a row, and why: "IPv6：该域名没有IPv6地址", "IPv6：AAAA记录查询超时".
    std::vector<std::string> familyNotes;
    std::vector<CSiteTimingRowFacts> rows;
    std::vector<CSiteHeaderFacts> headers;
};
