// Redaction of a report before it leaves the machine: the MAC addresses, the computer's
// and the user's names, the machine's own addresses and the rest of its LAN are replaced
// by placeholder words, the same value by the same word throughout one report, so that a
// support engineer can still follow the path and the findings still hold. Kept: the
// public address, the tested domain and its addresses, public hops and their labels.
#pragma once

#include <string>
#include <string_view>

#include "model/report_model.h"

// What was hidden, by kind.
struct CRedactionCounts {
    int macs = 0;          // distinct MAC addresses and DHCPv6 client ids
    int ownAddresses = 0;  // distinct addresses of the machine's own adapters
    int lanAddresses = 0;  // distinct other addresses of the user's own network
    int hostNames = 0;     // places the computer's name stood
    int userNames = 0;     // places the user's name (or a proxy's password) stood
};

struct CRedactedReport {
    CReport report;    // read back from text, facts included
    std::string text;  // GBK report bytes
    CRedactionCounts counts;
};

// The records with every text redacted (steps and findings), facts as they were; the
// step of the work RedactReport checks and reads back. Assumes report.isReport.
CReport RedactRecords(const CReport& report, CRedactionCounts* counts);

// False, with *error saying why (GBK), when the report cannot be redacted whole (it is
// not a report, or the result would not read back); *out is then left untouched.
bool RedactReport(const CReport& report, CRedactedReport* out, std::string* error);
// The same from a report's text bytes.
bool RedactReportText(std::string_view bytes, CRedactedReport* out, std::string* error);

// "已隐藏：MAC地址2个、局域网地址5个、计算机名1处" (GBK); kinds with nothing are left out.
std::string RedactionCountsLine(const CRedactionCounts& counts);
