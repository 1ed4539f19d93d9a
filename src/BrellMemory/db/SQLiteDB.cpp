#include "BrellMemory/db/SQLiteDB.h"

#include <cassert>
#include <cmath>
#include <mutex>

#include <sqlite3.h>

#include "platform/FileSystem.h"

namespace brell {
namespace {

bool isMemory(const std::string& path) {
    return path == ":memory:";
}

} // namespace

std::optional<int64_t> SQLiteDB::Value::integer() const {
    if (const auto* i = std::get_if<int64_t>(&v_)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&v_)) {
        // Only finite values inside the 64-bit range are ever stored as integers.
        assert(std::isfinite(*d) && *d > -9.2233720368547758e18 && *d < 9.2233720368547758e18);
        return static_cast<int64_t>(*d);
    }
    return std::nullopt;
}

std::optional<double> SQLiteDB::Value::real() const {
    if (const auto* i = std::get_if<int64_t>(&v_)) {
        return static_cast<double>(*i);
    }
    if (const auto* d = std::get_if<double>(&v_)) {
        return *d;
    }
    return std::nullopt;
}

std::optional<std::string> SQLiteDB::Value::text() const {
    if (const auto* s = std::get_if<std::string>(&v_)) {
        return *s;
    }
    return std::nullopt;
}

const SQLiteDB::Value& SQLiteDB::Row::operator[](std::string_view name) const {
    static const Value null;
    auto it = values.find(name);
    return it == values.end() ? null : it->second;
}

int64_t SQLiteDB::Row::integer(std::string_view name) const {
    return (*this)[name].integer().value_or(0);
}

double SQLiteDB::Row::real(std::string_view name) const {
    return (*this)[name].real().value_or(0);
}

std::string SQLiteDB::Row::text(std::string_view name) const {
    return (*this)[name].text().value_or("");
}

std::optional<std::string> SQLiteDB::Row::optText(std::string_view name) const {
    return (*this)[name].text();
}

std::optional<int64_t> SQLiteDB::Row::optInt(std::string_view name) const {
    return (*this)[name].integer();
}

std::optional<double> SQLiteDB::Row::optReal(std::string_view name) const {
    return (*this)[name].real();
}

bool SQLiteDB::Row::boolean(std::string_view name) const {
    return integer(name) != 0;
}

// The statements kept for reuse, most recently returned first. Small on purpose: a
// connection's hot statements are few, and a statement built afresh for each call
// (search patterns of varying length) only passes through.
class SQLiteDB::StatementCache {
public:
    static constexpr std::size_t capacity = 24;

    struct Entry {
        std::string sql;
        sqlite3_stmt* statement = nullptr;
    };

    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache() {
        for (auto& entry : entries_) {
            sqlite3_finalize(entry.statement);
        }
    }

    // The kept statement for `sql`, taken out of the cache; a null statement when none.
    Entry take(const std::string& sql) {
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->sql == sql) {
                Entry entry = std::move(*it);
                entries_.erase(it);
                return entry;
            }
        }
        return {};
    }

    // Keeps a statement that has been reset and unbound, dropping the least recent
    // when the cache is full.
    void give(Entry entry) {
        std::lock_guard lock(mutex_);
        entries_.insert(entries_.begin(), std::move(entry));
        if (entries_.size() > capacity) {
            sqlite3_finalize(entries_.back().statement);
            entries_.pop_back();
        }
    }

private:
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

// One statement in use: reset, unbound and handed back to the cache when it ends,
// whether the call finished or threw.
class SQLiteDB::Lease {
public:
    Lease(StatementCache& cache, StatementCache::Entry entry) : cache_(cache), entry_(std::move(entry)) {}
    Lease(Lease&& other) noexcept : cache_(other.cache_), entry_(std::move(other.entry_)) {
        other.entry_.statement = nullptr;
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
        if (entry_.statement != nullptr) {
            sqlite3_reset(entry_.statement);
            sqlite3_clear_bindings(entry_.statement);
            cache_.give(std::move(entry_));
        }
    }
    sqlite3_stmt* get() const { return entry_.statement; }

private:
    StatementCache& cache_;
    StatementCache::Entry entry_;
};

SQLiteDB::DBError::DBError(int code, std::string message)
    : Error("SQLite error " + std::to_string(code) + ": " + message), code_(code), message_(std::move(message)) {}

