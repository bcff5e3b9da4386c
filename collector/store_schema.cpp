#include "collector/store_schema.h"

#include <soci/soci.h>

#include <vector>

namespace {

struct CMigration {
    int version;
    std::vector<const char*> statements;  // "@ID@" is the auto-numbered key column
};

const std::vector<CMigration>& Migrations() {
    static const std::vector<CMigration> migrations = {
        {1,
         {"CREATE TABLE reports (id @ID@, ticket TEXT NOT NULL UNIQUE, idem_key TEXT UNIQUE,"
          " received_at BIGINT NOT NULL, source TEXT NOT NULL, domain TEXT NOT NULL,"
          " public_address TEXT NOT NULL, region_label TEXT NOT NULL, province TEXT NOT NULL,"
          " carrier TEXT NOT NULL, top_finding TEXT NOT NULL, top_severity INTEGER NOT NULL,"
          " loss_hop_address TEXT NOT NULL, loss_hop_label TEXT NOT NULL,"
          " content_type TEXT NOT NULL, findings_json TEXT NOT NULL, path_json TEXT NOT NULL,"
          " original_b64 TEXT NOT NULL)",
          "CREATE INDEX reports_received ON reports (received_at)",
          "CREATE INDEX reports_domain ON reports (domain, received_at)",
          "CREATE INDEX reports_address ON reports (public_address, received_at)",
          "CREATE TABLE report_findings (ticket TEXT NOT NULL, finding_id TEXT NOT NULL,"
          " received_at BIGINT NOT NULL)",
          "CREATE INDEX report_findings_id ON report_findings (finding_id, received_at)",
          "CREATE TABLE fleet_counts (hour BIGINT NOT NULL, finding_id TEXT NOT NULL,"
          " province TEXT NOT NULL, carrier TEXT NOT NULL, reports BIGINT NOT NULL,"
          " PRIMARY KEY (hour, finding_id, province, carrier))",
          "CREATE TABLE loss_hops (hour BIGINT NOT NULL, address TEXT NOT NULL,"
          " label TEXT NOT NULL, province TEXT NOT NULL, carrier TEXT NOT NULL,"
          " reports BIGINT NOT NULL, PRIMARY KEY (hour, address, label, province, carrier))",
          "CREATE TABLE users (name TEXT PRIMARY KEY, password_hash TEXT NOT NULL)",
          "CREATE TABLE tokens (token_hash TEXT PRIMARY KEY, user_name TEXT NOT NULL,"
          " created_at BIGINT NOT NULL)",
          "CREATE TABLE sessions (session_hash TEXT PRIMARY KEY, user_name TEXT NOT NULL,"
          " csrf TEXT NOT NULL, expires_at BIGINT NOT NULL)"}},
    };
    return migrations;
}

std::string WithIdColumn(const char* statement, bool sqlite) {
    std::string text = statement;
    const size_t at = text.find("@ID@");
    if (at != std::string::npos)
        text.replace(at, 4, sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY");
    return text;
}

int CurrentVersion(soci::session& sql) {
    int version = 0;
    sql << "SELECT CAST(COALESCE(MAX(version), 0) AS INTEGER) FROM tollvane_schema",
        soci::into(version);
    return version;
}

}  // namespace

bool MigrateSchema(soci::session& sql, bool sqlite, std::string* error) {
    try {
        sql << "CREATE TABLE IF NOT EXISTS tollvane_schema (version INTEGER NOT NULL)";
        soci::transaction transaction(sql);
        // Collectors starting side by side on one PostgreSQL database take turns here.
        if (!sqlite) sql << "SELECT pg_advisory_xact_lock(7243001)";
        const int current = CurrentVersion(sql);
        const int newest = Migrations().back().version;
        if (current > newest) {
            *error = "the database's schema is newer than this collector";
            return false;
        }
        for (const CMigration& migration : Migrations()) {
            if (migration.version <= current) continue;
            for (const char* statement : migration.statements) sql << WithIdColumn(statement, sqlite);
            sql << "INSERT INTO tollvane_schema (version) VALUES (:v)", soci::use(migration.version);
        }
        transaction.commit();
        return true;
    } catch (const std::exception& e) {
        *error = std::string("the schema could not be brought up to date: ") + e.what();
        return false;
    }
}
