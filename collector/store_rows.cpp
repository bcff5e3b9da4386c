#include "collector/store_rows.h"

#include <soci/soci.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "collector/text_forms.h"
#include "collector/tickets.h"

namespace {

// The reports table's columns, one vector each, for one bulk INSERT.
struct CReportColumns {
    std::vector<std::string> ticket, key, source, domain, address, label, province, carrier,
        topFinding, lossAddress, lossLabel, contentType, findings, path, original;
    std::vector<soci::indicator> keyPresent;
    std::vector<long long> receivedAt;
    std::vector<int> topSeverity;

    void Add(const CUploadRow& row, const std::string& newTicket);
};

void CReportColumns::Add(const CUploadRow& row, const std::string& newTicket) {
    const CReportIntake& in = row.intake;
    ticket.push_back(newTicket);
    key.push_back(row.key);
    keyPresent.push_back(row.key.empty() ? soci::i_null : soci::i_ok);
    source.push_back(row.source);
    receivedAt.push_back(row.receivedAt);
    domain.push_back(in.domain);
    address.push_back(in.publicAddress);
    label.push_back(in.regionLabel);
    province.push_back(in.province);
    carrier.push_back(in.carrier);
    topFinding.push_back(in.findings.empty() ? std::string() : in.findings[0].id);
    topSeverity.push_back(in.findings.empty() ? 2 : in.findings[0].severity);
    lossAddress.push_back(in.lossHopAddress);
    lossLabel.push_back(in.lossHopLabel);
    contentType.push_back(in.json ? "application/json" : "text/plain");
    findings.push_back(FindingsJson(in.findings));
    path.push_back(PathJson(in.pathRows));
    original.push_back(Base64Encode(in.original));
}

// The placeholders of rows rows of columns values each: "(:v0, :v1), (:v2, :v3)".
std::string ValuesList(size_t rows, size_t columns) {
    std::string list;
    size_t next = 0;
    for (size_t r = 0; r < rows; ++r) {
        list += r ? ", (" : "(";
        for (size_t c = 0; c < columns; ++c) list += (c ? ", :v" : ":v") + std::to_string(next++);
        list += ')';
    }
    return list;
}

// One statement for many rows, where a bulk bind would cost PostgreSQL a round trip a
// row. Only placeholders are added to the fixed text; bind adds one row's values.
template <typename Bind>
void InsertRows(soci::session& sql, const char* head, const char* tail, size_t columns,
                size_t rows, Bind bind) {
    const size_t perStatement = std::max<size_t>(1, 4000 / columns);
    for (size_t first = 0; first < rows; first += perStatement) {
        const size_t count = std::min(perStatement, rows - first);
        soci::details::prepare_temp_type prepared =
            sql.prepare << (std::string(head) + ValuesList(count, columns) + tail);
        for (size_t r = first; r < first + count; ++r) bind(prepared, r);
        soci::statement statement(prepared);
        statement.execute(true);
    }
}

void InsertReportColumns(soci::session& sql, CReportColumns& c) {
    InsertRows(sql,
               "INSERT INTO reports (ticket, idem_key, received_at, source, domain, public_address,"
               " region_label, province, carrier, top_finding, top_severity, loss_hop_address,"
               " loss_hop_label, content_type, findings_json, path_json, original_b64) VALUES ",
               "", 17, c.ticket.size(), [&c](soci::details::prepare_temp_type& p, size_t i) {
                   p, soci::use(c.ticket[i]), soci::use(c.key[i], c.keyPresent[i]),
                       soci::use(c.receivedAt[i]), soci::use(c.source[i]), soci::use(c.domain[i]),
                       soci::use(c.address[i]), soci::use(c.label[i]), soci::use(c.province[i]),
                       soci::use(c.carrier[i]), soci::use(c.topFinding[i]), soci::use(c.topSeverity[i]),
                       soci::use(c.lossAddress[i]), soci::use(c.lossLabel[i]),
                       soci::use(c.contentType[i]), soci::use(c.findings[i]), soci::use(c.path[i]),
                       soci::use(c.original[i]);
               });
}

using CCounterKey = std::tuple<long long, std::string, std::string, std::string>;

// The per-hour counters the fleet view sums, raised by what the batch adds.
void RaiseFleetCounts(soci::session& sql, std::map<CCounterKey, long long>& counts) {
    std::vector<std::pair<const CCounterKey, long long>*> rows;
    for (auto& entry : counts) rows.push_back(&entry);
    InsertRows(sql, "INSERT INTO fleet_counts (hour, finding_id, province, carrier, reports) VALUES ",
               " ON CONFLICT (hour, finding_id, province, carrier)"
               " DO UPDATE SET reports = fleet_counts.reports + excluded.reports",
               5, rows.size(), [&rows](soci::details::prepare_temp_type& p, size_t i) {
                   const CCounterKey& key = rows[i]->first;
                   p, soci::use(std::get<0>(key)), soci::use(std::get<1>(key)),
                       soci::use(std::get<2>(key)), soci::use(std::get<3>(key)),
                       soci::use(rows[i]->second);
               });
}

using CHopKey = std::tuple<long long, std::string, std::string, std::string, std::string>;

void RaiseLossHops(soci::session& sql, std::map<CHopKey, long long>& counts) {
    std::vector<std::pair<const CHopKey, long long>*> rows;
    for (auto& entry : counts) rows.push_back(&entry);
    InsertRows(sql, "INSERT INTO loss_hops (hour, address, label, province, carrier, reports) VALUES ",
               " ON CONFLICT (hour, address, label, province, carrier)"
               " DO UPDATE SET reports = loss_hops.reports + excluded.reports",
               6, rows.size(), [&rows](soci::details::prepare_temp_type& p, size_t i) {
                   const CHopKey& key = rows[i]->first;
                   p, soci::use(std::get<0>(key)), soci::use(std::get<1>(key)),
                       soci::use(std::get<2>(key)), soci::use(std::get<3>(key)),
                       soci::use(std::get<4>(key)), soci::use(rows[i]->second);
               });
}

// The findings index the search by finding id reads, and the fleet counters.
void InsertDerivedRows(soci::session& sql, const std::vector<const CUploadRow*>& rows,
                       const std::vector<std::string>& tickets) {
    std::vector<std::string> ticket, finding;
    std::vector<long long> received;
    std::map<CCounterKey, long long> counts;
    std::map<CHopKey, long long> hops;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CReportIntake& in = rows[i]->intake;
        const long long hour = rows[i]->receivedAt / 3600;
        for (const CIntakeFinding& f : in.findings) {
            ticket.push_back(tickets[i]);
            finding.push_back(f.id);
            received.push_back(rows[i]->receivedAt);
            ++counts[{hour, f.id, in.province, in.carrier}];
        }
        if (!in.lossHopAddress.empty())
            ++hops[{hour, in.lossHopAddress, in.lossHopLabel, in.province, in.carrier}];
    }
    InsertRows(sql, "INSERT INTO report_findings (ticket, finding_id, received_at) VALUES ", "", 3,
               ticket.size(), [&](soci::details::prepare_temp_type& p, size_t i) {
                   p, soci::use(ticket[i]), soci::use(finding[i]), soci::use(received[i]);
               });
    RaiseFleetCounts(sql, counts);
    RaiseLossHops(sql, hops);
}

}  // namespace

