// The collector's database: reports, the desk's users, their sessions and bearer tokens,
// over SQLite (one machine, nothing else to run) or PostgreSQL (several collectors on one
// database). The schema is versioned and brought up to date when the store opens.
//
// Uploads go through writer threads that group what is queued into one transaction;
// each upload's answer waits for the COMMIT that holds it, so an acknowledged report
// survives the collector being killed right after.
#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "collector/report_intake.h"

namespace soci {
class connection_pool;
class session;
}  // namespace soci

struct CReportSummary {
    long long receivedAt = 0;  // seconds since 1970 UTC
    std::string ticket, domain, publicAddress, regionLabel;
    std::string topFinding;  // the most severe finding's id, "" without one
    int topSeverity = 2;
};

struct CStoredReport {
    CReportSummary summary;
    std::string contentType;
    std::string original;  // the bytes as uploaded
    std::vector<CIntakeFinding> findings;
    std::vector<CIntakePathRow> pathRows;
    std::string lossHopAddress, lossHopLabel;
};

struct CFleetCell {
    std::string findingId, province, carrier;
    long long reports = 0;
};
struct CFleetHop {
    std::string address, label;
    long long reports = 0;
};

// One upload on its way into the database.
struct CUploadRow {
    CReportIntake intake;
    std::string key;     // Idempotency-Key, "" without one
    std::string source;  // the sender's address
    long long receivedAt = 0;
};

struct CUploadOutcome {
    bool stored = false;
    bool repeated = false;  // an earlier upload with the same key; nothing new stored
    std::string ticket;
    std::string error;  // why it was not stored, for the log; never shown raw
};

class CStore {
public:
    // spec: "sqlite:PATH" or "postgresql://...". nullptr with *error on failure.
    static std::unique_ptr<CStore> Open(const std::string& spec, std::string* error);
    ~CStore();
    CStore(const CStore&) = delete;
    CStore& operator=(const CStore&) = delete;

    // Queues an upload; the future is ready once it is committed (or failed).
    std::future<CUploadOutcome> Submit(CReportIntake intake, std::string idempotencyKey,
                                       std::string source);
    // The ticket an earlier upload with this key got, or "".
    std::string TicketOfKey(const std::string& key);

    // Newest first; query "" lists all. A query is a ticket, a domain, an address or a
    // finding id.
    std::vector<CReportSummary> List(const std::string& query, size_t limit);
    bool Load(const std::string& ticket, CStoredReport* report);
    void Fleet(int hours, std::vector<CFleetCell>* cells, std::vector<CFleetHop>* hops);

    // Creates the user or sets a new password hash.
    void SetUser(const std::string& name, const std::string& passwordHash);
    bool UserHash(const std::string& name, std::string* passwordHash);
    void AddToken(const std::string& tokenHash, const std::string& user);
    bool TokenUser(const std::string& tokenHash, std::string* user);
    void AddSession(const std::string& sessionHash, const std::string& user,
                    const std::string& csrf, long long expiresAt);
    bool SessionOf(const std::string& sessionHash, long long now, std::string* user,
                   std::string* csrf);
    void DropSession(const std::string& sessionHash);

private:
    struct CPending {
        CUploadRow row;
        std::promise<CUploadOutcome> done;
    };
    CStore();
    void WriterLoop(soci::session* sql);
    void WriteBatch(soci::session& sql, std::vector<CPending>& batch);
    void WriteAlone(soci::session& sql, CPending& pending);

    bool m_sqlite = true;
    std::unique_ptr<soci::connection_pool> m_pool;
    // One writer on SQLite, which takes one writer at a time anyway; several on
    // PostgreSQL, whose round trips then overlap.
    std::vector<std::unique_ptr<soci::session>> m_writers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<CPending> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Seconds since 1970 UTC.
long long UnixNow();
