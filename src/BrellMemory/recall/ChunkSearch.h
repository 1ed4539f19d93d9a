#pragma once
// ChunkSearch: the statements behind the memory search, that is which chunk rows a
// query reads and in what order. MemoryStore::searchChunks scores and sorts what these
// return; nothing here looks at the words themselves beyond quoting them.
//
// Rows are chunk rows joined with their source (the columns of ChunkRecord::selectHead)
// and a `rank` column where the full-text index ranked them. Muted sources and
// unavailable chunks are never returned.
//
// The functions borrow `db` for the call only; thread-safety is the connection's.
// Database failures throw SQLiteDB::DBError.
#include <cstdint>
#include <string>
#include <vector>

#include "BrellMemory/db/SQLiteDB.h"

namespace brell::ChunkSearch {

// Pattern search looks for at most this many terms.
inline constexpr std::size_t maxPatterns = 8;

// The full-text match expression: each term as a quoted phrase (a double quote inside
// a term doubled), joined with " OR ".
std::string matchExpression(const std::vector<std::string>& terms);

// The `count` best chunks for `match` by bm25 rank, lower first, equal ranks by chunk
// id, each with its `rank`. These are exactly the rows, in the same order, of the chunk
// selection joined to the index and filtered before ranking (whose index scan meets
// the matches in id order), but found faster: the index ranks alone first, keeping a
// short top list, and only those rows are looked up in chunk and source. When muted or
// unavailable chunks crowd the top list, a wider one is ranked, and at last the join
// itself is filtered before ranking.
std::vector<SQLiteDB::Row> ranked(SQLiteDB& db, const std::string& match, int64_t count);

// At most `count` chunks whose text contains one of the first maxPatterns terms (LIKE:
// case-insensitive for ASCII letters only), in the database's order, without rank.
// Terms are bound as parameters; those of QueryTerms are letters and digits, so none
// holds a LIKE wildcard.
std::vector<SQLiteDB::Row> containing(SQLiteDB& db, const std::vector<std::string>& terms, int64_t count);

} // namespace brell::ChunkSearch
