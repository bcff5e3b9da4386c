// The web console's pages as HTML. Every piece of text that came from a report or a
// request is escaped here; nothing else writes markup.
#pragma once

#include <string>
#include <vector>

#include "collector/store.h"

// A whole page: title, the signed-in bar (user and a logout form carrying csrf; none
// when user is empty) and the body's markup.
std::string ConsolePage(const std::string& title, const std::string& user,
                        const std::string& csrf, const std::string& body);

std::string LoginBody(const std::string& csrf, const std::string& message);
std::string ListBody(const std::string& query, const std::vector<CReportSummary>& reports);
std::string ReportBody(const CStoredReport& report);
std::string FleetBody(int hours, const std::vector<CFleetCell>& cells,
                      const std::vector<CFleetHop>& hops);

// "2026-12-08 10:53:44" in the collector's local time.
std::string LocalTimeText(long long unixSeconds);