std::string StoredTicketOfKey(soci::session& sql, const std::string& key) {
    std::string ticket;
    soci::indicator present = soci::i_null;
    sql << "SELECT ticket FROM reports WHERE idem_key = :k", soci::use(key),
        soci::into(ticket, present);
    return sql.got_data() && present == soci::i_ok ? ticket : std::string();
}

std::vector<CUploadOutcome> InsertReports(soci::session& sql, const std::vector<CUploadRow*>& rows) {
    std::vector<CUploadOutcome> outcomes(rows.size());
    std::map<std::string, std::string> batchKeys;  // key -> ticket, within this batch
    std::set<std::string> drawn;
    CReportColumns columns;
    std::vector<const CUploadRow*> fresh;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& key = rows[i]->key;
        std::string earlier;
        if (!key.empty()) {
            const auto it = batchKeys.find(key);
            earlier = it != batchKeys.end() ? it->second : StoredTicketOfKey(sql, key);
        }
        if (!earlier.empty()) {
            outcomes[i] = {true, true, earlier, std::string()};
            continue;
        }
        std::string ticket;
        do ticket = NewTicket();
        while (!drawn.insert(ticket).second);
        if (!key.empty()) batchKeys[key] = ticket;
        columns.Add(*rows[i], ticket);
        fresh.push_back(rows[i]);
        outcomes[i] = {true, false, ticket, std::string()};
    }
    if (fresh.empty()) return outcomes;
    InsertReportColumns(sql, columns);
    InsertDerivedRows(sql, fresh, columns.ticket);
    return outcomes;
}

std::string FindingsJson(const std::vector<CIntakeFinding>& findings) {
    nlohmann::json list = nlohmann::json::array();
    for (const CIntakeFinding& f : findings)
        list.push_back({{"id", f.id}, {"severity", f.severity}, {"step", f.step}, {"text", f.text}});
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string PathJson(const std::vector<CIntakePathRow>& rows) {
    nlohmann::json list = nlohmann::json::array();
    for (const CIntakePathRow& r : rows)
        list.push_back({{"ttl", r.ttl}, {"address", r.address}, {"loss", r.lossPercent},
                        {"avg", r.averageMs}, {"label", r.label}});
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void ReadFindingsJson(const std::string& json, std::vector<CIntakeFinding>* findings) {
    const nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
    if (!list.is_array()) return;
    for (const nlohmann::json& f : list)
        findings->push_back({f.value("id", ""), f.value("severity", 2), f.value("step", 0),
                             f.value("text", "")});
}

void ReadPathJson(const std::string& json, std::vector<CIntakePathRow>* rows) {
    const nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
    if (!list.is_array()) return;
    for (const nlohmann::json& r : list)
        rows->push_back({r.value("ttl", 0), r.value("address", ""), r.value("loss", -1.0),
                         r.value("avg", -1.0), r.value("label", "")});
}
