// tollvane --upload URL: saved reports, or the report of the run just made, sent to the
// support desk's collector; each gets a ticket the user reads out to the desk.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// With redact (the default of the command line) a report is redacted before it is sent,
// what was hidden counted on err, and one that cannot be redacted whole is not sent.

// Sends each file and prints "FILE: TICKET" on out, one line each, or the reason on err.
// Returns 0 when every file got a ticket, else 2.
int UploadReportFiles(const std::string& url, const std::vector<std::string>& files, bool redact,
                      std::FILE* out, std::FILE* err);

// Sends the run's report (GBK bytes) and prints its ticket. Returns 0 or 2.
int UploadRunReport(const std::string& url, const std::string& report, bool redact,
                    std::FILE* out, std::FILE* err);
