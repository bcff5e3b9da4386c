// The store's reads, and the desk's users, tokens and sessions. Each call borrows one
// connection from the pool for its length.
#include <soci/soci.h>

#include <algorithm>
#include <set>

#include "collector/store.h"
#include "collector/store_rows.h"
#include "collector/text_forms.h"
#include "collector/tickets.h"

namespace {

const char kSummaryColumns[] =
    "SELECT received_at, ticket, domain, public_address, region_label, top_finding,"
    " top_severity FROM reports ";

// Runs a summary query whose only parameter is :q (when given) and whose limit is :n.
std::vector<CReportSummary> Summaries(soci::session& sql, const std::string& tail,
                                      const std::string* q, int limit) {
    std::vector<CReportSummary> list;
    CReportSummary s;
    soci::details::prepare_temp_type prepared = sql.prepare << (kSummaryColumns + tail);
    prepared, soci::into(s.receivedAt), soci::into(s.ticket), soci::into(s.domain),
        soci::into(s.publicAddress), soci::into(s.regionLabel), soci::into(s.topFinding),
        soci::into(s.topSeverity);
    if (q) prepared, soci::use(*q);
    prepared, soci::use(limit);
    soci::statement statement(prepared);
    statement.execute(false);
    while (statement.fetch()) list.push_back(s);
    return list;
}

std::vector<CReportSummary> Search(soci::session& sql, const std::string& query, int limit) {
    std::string ticket;
    if (NormalizeTicket(query, &ticket))
        return Summaries(sql, "WHERE ticket = :q LIMIT :n", &ticket, limit);
    std::string lowered = query;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<CReportSummary> all =
        Summaries(sql, "WHERE domain = :q ORDER BY received_at DESC LIMIT :n", &lowered, limit);
    for (const CReportSummary& s : Summaries(
             sql, "WHERE public_address = :q ORDER BY received_at DESC LIMIT :n", &lowered, limit))
        all.push_back(s);
    for (const CReportSummary& s : Summaries(
             sql, "WHERE ticket IN (SELECT ticket FROM report_findings WHERE finding_id = :q"
                  " ORDER BY received_at DESC LIMIT :n)", &lowered, limit))
        all.push_back(s);
    std::stable_sort(all.begin(), all.end(), [](const CReportSummary& a, const CReportSummary& b) {
        return a.receivedAt > b.receivedAt;
    });
    std::vector<CReportSummary> unique;
    std::set<std::string> seen;
    for (const CReportSummary& s : all)
        if (seen.insert(s.ticket).second && unique.size() < static_cast<size_t>(limit))
            unique.push_back(s);
    return unique;
}

}  // namespace

std::vector<CReportSummary> CStore::List(const std::string& query, size_t limit) {
    soci::session sql(*m_pool);
    const int n = static_cast<int>(std::min<size_t>(limit, 1000));
    if (query.empty()) return Summaries(sql, "ORDER BY received_at DESC, id DESC LIMIT :n", nullptr, n);
    return Search(sql, query, n);
}

bool CStore::Load(const std::string& ticket, CStoredReport* report) {
    soci::session sql(*m_pool);
    std::vector<CReportSummary> found = Summaries(sql, "WHERE ticket = :q LIMIT :n", &ticket, 1);
    if (found.empty()) return false;
    report->summary = found[0];
    std::string findings, path, original;
    sql << "SELECT content_type, findings_json, path_json, original_b64, loss_hop_address,"
           " loss_hop_label FROM reports WHERE ticket = :t",
        soci::use(ticket), soci::into(report->contentType), soci::into(findings), soci::into(path),
        soci::into(original), soci::into(report->lossHopAddress), soci::into(report->lossHopLabel);
    ReadFindingsJson(findings, &report->findings);
    ReadPathJson(path, &report->pathRows);
    return Base64Decode(original, &report->original);
}

void CStore::Fleet(int hours, std::vector<CFleetCell>* cells, std::vector<CFleetHop>* hops) {
    soci::session sql(*m_pool);
    const long long since = UnixNow() / 3600 - hours + 1;
    CFleetCell cell;
    soci::statement counts = (sql.prepare <<
        "SELECT finding_id, province, carrier, CAST(SUM(reports) AS BIGINT) FROM fleet_counts"
        " WHERE hour >= :h GROUP BY finding_id, province, carrier ORDER BY 4 DESC, 1 LIMIT 1000",
        soci::use(since), soci::into(cell.findingId), soci::into(cell.province),
        soci::into(cell.carrier), soci::into(cell.reports));
    counts.execute(false);
    while (counts.fetch()) cells->push_back(cell);
    CFleetHop hop;
    soci::statement lossHops = (sql.prepare <<
        "SELECT address, label, CAST(SUM(reports) AS BIGINT) FROM loss_hops WHERE hour >= :h"
        " GROUP BY address, label ORDER BY 3 DESC, 1 LIMIT 200",
        soci::use(since), soci::into(hop.address), soci::into(hop.label), soci::into(hop.reports));
    lossHops.execute(false);
    while (lossHops.fetch()) hops->push_back(hop);
}

void CStore::SetUser(const std::string& name, const std::string& passwordHash) {
    soci::session sql(*m_pool);
    sql << "INSERT INTO users (name, password_hash) VALUES (:n, :h) ON CONFLICT (name)"
           " DO UPDATE SET password_hash = excluded.password_hash",
        soci::use(name), soci::use(passwordHash);
}

bool CStore::UserHash(const std::string& name, std::string* passwordHash) {
    soci::session sql(*m_pool);
    sql << "SELECT password_hash FROM users WHERE name = :n", soci::use(name),
        soci::into(*passwordHash);
    return sql.got_data();
}

void CStore::AddToken(const std::string& tokenHash, const std::string& user) {
    soci::session sql(*m_pool);
    const long long now = UnixNow();
    sql << "INSERT INTO tokens (token_hash, user_name, created_at) VALUES (:h, :u, :t)",
        soci::use(tokenHash), soci::use(user), soci::use(now);
}

bool CStore::TokenUser(const std::string& tokenHash, std::string* user) {
    soci::session sql(*m_pool);
    sql << "SELECT user_name FROM tokens WHERE token_hash = :h", soci::use(tokenHash),
        soci::into(*user);
    return sql.got_data();
}

void CStore::AddSession(const std::string& sessionHash, const std::string& user,
                        const std::string& csrf, long long expiresAt) {
    soci::session sql(*m_pool);
    const long long now = UnixNow();
    sql << "DELETE FROM sessions WHERE expires_at < :t", soci::use(now);
    sql << "INSERT INTO sessions (session_hash, user_name, csrf, expires_at) VALUES"
           " (:h, :u, :c, :e)",
        soci::use(sessionHash), soci::use(user), soci::use(csrf), soci::use(expiresAt);
}

bool CStore::SessionOf(const std::string& sessionHash, long long now, std::string* user,
                       std::string* csrf) {
    soci::session sql(*m_pool);
    sql << "SELECT user_name, csrf FROM sessions WHERE session_hash = :h AND expires_at > :t",
        soci::use(sessionHash), soci::use(now), soci::into(*user), soci::into(*csrf);
    return sql.got_data();
}

void CStore::DropSession(const std::string& sessionHash) {
    soci::session sql(*m_pool);
    sql << "DELETE FROM sessions WHERE session_hash = :h", soci::use(sessionHash);
}
