// Memory search on a large memory: MemoryStore::searchChunks next to the bare full-text
// ranking statement it cannot beat, for one-, two- and five-word queries from three
// frequency bands; the chunk selection joined to the index before ranking, for
// comparison; and the pattern search used without the index, on the same file.
//
// Usage: bench_search [--quick]   (--quick: fewer queries per cell)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/ChunkSearch.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "support/MemoryGenerator.h"
#include "support/Stopwatch.h"

namespace brell::bench {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* bareRanking = "SELECT rowid, rank FROM chunk_fts WHERE chunk_fts MATCH ? ORDER BY rank LIMIT ?";

// The chunk selection joined to the index and filtered before it is ranked.
constexpr const char* joinedRanking =
    "SELECT c.*, bm25(chunk_fts) AS rank, s.key AS s_key, s.kind AS s_kind, s.title AS s_title, "
    "s.url AS s_url, s.origin AS s_origin\n"
    "FROM chunk c JOIN source s ON s.id = c.source_id JOIN chunk_fts ON chunk_fts.rowid = c.id\n"
    "WHERE chunk_fts MATCH ? AND c.available = 1 AND s.muted = 0\n"
    "ORDER BY rank LIMIT ?";

struct Band {
    const char* name;
    std::size_t from; // content-word ranks [from, to)
    std::size_t to;
};

const Band bands[] = {{"common", 0, 30}, {"middle", 300, 1000}, {"rare", 20000, 50000}};
const int sizes[] = {1, 2, 5};

// Deterministic queries of `size` distinct words from a band.
std::vector<std::string> queriesFor(const std::vector<std::string>& words, const Band& band, int size, int count,
                                    uint64_t seed) {
    std::vector<std::string> queries;
    uint64_t x = seed;
    auto next = [&] {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return x >> 33;
    };
    for (int q = 0; q < count; ++q) {
        std::vector<std::size_t> picked;
        while (static_cast<int>(picked.size()) < size) {
            std::size_t rank = band.from + next() % (band.to - band.from);
            if (std::find(picked.begin(), picked.end(), rank) == picked.end()) {
                picked.push_back(rank);
            }
        }
        std::string query;
        for (auto rank : picked) {
            query += (query.empty() ? "" : " ") + words[rank];
        }
        queries.push_back(query);
    }
    return queries;
}

std::vector<int64_t> idsOf(const std::vector<SQLiteDB::Row>& rows, const char* column) {
    std::vector<int64_t> ids;
    for (const auto& row : rows) {
        ids.push_back(row.integer(column));
    }
    return ids;
}

int run(bool quick) {
    MemoryGenerator generator;
    std::string path = generator.ensure();
    MemoryStore store(path);
    std::vector<std::string> words = generator.contentWords();
    const int64_t limit = store.config.searchChunkLimit;
    const int64_t fetch = 2 * limit;

    // Bring the file into the page cache before anything is timed.
    store.db.query("SELECT count(*) AS n FROM chunk WHERE length(text) > 0");
    store.db.query("SELECT count(*) AS n FROM chunk_fts_data WHERE length(block) > 0");

    auto chunks = store.db.one("SELECT count(*) AS n FROM chunk")->integer("n");
    auto sources = store.db.one("SELECT count(*) AS n FROM source")->integer("n");
    std::printf("Memory: %s\n  %lld chunks over %lld sources; searchChunks limit %lld, so every statement is "
                "asked for %lld rows\n\n",
                path.c_str(), static_cast<long long>(chunks), static_cast<long long>(sources),
                static_cast<long long>(limit), static_cast<long long>(fetch));

    std::printf("%-7s %5s %9s | %9s %9s | %9s %9s | %7s %7s | %9s %7s | %s\n", "band", "words", "matches", "bare p50",
                "p95", "search50", "p95", "ratio50", "ratio95", "joined50", "j/bare", "rows equal");
    std::printf("%s\n", std::string(122, '-').c_str());

    bool allEqual = true;
    double worstRatio = 0;
    uint64_t seed = 1;
    for (const Band& band : bands) {
        for (int size : sizes) {
            bool common = std::strcmp(band.name, "common") == 0;
            int queryCount = quick ? 5 : (common ? 12 : 30);
            int repeats = quick ? 1 : (common ? 2 : 4);
            auto queries = queriesFor(words, band, size, queryCount, seed++);
            std::vector<std::string> matchOf;
            std::vector<double> matches;
            int equal = 0;
            for (const auto& query : queries) {
                std::string match = ChunkSearch::matchExpression(QueryTerms::terms(query).expanded);
                matchOf.push_back(match);
                matches.push_back(static_cast<double>(
                    store.db.one("SELECT count(*) AS n FROM chunk_fts WHERE chunk_fts MATCH ?", {Value(match)})
                        ->integer("n")));
                // The rows searchChunks reads must be the joined selection's, in its order.
                auto mine = idsOf(ChunkSearch::ranked(store.db, match, fetch), "id");
                auto theirs = idsOf(store.db.query(joinedRanking, {Value(match), Value(fetch)}), "id");
                equal += mine == theirs ? 1 : 0;
            }
            // Each form runs over all the cell's queries in turn, the order of the forms
            // turning from pass to pass, so that each meets the caches the others left.
            std::vector<std::function<void(std::size_t)>> forms = {
                [&](std::size_t q) {
                    store.db.query(bareRanking, {Value(matchOf[q]), Value(fetch)});
                },
                [&](std::size_t q) { store.searchChunks(queries[q]); },
                [&](std::size_t q) {
                    store.db.query(joinedRanking, {Value(matchOf[q]), Value(fetch)});
                },
            };
            std::vector<std::vector<double>> times(forms.size());
            for (int pass = 0; pass <= repeats; ++pass) {
                for (std::size_t k = 0; k < forms.size(); ++k) {
                    std::size_t form = (k + static_cast<std::size_t>(pass)) % forms.size();
                    for (std::size_t q = 0; q < queries.size(); ++q) {
                        double ms = millisecondsOf([&] { forms[form](q); });
                        if (pass > 0) { // the first pass only warms up
                            times[form].push_back(ms);
                        }
                    }
                }
            }
            const auto& bare = times[0];
            const auto& search = times[1];
            const auto& joined = times[2];
            allEqual = allEqual && equal == static_cast<int>(queries.size());
            double bare50 = percentile(bare, 0.5);
            double bare95 = percentile(bare, 0.95);
            double search50 = percentile(search, 0.5);
            double search95 = percentile(search, 0.95);
            double joined50 = percentile(joined, 0.5);
            worstRatio = std::max(worstRatio, search50 / bare50);
            std::printf("%-7s %5d %9.0f | %9.3f %9.3f | %9.3f %9.3f | %7.2f %7.2f | %9.3f %7.2f | %d/%zu\n", band.name,
                        size, percentile(matches, 0.5), bare50, bare95, search50, search95, search50 / bare50,
                        search95 / bare95, joined50, joined50 / bare50, equal, queries.size());
            std::fflush(stdout);
        }
    }
    std::printf("\nTimes in ms; matches = median number of chunks matching the query. bare = the full-text ranking "
                "statement alone; search = MemoryStore::searchChunks (terms, rows, scoring, excerpts); joined = "
                "the chunk selection joined to the index before ranking. ratio = search / bare.\n");
    std::printf("Worst p50 ratio: %.2f (goal: at most 1.5 in every band). Rows identical to the joined "
                "selection for every query: %s\n\n",
                worstRatio, allEqual ? "yes" : "NO");

    // Without the index: the same queries by substring patterns, on the same file. The
    // setting is changed inside a savepoint and rolled back, so the file stays as it was.
    std::printf("Pattern search (meta fts5 not '1'), same memory:\n");
    std::printf("%-7s %5s | %9s %9s | %s\n", "band", "words", "p50", "p95", "hits");
    store.db.exec("SAVEPOINT patterns");
    store.db.run("UPDATE meta SET value = '0' WHERE key = 'fts5'");
    seed = 1000;
    for (const Band& band : bands) {
        for (int size : sizes) {
            auto queries = queriesFor(words, band, size, quick ? 2 : 5, seed++);
            std::vector<double> times;
            std::size_t hits = 0;
            for (const auto& query : queries) {
                times.push_back(millisecondsOf([&] { hits += store.searchChunks(query).size(); }));
            }
            std::printf("%-7s %5d | %9.1f %9.1f | %.1f per query\n", band.name, size, percentile(times, 0.5),
                        percentile(times, 0.95), static_cast<double>(hits) / static_cast<double>(queries.size()));
            std::fflush(stdout);
        }
    }
    store.db.exec("ROLLBACK TO patterns");
    store.db.exec("RELEASE patterns");
    return allEqual ? 0 : 1;
}

} // namespace
} // namespace brell::bench

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    try {
        return brell::bench::run(quick);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_search: %s\n", e.what());
        return 1;
    }
}
