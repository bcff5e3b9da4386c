#include "collector/store_rows.h"

#include <soci/soci.h>

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
    contentType.push_back("text/plain");
    findings.push_back(FindingsJson(in.findings));
    path.push_back(PathJson(in.pathRows));
    original.push_back(Base64Encode(in.original));
}

void InsertReportColumns(soci::session& sql, CReportColumns& c) {
    sql << "INSERT INTO reports (ticket, idem_key, received_at, source, domain, public_address,"
           " region_label, province, carrier, top_finding, top_severity, loss_hop_address,"
           " loss_hop_label, content_type, findings_json, path_json, original_b64) VALUES"
           " (:ticket, :key, :received, :source, :domain, :address, :label, :province, :carrier,"
           " :top, :severity, :lossaddress, :losslabel, :type, :findings, :path, :original)",
        soci::use(c.ticket), soci::use(c.key, c.keyPresent), soci::use(c.receivedAt),
        soci::use(c.source), soci::use(c.domain), soci::use(c.address), soci::use(c.label),
        soci::use(c.province), soci::use(c.carrier), soci::use(c.topFinding),
        soci::use(c.topSeverity), soci::use(c.lossAddress), soci::use(c.lossLabel),
        soci::use(c.contentType), soci::use(c.findings), soci::use(c.path), soci::use(c.original);
}

using CCounterKey = std::tuple<long long, std::string, std::string, std::string>;

// The per-hour counters the fleet view sums, raised by what the batch adds.
void RaiseFleetCounts(soci::session& sql, const std::map<CCounterKey, long long>& counts) {
    std::vector<long long> hour, reports;
    std::vector<std::string> finding, province, carrier;
    for (const auto& [key, count] : counts) {
        hour.push_back(std::get<0>(key));
        finding.push_back(std::get<1>(key));
        province.push_back(std::get<2>(key));
        carrier.push_back(std::get<3>(key));
        reports.push_back(count);
    }
    if (hour.empty()) return;
    sql << "INSERT INTO fleet_counts (hour, finding_id, province, carrier, reports)"
           " VALUES (:h, :f, :p, :c, :n) ON CONFLICT (hour, finding_id, province, carrier)"
           " DO UPDATE SET reports = fleet_counts.reports + excluded.reports",
        soci::use(hour), soci::use(finding), soci::use(province), soci::use(carrier),
        soci::use(reports);
}

using CHopKey = std::tuple<long long, std::string, std::string, std::string, std::string>;

void RaiseLossHops(soci::session& sql, const std::map<CHopKey, long long>& counts) {
    std::vector<long long> hour, reports;
    std::vector<std::string> address, label, province, carrier;
    for (const auto& [key, count] : counts) {
        hour.push_back(std::get<0>(key));
        address.push_back(std::get<1>(key));
        label.push_back(std::get<2>(key));
        province.push_back(std::get<3>(key));
        carrier.push_back(std::get<4>(key));
        reports.push_back(count);
    }
    if (hour.empty()) return;
    sql << "INSERT INTO loss_hops (hour, address, label, province, carrier, reports)"
           " VALUES (:h, :a, :l, :p, :c, :n) ON CONFLICT (hour, address, label, province, carrier)"
           " DO UPDATE SET reports = loss_hops.reports + excluded.reports",
        soci::use(hour), soci::use(address), soci::use(label), soci::use(province),
        soci::use(carrier), soci::use(reports);
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
    if (!ticket.empty())
        sql << "INSERT INTO report_findings (ticket, finding_id, received_at) VALUES (:t, :f, :r)",
            soci::use(ticket), soci::use(finding), soci::use(received);
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