void SQLiteDB::Close::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db); // deferred close: its result only reports pending statements
}

SQLiteDB::SQLiteDB(std::string path) : path_(std::move(path)), cache_(std::make_unique<StatementCache>()) {
    if (!isMemory(path_)) {
        FileSystem::makeFolders(FileSystem::parentFolder(path_), 0700);
    }
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string message = raw != nullptr ? sqlite3_errmsg(raw) : "open failed";
        sqlite3_close_v2(raw);
        throw DBError(rc, message);
    }
    handle_.reset(raw);
    if (!isMemory(path_)) {
        FileSystem::setPermissions(path_, 0600);
    }
    sqlite3_busy_timeout(handle_.get(), 4000);
    exec("PRAGMA foreign_keys = ON");
    if (!isMemory(path_)) {
        exec("PRAGMA journal_mode = WAL");
    }
}

SQLiteDB::SQLiteDB(std::string path, Access access)
    : path_(std::move(path)), cache_(std::make_unique<StatementCache>()) {
    if (access == Access::readWrite) {
        *this = SQLiteDB(path_);
        return;
    }
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = raw != nullptr ? sqlite3_errmsg(raw) : "open failed";
        sqlite3_close_v2(raw);
        throw DBError(rc, message);
    }
    handle_.reset(raw);
    sqlite3_busy_timeout(handle_.get(), 4000);
}

SQLiteDB::~SQLiteDB() = default;
SQLiteDB::SQLiteDB(SQLiteDB&&) noexcept = default;
SQLiteDB& SQLiteDB::operator=(SQLiteDB&&) noexcept = default;

void SQLiteDB::exec(const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error != nullptr ? error : "exec failed";
        sqlite3_free(error);
        throw DBError(rc, message);
    }
}

SQLiteDB::Lease SQLiteDB::prepare(const std::string& sql, const Params& params) {
    sqlite3* db = handle_.get();
    StatementCache::Entry entry = cache_->take(sql);
    if (entry.statement == nullptr) {
        int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &entry.statement, nullptr);
        if (rc != SQLITE_OK || entry.statement == nullptr) {
            sqlite3_finalize(entry.statement);
            throw DBError(rc, sqlite3_errmsg(db));
        }
        entry.sql = sql;
    }
    Lease lease(*cache_, std::move(entry));
    sqlite3_stmt* raw = lease.get();
    for (std::size_t i = 0; i < params.size(); ++i) {
        const auto& v = params[i].v_;
        auto position = static_cast<int>(i + 1);
        int rc = SQLITE_OK;
        if (const auto* integer = std::get_if<int64_t>(&v)) {
            rc = sqlite3_bind_int64(raw, position, *integer);
        } else if (const auto* real = std::get_if<double>(&v)) {
            rc = sqlite3_bind_double(raw, position, *real);
        } else if (const auto* text = std::get_if<std::string>(&v)) {
            // Bound with its length, so a NUL inside cannot cut it short.
            rc = sqlite3_bind_text64(raw, position, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            rc = sqlite3_bind_null(raw, position);
        }
        if (rc != SQLITE_OK) {
            throw DBError(rc, sqlite3_errmsg(db));
        }
    }
    return lease;
}

int64_t SQLiteDB::run(const std::string& sql, const Params& params) {
    Lease statement = prepare(sql, params);
    int rc = 0;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        throw DBError(rc, sqlite3_errmsg(handle_.get()));
    }
    return sqlite3_changes64(handle_.get());
}

std::vector<SQLiteDB::Row> SQLiteDB::query(const std::string& sql, const Params& params) {
    Lease statement = prepare(sql, params);
    // The columns are read after the first step: a kept statement whose tables changed
    // is prepared again by that step, and may then have other columns.
    int rc = sqlite3_step(statement.get());
    int columns = sqlite3_column_count(statement.get());
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(statement.get(), c);
        names.emplace_back(name != nullptr ? name : "");
    }
    std::vector<Row> rows;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(statement.get())) {
        Row row;
        for (int c = 0; c < columns; ++c) {
            Value value;
            switch (sqlite3_column_type(statement.get(), c)) {
            case SQLITE_INTEGER:
                value = Value(static_cast<long long>(sqlite3_column_int64(statement.get(), c)));
                break;
            case SQLITE_FLOAT:
                value = Value(sqlite3_column_double(statement.get(), c));
                break;
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
                auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), c));
                value = Value(text != nullptr ? std::string(text, bytes) : std::string());
                break;
            }
            default:
                break; // BLOB and NULL read as null
            }
            row.values.insert_or_assign(names[static_cast<std::size_t>(c)], std::move(value));
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        throw DBError(rc, sqlite3_errmsg(handle_.get()));
    }
    return rows;
}

