#include "collector/store.h"

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <algorithm>
#include <chrono>

#include "collector/store_rows.h"
#include "collector/store_schema.h"

namespace {

constexpr size_t kReaderConnections = 8;
constexpr size_t kPostgresqlWriters = 4;

// Every SQLite connection: the write-ahead log, so readers never wait for the writer,
// and synchronous=FULL, under which each COMMIT has reached the disk before it returns.
// NORMAL would lose nothing when only the process dies, but could lose the last
// acknowledged reports to a power cut; a batch of uploads shares one sync, so FULL costs
// little.
void PrepareSqlite(soci::session& sql) {
    sql << "PRAGMA busy_timeout = 10000";
    sql << "PRAGMA journal_mode = WAL";
    sql << "PRAGMA synchronous = FULL";
}

std::string SqliteParameters(const std::string& path) {
    return "db=\"" + path + "\" timeout=10";
}

// The connection address goes to libpq as it is, with one query parameter added: SOCI
// reads an address without any as a keyword list and garbles it.
std::string PostgresqlParameters(const std::string& url) {
    const char kName[] = "application_name=tollvane-collector";
    return url + (url.find('?') == std::string::npos ? "?" : "&") + kName;
}

void OpenOne(soci::session& sql, bool sqlite, const std::string& target) {
    if (sqlite) {
        sql.open(*soci::factory_sqlite3(), SqliteParameters(target));
        PrepareSqlite(sql);
    } else {
        sql.open(*soci::factory_postgresql(), PostgresqlParameters(target));
        // "already exists" notices of the schema check are no news.
        sql << "SET client_min_messages = warning";
    }
}

// A PostgreSQL connection lost under a transaction is opened again for the next try.
void ReconnectQuietly(soci::session& sql) {
    try {
        sql.reconnect();
    } catch (const std::exception&) {
    }
}

}  // namespace

long long UnixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

CStore::CStore() = default;

std::unique_ptr<CStore> CStore::Open(const std::string& spec, std::string* error) {
    std::unique_ptr<CStore> store(new CStore);
    std::string target;
    if (spec.rfind("sqlite:", 0) == 0) {
        target = spec.substr(7);
    } else if (spec.rfind("postgresql://", 0) == 0 || spec.rfind("postgres://", 0) == 0) {
        store->m_sqlite = false;
        target = spec;
    } else {
        *error = "--db must be sqlite:PATH or postgresql://...";
        return nullptr;
    }
    if (target.empty() || target.find('"') != std::string::npos) {
        *error = "--db names no usable database";
        return nullptr;
    }
    try {
        const size_t writers = store->m_sqlite ? 1 : kPostgresqlWriters;
        for (size_t i = 0; i < writers; ++i) {
            store->m_writers.push_back(std::make_unique<soci::session>());
            OpenOne(*store->m_writers.back(), store->m_sqlite, target);
        }
        if (!MigrateSchema(*store->m_writers[0], store->m_sqlite, error)) return nullptr;
        store->m_pool = std::make_unique<soci::connection_pool>(kReaderConnections);
        for (size_t i = 0; i < kReaderConnections; ++i)
            OpenOne(store->m_pool->at(i), store->m_sqlite, target);
    } catch (const std::exception& e) {
        *error = std::string("the database could not be opened: ") + e.what();
        return nullptr;
    }
    for (auto& writer : store->m_writers)
        store->m_threads.emplace_back(&CStore::WriterLoop, store.get(), writer.get());
    return store;
}

CStore::~CStore() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

std::future<CUploadOutcome> CStore::Submit(CReportIntake intake, std::string idempotencyKey,
                                           std::string source) {
    CPending pending;
    pending.row.intake = std::move(intake);
    pending.row.key = std::move(idempotencyKey);
    pending.row.source = std::move(source);
    pending.row.receivedAt = UnixNow();
    std::future<CUploadOutcome> done = pending.done.get_future();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(pending));
    }
    m_wake.notify_one();
    return done;
}

void CStore::WriterLoop(soci::session* sql) {
    // At most this many uploads share one transaction: large enough to spread one disk
    // sync over a busy second's uploads, small enough to keep each answer prompt.
    constexpr size_t kBatchLimit = 512;
    for (;;) {
        std::vector<CPending> batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;
            while (!m_queue.empty() && batch.size() < kBatchLimit) {
                batch.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        WriteBatch(*sql, batch);
    }
}

void CStore::WriteBatch(soci::session& sql, std::vector<CPending>& batch) {
    std::vector<CUploadOutcome> outcomes;
    try {
        soci::transaction transaction(sql);
        std::vector<CUploadRow*> rows;
        for (CPending& pending : batch) rows.push_back(&pending.row);
        outcomes = InsertReports(sql, rows);
        transaction.commit();
    } catch (const std::exception&) {
        // One bad upload, a ticket drawn twice or a key another collector just stored
        // must not fail the rest: each is tried again in a transaction of its own.
        for (CPending& pending : batch) WriteAlone(sql, pending);
        return;
    }
    for (size_t i = 0; i < batch.size(); ++i) batch[i].done.set_value(outcomes[i]);
}

void CStore::WriteAlone(soci::session& sql, CPending& pending) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            soci::transaction transaction(sql);
            std::vector<CUploadOutcome> outcomes = InsertReports(sql, {&pending.row});
            transaction.commit();
            pending.done.set_value(outcomes[0]);
            return;
        } catch (const std::exception& e) {
            if (!m_sqlite) ReconnectQuietly(sql);
            if (attempt < 2) continue;
            CUploadOutcome failed;
            failed.error = e.what();
            pending.done.set_value(failed);
        }
    }
}

std::string CStore::TicketOfKey(const std::string& key) {
    soci::session sql(*m_pool);
    return StoredTicketOfKey(sql, key);
}
