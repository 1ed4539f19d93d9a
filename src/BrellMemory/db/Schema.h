#pragma once
// The memory database's schema and its migrations. Every database, new or old, is
// brought to the current version in one transaction, so a file is never left at a
// half-applied version; an existing file gets a consistent backup before an upgrade.
// Throws SQLiteDB::DBError (or FileError for the backup's folder).
#include <cstdint>
#include <string>

namespace brell {

class SQLiteDB;

namespace Schema {

inline constexpr int currentVersion = 6;

// Brings `db` to the current version. A file at the current version or newer is left
// untouched. Two processes migrating one old file at once migrate it once: the version
// is read again under the write lock.
void migrate(SQLiteDB& db);

// The version recorded in `meta` (0 when absent or not a number; a number beyond 64
// bits reads as the largest).
int64_t version(SQLiteDB& db);

// Builds the schema exactly as it was at `version` (1 to 5) on an empty database, the
// way a store of that version left it. For tests and tools that need old files.
void buildVersion(SQLiteDB& db, int version);

// The path of the backup taken before upgrading `path` from `version`.
std::string backupPath(const std::string& path, int64_t version);

} // namespace Schema
} // namespace brell
