// The collector's schema, one numbered migration after another; a database records the
// last one applied and an older collector never touches a newer database.
#pragma once

#include <string>

namespace soci {
class session;
}

// Brings the database up to date; false with *error when it cannot (or when the
// database is newer than this collector). sqlite picks the column types.
bool MigrateSchema(soci::session& sql, bool sqlite, std::string* error);
