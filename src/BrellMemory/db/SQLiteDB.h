#pragma once
// SQLiteDB: the one wrapper through which BRELL talks to SQLite. It owns one connection
// to one database file (or ":memory:"), runs statements with positional parameters,
// returns rows keyed by column name, and turns every SQLite failure into DBError with
// SQLite's own code and message. It knows nothing about the schema.
//
// The connection is opened in serialized (full mutex) mode, so calls from several
// threads are safe at the SQLite level; a transaction spans several calls, so callers
// sharing one SQLiteDB keep each transaction on one thread. Move-only; the connection
// is closed (deferred close) when the object is destroyed.
//
// The statements most recently run through run/query/one stay prepared (a few, by
// their SQL text) and are reused by the next call with the same text: a long-lived
// connection (the host, the connector, the application) mostly runs the same few
// statements. A statement is taken out of the cache while it runs, so two threads, or
// a nested call, never share one; schema changes re-prepare a kept statement as SQLite
// does for any.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "util/Error.h"

struct sqlite3;

namespace brell {

class SQLiteDB {
public:
    // One parameter or column value: an integer, a float, text or null.
    class Value {
    public:
        Value() = default; // null
        Value(std::nullptr_t) {}
        Value(int v) : v_(static_cast<int64_t>(v)) {}
        Value(long v) : v_(static_cast<int64_t>(v)) {}
        Value(long long v) : v_(static_cast<int64_t>(v)) {}
        Value(unsigned v) : v_(static_cast<int64_t>(v)) {}
        Value(unsigned long v) : v_(static_cast<int64_t>(v)) {}
        Value(bool v) : v_(static_cast<int64_t>(v ? 1 : 0)) {}
        Value(double v) : v_(v) {}
        Value(const char* v) : v_(std::string(v)) {}
        Value(std::string v) : v_(std::move(v)) {}
        Value(std::string_view v) : v_(std::string(v)) {}
        Value(const std::optional<std::string>& v) {
            if (v) {
                v_ = *v;
            }
        }
        Value(const std::optional<int64_t>& v) {
            if (v) {
                v_ = *v;
            }
        }
        Value(const std::optional<double>& v) {
            if (v) {
                v_ = *v;
            }
        }

        // The payload as a number: integer() truncates a float toward zero, real()
        // converts an integer; both give nothing for text and null.
        std::optional<int64_t> integer() const;
        std::optional<double> real() const;
        std::optional<std::string> text() const;
        bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
        bool isInteger() const { return std::holds_alternative<int64_t>(v_); }
        bool isReal() const { return std::holds_alternative<double>(v_); }
        bool isText() const { return std::holds_alternative<std::string>(v_); }

        bool operator==(const Value&) const = default;

    private:
        friend class SQLiteDB;
        std::variant<std::monostate, int64_t, double, std::string> v_;
    };

    // One result row, keyed by the column names SQLite reports (an AS alias gives the
    // key; of two equal names the later column wins). A missing column reads as null.
    struct Row {
        std::map<std::string, Value, std::less<>> values;

        const Value& operator[](std::string_view name) const;
        int64_t integer(std::string_view name) const;  // 0 for text, null or missing
        double real(std::string_view name) const;      // 0 for text, null or missing
        std::string text(std::string_view name) const; // "" unless text
        std::optional<std::string> optText(std::string_view name) const;
        std::optional<int64_t> optInt(std::string_view name) const;
        std::optional<double> optReal(std::string_view name) const;
        bool boolean(std::string_view name) const; // integer value != 0
    };

    // Every failure of this layer. what() is "SQLite error <code>: <message>".
    class DBError : public Error {
    public:
        DBError(int code, std::string message);
        int code() const { return code_; }
        const std::string& message() const { return message_; }

    private:
        int code_;
        std::string message_;
    };

    using Params = std::vector<Value>;

    // Opens or creates the database: creates the containing folder (0700), opens
    // read-write/create/full-mutex, sets the file to 0600, a 4000 ms busy timeout,
    // foreign keys on, and WAL journaling for files. Throws DBError or FileError.
    explicit SQLiteDB(std::string path);

