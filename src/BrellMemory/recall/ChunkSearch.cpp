#include "BrellMemory/recall/ChunkSearch.h"

#include <algorithm>

#include "BrellMemory/store/ChunkRecord.h"

namespace brell::ChunkSearch {
namespace {

using Value = SQLiteDB::Value;

// The index ranks its best `window` rows alone (bm25 is computed once per match and a
// short top list kept); only those are looked up in chunk and source. A row whose chunk
// is unavailable or whose source is muted comes back with a null s_id, so the caller
// can tell a window that ran out of matches from one that was filtered.
constexpr const char* rankFirst =
    "SELECT f.id AS f_id, f.score AS rank, s.id AS s_id, c.*, s.key AS s_key, s.kind AS s_kind, "
    "s.title AS s_title, s.url AS s_url, s.origin AS s_origin\n"
    "FROM (SELECT rowid AS id, bm25(chunk_fts) AS score FROM chunk_fts WHERE chunk_fts MATCH ? "
    "ORDER BY score, rowid LIMIT ?) f\n"
    "LEFT JOIN chunk c ON c.id = f.id AND c.available = 1\n"
    "LEFT JOIN source s ON s.id = c.source_id AND s.muted = 0\n"
    "ORDER BY f.score, f.id";

// Filters every match before ranking: slower, but needs no window.
const std::string& joinFirst() {
    static const std::string sql = [] {
        std::string head = ChunkRecord::selectHead;
        head.replace(0, std::string_view("SELECT c.*").size(), "SELECT c.*, bm25(chunk_fts) AS rank");
        return head + " JOIN chunk_fts ON chunk_fts.rowid = c.id\n"
                      "WHERE chunk_fts MATCH ? AND c.available = 1 AND s.muted = 0\n"
                      "ORDER BY rank, c.id LIMIT ?";
    }();
    return sql;
}

// The first window holds a few rows more than asked for, so that a muted source or an
// unavailable chunk among the best rows seldom costs a second ranking; the second is
// this many times wider.
int64_t firstWindow(int64_t count) {
    int64_t margin = std::max<int64_t>(8, count / 8);
    return count > INT64_MAX - margin ? INT64_MAX : count + margin;
}
constexpr int64_t widening = 8;

int64_t saturatingTimes(int64_t a, int64_t b) {
    return a > INT64_MAX / b ? INT64_MAX : a * b;
}

} // namespace

std::string matchExpression(const std::vector<std::string>& terms) {
    std::string out;
    for (const auto& term : terms) {
        if (!out.empty()) {
            out += " OR ";
        }
        out += '"';
        for (char c : term) {
            out += c;
            if (c == '"') {
                out += '"';
            }
        }
        out += '"';
    }
    return out;
}

std::vector<SQLiteDB::Row> ranked(SQLiteDB& db, const std::string& match, int64_t count) {
    if (count <= 0) {
        return {};
    }
    int64_t window = firstWindow(count);
    for (int round = 0; round < 2; ++round) {
        std::vector<SQLiteDB::Row> rows = db.query(rankFirst, {Value(match), Value(window)});
        auto total = static_cast<int64_t>(rows.size());
        std::erase_if(rows, [](const SQLiteDB::Row& row) { return row["s_id"].isNull(); });
        if (static_cast<int64_t>(rows.size()) >= count || total < window) {
            if (static_cast<int64_t>(rows.size()) > count) {
                rows.resize(static_cast<std::size_t>(count));
            }
            return rows;
        }
        window = saturatingTimes(window, widening);
    }
    return db.query(joinFirst(), {Value(match), Value(count)});
}

std::vector<SQLiteDB::Row> containing(SQLiteDB& db, const std::vector<std::string>& terms, int64_t count) {
    std::size_t n = std::min(terms.size(), maxPatterns);
    if (n == 0 || count <= 0) {
        return {};
    }
    std::string sql = std::string(ChunkRecord::selectHead) + " WHERE (";
    SQLiteDB::Params params;
    for (std::size_t i = 0; i < n; ++i) {
        sql += i == 0 ? "c.text LIKE ?" : " OR c.text LIKE ?";
        params.emplace_back("%" + terms[i] + "%");
    }
    sql += ") AND c.available = 1 AND s.muted = 0 LIMIT ?";
    params.emplace_back(count);
    return db.query(sql, params);
}

} // namespace brell::ChunkSearch
