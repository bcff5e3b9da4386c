// Sending a saved report to the support desk's collector, which answers with a ticket
// the user reads out to the desk. Shared by the terminal and the window.
#pragma once

#include <string>

class CStopSignal;

struct CReportUpload {
    bool ok = false;
    std::string ticket;  // "7KQ2-MZ9D"
    std::string error;   // GBK: why it failed, the collector's own reason included
};

// The collector's base address is https, or http to this machine only (127.0.0.0/8,
// ::1, localhost): a report holds the user's addresses and must not cross a network in
// the clear. False with *why (GBK) otherwise.
bool IsCollectorAddress(const std::string& baseUrl, std::string* why);

// A fresh Idempotency-Key: made once per report and sent again with each retry, so a
// report whose answer was lost is not stored twice.
std::string NewUploadKey();

// POSTs the report (GBK text: text/plain, or JSON: application/json) to
// BASE/api/v1/reports with the key. A failure of the network, or a collector answering
// 503, is retried with the same key a few times; every exchange and the whole are
// bounded in time. A raised stop signal ends it at once.
CReportUpload UploadReport(const std::string& baseUrl, const std::string& body, bool json,
                           const std::string& key, CStopSignal* stop);