    // How a connection may touch its file.
    enum class Access { readWrite, readOnly };
    // With Access::readOnly: opens an existing file read-only (full mutex, 4000 ms busy
    // timeout) and creates, changes and configures nothing, so no fault in the caller
    // can write to it; every write statement fails with DBError. Throws DBError when
    // the file does not exist or cannot be opened. Access::readWrite is the constructor
    // above.
    SQLiteDB(std::string path, Access access);
    ~SQLiteDB();
    SQLiteDB(SQLiteDB&&) noexcept;
    SQLiteDB& operator=(SQLiteDB&&) noexcept;
    SQLiteDB(const SQLiteDB&) = delete;
    SQLiteDB& operator=(const SQLiteDB&) = delete;

    const std::string& path() const { return path_; }

    // Runs a script of one or more statements, without parameters or results.
    void exec(const std::string& sql);

    // Runs the first statement of `sql` with `params` bound at positions 1, 2, ...;
    // returns the connection's change count after it.
    int64_t run(const std::string& sql, const Params& params = {});
    template <class... A>
    requires(sizeof...(A) > 0 && !(sizeof...(A) == 1 && (std::is_same_v<std::decay_t<A>, Params> && ...))) int64_t
        run(const std::string& sql, A&&... args) {
        return run(sql, Params{Value(std::forward<A>(args))...});
    }

    // All rows of the first statement of `sql`, in SQLite's order.
    std::vector<Row> query(const std::string& sql, const Params& params = {});
    template <class... A>
    requires(sizeof...(A) > 0 && !(sizeof...(A) == 1 && (std::is_same_v<std::decay_t<A>, Params> &&
                                                         ...))) std::vector<Row> query(const std::string& sql,
                                                                                       A&&... args) {
        return query(sql, Params{Value(std::forward<A>(args))...});
    }

    // The first row, or nothing.
    std::optional<Row> one(const std::string& sql, const Params& params = {});
    template <class... A>
    requires(sizeof...(A) > 0 && !(sizeof...(A) == 1 && (std::is_same_v<std::decay_t<A>, Params> &&
                                                         ...))) std::optional<Row> one(const std::string& sql,
                                                                                       A&&... args) {
        return one(sql, Params{Value(std::forward<A>(args))...});
    }

    int64_t lastInsertID() const;

    // "BEGIN IMMEDIATE", body, "COMMIT". When the body or the commit throws, rolls back
    // (ignoring a failing rollback) and rethrows the original error. Does not nest.
    template <class Body> auto transaction(Body&& body) -> std::invoke_result_t<Body&> {
        exec("BEGIN IMMEDIATE");
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
                body();
                exec("COMMIT");
            } else {
                auto result = body();
                exec("COMMIT");
                return result;
            }
        } catch (...) {
            rollbackQuietly();
            throw;
        }
    }

    // Writes a consistent copy of the database file as last committed to a new file at
    // `path` (replacing one there), 0600 from its creation, in rollback-journal mode so
    // it is one file. The copy is taken in one read transaction: it is the state of one
    // moment, whatever other processes write meanwhile. Files only.
    void backupTo(const std::string& path);

    // Replaces this database's whole content with that of the database file at `path`
    // (opened read-only) in one write transaction through SQLite's online backup, so
    // other connections see the old content or the new, never a mix. Waits for the
    // write lock (the busy timeout, then a few seconds more). Needs no transaction open
    // on this connection and equal page sizes. Throws DBError; a failure changes nothing.
    void restoreFrom(const std::string& path);

    // The rows of `sql` run on the database file at `path`, opened read-only: never
    // created or changed. Throws DBError, for example for a file that is no database.
    static std::vector<Row> queryFile(const std::string& path, const std::string& sql);

    // The SQLite library version in use ("3.53.2").
    static std::string libraryVersion();

private:
    // Takes ownership of an open connection.
    SQLiteDB(std::string path, sqlite3* handle);

    struct Close {
        void operator()(sqlite3* db) const noexcept;
    };
    class StatementCache;
    class Lease;
    void rollbackQuietly() noexcept;
    // A prepared statement for `sql` with `params` bound, from the cache when it holds
    // one; it goes back to the cache when the lease ends.
    Lease prepare(const std::string& sql, const Params& params);

    std::string path_;
    std::unique_ptr<sqlite3, Close> handle_;
    std::unique_ptr<StatementCache> cache_; // after handle_: its statements are finalized first
};

} // namespace brell