std::optional<SQLiteDB::Row> SQLiteDB::one(const std::string& sql, const Params& params) {
    auto rows = query(sql, params);
    if (rows.empty()) {
        return std::nullopt;
    }
    return std::move(rows.front());
}

int64_t SQLiteDB::lastInsertID() const {
    return sqlite3_last_insert_rowid(handle_.get());
}

void SQLiteDB::rollbackQuietly() noexcept {
    sqlite3_exec(handle_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SQLiteDB::backupTo(const std::string& path) {
    // Read through a connection of its own: it sees the last committed state, which
    // nobody can change while the caller holds the write lock.
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, Close> source(raw);
    if (rc != SQLITE_OK) {
        throw DBError(rc, raw != nullptr ? sqlite3_errmsg(raw) : "open failed");
    }
    for (const char* leftover : {"-journal", "-wal", "-shm"}) {
        (void)FileSystem::remove(path + leftover); // a journal of an earlier copy must not be replayed
    }
    // An empty file is an empty database: created owner-only before SQLite opens it, so
    // the copy is never readable by others, not even for a moment.
    FileSystem::writeAtomically(path, "");
    raw = nullptr;
    rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Close> destination(raw);
    if (rc != SQLITE_OK) {
        throw DBError(rc, raw != nullptr ? sqlite3_errmsg(raw) : "open failed");
    }
    sqlite3_backup* backup = sqlite3_backup_init(destination.get(), "main", source.get(), "main");
    if (backup == nullptr) {
        throw DBError(sqlite3_errcode(destination.get()), sqlite3_errmsg(destination.get()));
    }
    rc = sqlite3_backup_step(backup, -1);
    int finish = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        throw DBError(rc, sqlite3_errstr(rc));
    }
    if (finish != SQLITE_OK) {
        throw DBError(finish, sqlite3_errmsg(destination.get()));
    }
    // The copy carries the journal mode of the original; as a single file with a
    // rollback journal it stands alone, without -wal and -shm files beside it.
    char* error = nullptr;
    rc = sqlite3_exec(destination.get(), "PRAGMA journal_mode = DELETE", nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error != nullptr ? error : "journal mode change failed";
        sqlite3_free(error);
        throw DBError(rc, message);
    }
}

SQLiteDB::SQLiteDB(std::string path, sqlite3* handle)
    : path_(std::move(path)), handle_(handle), cache_(std::make_unique<StatementCache>()) {}

void SQLiteDB::restoreFrom(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, Close> source(raw);
    if (rc != SQLITE_OK) {
        throw DBError(rc, raw != nullptr ? sqlite3_errmsg(raw) : "open failed");
    }
    sqlite3_backup* backup = sqlite3_backup_init(handle_.get(), "main", source.get(), "main");
    if (backup == nullptr) {
        throw DBError(sqlite3_errcode(handle_.get()), sqlite3_errmsg(handle_.get()));
    }
    // One step copies every page in one write transaction; the busy handler waits for
    // the write lock, and a lock still held after it is tried again a while longer.
    rc = sqlite3_backup_step(backup, -1);
    for (int attempt = 0; (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && attempt < 40; ++attempt) {
        sqlite3_sleep(100);
        rc = sqlite3_backup_step(backup, -1);
    }
    int finish = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        throw DBError(rc, sqlite3_errstr(rc));
    }
    if (finish != SQLITE_OK) {
        throw DBError(finish, sqlite3_errmsg(handle_.get()));
    }
}

std::vector<SQLiteDB::Row> SQLiteDB::queryFile(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = raw != nullptr ? sqlite3_errmsg(raw) : "open failed";
        sqlite3_close_v2(raw);
        throw DBError(rc, message);
    }
    SQLiteDB reader(path, raw);
    sqlite3_busy_timeout(raw, 4000);
    return reader.query(sql);
}

std::string SQLiteDB::libraryVersion() {
    return sqlite3_libversion();
}

} // namespace brell
