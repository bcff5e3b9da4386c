// The path statistics step's table: per hop of a route, the loss and round-trip times of
// the echo probes sent to it over many rounds, as the report shows them.
#pragma once

#include <string>
#include <vector>

#include "platform/mb_string.h"

// One address that answered for a hop, and the times of its answers.
struct CPathAddress {
    std::string address;
    CString label;  // where the address is (ip_labels.h)
    int received = 0;
    double lastMs = 0;
    double bestMs = 0;
    double worstMs = 0;
    double sumMs = 0;
    double sumSquaresMs = 0;

    void Add(double rttMs);
};

// One TTL: how many probes went out with it, and who answered them, in the order each
// first answered (several addresses when the route is balanced over several routers).
struct CPathProbeHop {
    int sent = 0;
    std::vector<CPathAddress> addresses;

    int Received() const;
    void Answer(const std::string& from, double rttMs, const CString& label);
};

struct CPathTrace {
    CString domain;
    std::string target;
    int rounds = 0;
    int intervalSeconds = 1;
    // hops[i] is TTL i + 1, up to the destination (or the last hop that answered).
    std::vector<CPathProbeHop> hops;
};

// The heading line and the table, every line ending in CR LF.
CString FormatPathTable(const CPathTrace& trace);

// The line that asks the server's support for the other direction, or "" without an
// address.
CString ReverseTraceLine(const CString& publicAddress);
