// The statements behind the store: writing a batch of uploads with the counters the
// fleet view reads, and reading reports back. SQL text here is fixed; every value is
// bound.
#pragma once

#include <string>
#include <vector>

#include "collector/store.h"

namespace soci {
class session;
}

// Inside the caller's transaction: one outcome per row, in order. A row whose key an
// earlier upload (stored or in this batch) used is answered with that upload's ticket.
std::vector<CUploadOutcome> InsertReports(soci::session& sql, const std::vector<CUploadRow*>& rows);
std::string StoredTicketOfKey(soci::session& sql, const std::string& key);

// The report's findings and path rows as the JSON kept beside it, and back.
std::string FindingsJson(const std::vector<CIntakeFinding>& findings);
std::string PathJson(const std::vector<CIntakePathRow>& rows);
void ReadFindingsJson(const std::string& json, std::vector<CIntakeFinding>* findings);
void ReadPathJson(const std::string& json, std::vector<CIntakePathRow>* rows);
