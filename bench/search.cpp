// Memory search on a large memory: MemoryStore::searchChunks next to the bare full-text
// ranking statement it cannot beat, for one-, two- and five-word queries from three
// frequency bands; the chunk selection joined to the index before ranking, for
// comparison; and the pattern search used without the index, on the same file.
//
// Both memories are measured: the 200,000-chunk one and one of a million chunks, then
// how each figure grows from one to the other, and the peak resident memory of a
// process that only opens a memory and searches it.
//
// Usage: bench_search [--quick] [--only 200k|1M] [--band common|middle|rare] [--build-only]
//   --quick: fewer queries per cell; --only: one memory; --band: one band (the pattern
//   search is left out); --build-only: build the cached memories and stop.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/ChunkSearch.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "support/HostProcess.h"
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

// The memories measured: the usual one, and one five times larger with five times the
// sources (the same words, the same mix of videos and articles).
struct Memory {
    const char* name;
    MemoryShape shape;
};
const Memory memories[] = {{"200k", MemoryShape::usual()}, {"1M", MemoryShape::large()}};

struct Cell {
    double bare50 = 0;
    double search50 = 0;
};

double megabytes(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

// The peak resident memory of this process so far, in bytes.
double peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
#ifdef __APPLE__
    return static_cast<double>(usage.ru_maxrss); // bytes there
#else
    return static_cast<double>(usage.ru_maxrss) * 1024.0; // kilobytes here
#endif
}

// The queries of every cell, as the search process of the memory probe runs them.
std::vector<std::string> probeQueries(const std::vector<std::string>& words) {
    std::vector<std::string> all;
    uint64_t seed = 500;
    for (const Band& band : bands) {
        for (int size : sizes) {
            for (auto& q : queriesFor(words, band, size, 4, seed++)) {
                all.push_back(std::move(q));
            }
        }
    }
    return all;
}

// Child mode: open the memory, search every query, print the peak resident memory.
int probe(const std::string& path) {
    MemoryGenerator generator;
    MemoryStore store(path);
    std::size_t hits = 0;
    for (const auto& query : probeQueries(generator.contentWords())) {
        hits += store.searchChunks(query).size();
    }
    std::printf("%.0f %zu\n", peakResidentBytes(), hits);
    return 0;
}

// Runs the probe as a process of its own on `path`; its peak resident memory in bytes.
double searchProcessPeak(const std::string& path) {
    test::ProcessOptions options;
    options.args = {"--probe", path};
    options.timeout = std::chrono::minutes(10);
    auto result = test::run(binary("bench_search"), options);
    if (result.exitStatus != 0) {
        throw std::runtime_error("the search probe failed: " + result.err);
    }
    return std::strtod(result.out.c_str(), nullptr);
}

struct Options {
    bool quick = false;
    bool buildOnly = false;
    std::string only; // a memory's name
    std::string band; // a band's name
};

std::map<std::pair<std::size_t, int>, Cell> measure(const Memory& memory, const Options& options, double& worstRatio,
                                                    bool& allEqual) {
    MemoryGenerator generator(memory.shape);
    std::string path = generator.ensure();
    MemoryStore store(path);
    std::vector<std::string> words = generator.contentWords();
    const int64_t limit = store.config.searchChunkLimit;
    const int64_t fetch = 2 * limit;
    const bool large = memory.shape.chunks > 500000;

    // Bring the file into the page cache before anything is timed.
    store.db.query("SELECT count(*) AS n FROM chunk WHERE length(text) > 0");
    store.db.query("SELECT count(*) AS n FROM chunk_fts_data WHERE length(block) > 0");

    auto chunks = store.db.one("SELECT count(*) AS n FROM chunk")->integer("n");
    auto sources = store.db.one("SELECT count(*) AS n FROM source")->integer("n");
    double textBytes = store.db.one("SELECT sum(length(text)) AS n FROM chunk")->real("n");
    double indexBytes = store.db
                            .one("SELECT (SELECT sum(length(block)) FROM chunk_fts_data) + (SELECT count(*) * 16 FROM "
                                 "chunk_fts_idx) AS n")
                            ->real("n");
    double fileBytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("Memory %s: %s\n  %lld chunks over %lld sources; file %.0f MB, of which chunk text %.0f MB and "
                "the full-text index %.0f MB; searchChunks limit %lld, so every statement is asked for %lld rows\n\n",
                memory.name, path.c_str(), static_cast<long long>(chunks), static_cast<long long>(sources),
                megabytes(fileBytes), megabytes(textBytes), megabytes(indexBytes), static_cast<long long>(limit),
                static_cast<long long>(fetch));

    std::printf("%-7s %5s %9s | %9s %9s | %9s %9s | %7s %7s | %9s %7s | %s\n", "band", "words", "matches", "bare p50",
                "p95", "search50", "p95", "ratio50", "ratio95", "joined50", "j/bare", "rows equal");
    std::printf("%s\n", std::string(122, '-').c_str());

    std::map<std::pair<std::size_t, int>, Cell> cells;
    uint64_t seed = 1;
    for (std::size_t b = 0; b < std::size(bands); ++b) {
        const Band& band = bands[b];
        if (!options.band.empty() && options.band != band.name) {
            seed += std::size(sizes);
            continue;
        }
        for (int size : sizes) {
            bool common = std::strcmp(band.name, "common") == 0;
            int queryCount = options.quick ? 5 : (common ? (large ? 8 : 12) : 30);
            int repeats = options.quick ? 1 : (common ? (large ? 1 : 2) : 4);
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
            cells[{b, size}] = Cell{bare50, search50};
            std::printf("%-7s %5d %9.0f | %9.3f %9.3f | %9.3f %9.3f | %7.2f %7.2f | %9.3f %7.2f | %d/%zu\n", band.name,
                        size, percentile(matches, 0.5), bare50, bare95, search50, search95, search50 / bare50,
                        search95 / bare95, joined50, joined50 / bare50, equal, queries.size());
            std::fflush(stdout);
        }
    }
    std::printf("\n");

    // The pattern search reads the whole table for a rare word: shown for the smaller
    // memory only.
    if (!large && options.band.empty()) {
        // Without the index: the same queries by substring patterns, on the same file. The
        // setting is changed inside a savepoint and rolled back, so the file stays as it was.
        std::printf("Pattern search (meta fts5 not '1'), memory %s:\n", memory.name);
        std::printf("%-7s %5s | %9s %9s | %s\n", "band", "words", "p50", "p95", "hits");
        store.db.exec("SAVEPOINT patterns");
        store.db.run("UPDATE meta SET value = '0' WHERE key = 'fts5'");
        seed = 1000;
        for (const Band& band : bands) {
            for (int size : sizes) {
                auto queries = queriesFor(words, band, size, options.quick ? 2 : 5, seed++);
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
        std::printf("\n");
    }
    return cells;
}

int run(const Options& options) {
    if (options.buildOnly) {
        for (const Memory& memory : memories) {
            std::printf("%s: %s\n", memory.name, MemoryGenerator(memory.shape).ensure().c_str());
        }
        return 0;
    }
    bool allEqual = true;
    double worstRatio = 0;
    std::vector<std::map<std::pair<std::size_t, int>, Cell>> results;
    for (const Memory& memory : memories) {
        if (options.only.empty() || options.only == memory.name) {
            results.push_back(measure(memory, options, worstRatio, allEqual));
        }
    }
    std::printf("Times in ms; matches = median number of chunks matching the query. bare = the full-text ranking "
                "statement alone (the floor); search = MemoryStore::searchChunks (terms, rows, scoring, excerpts); "
                "joined = the chunk selection joined to the index before ranking. ratio = search / bare.\n");
    std::printf("Worst p50 ratio: %.2f (goal: at most 1.5 in every band). Rows identical to the joined selection "
                "for every query: %s\n\n",
                worstRatio, allEqual ? "yes" : "NO");
    if (results.size() < std::size(memories)) {
        return allEqual ? 0 : 1;
    }

    // Growth from the smaller memory to the larger: searchChunks should grow no faster
    // than the statement it cannot beat.
    std::printf("Growth from %s to %s chunks (p50 at %s / p50 at %s):\n", memories[0].name, memories[1].name,
                memories[1].name, memories[0].name);
    std::printf("%-7s %5s | %11s %11s | %s\n", "band", "words", "bare grows", "search grows", "search/bare growth");
    double worstGrowth = 0;
    for (std::size_t b = 0; b < std::size(bands); ++b) {
        for (int size : sizes) {
            if (!results[0].contains({b, size}) || !results[1].contains({b, size})) {
                continue;
            }
            const Cell& small = results[0][{b, size}];
            const Cell& large = results[1][{b, size}];
            double bareGrowth = large.bare50 / small.bare50;
            double searchGrowth = large.search50 / small.search50;
            worstGrowth = std::max(worstGrowth, searchGrowth / bareGrowth);
            std::printf("%-7s %5d | %11.2f %11.2f | %.2f\n", bands[b].name, size, bareGrowth, searchGrowth,
                        searchGrowth / bareGrowth);
        }
    }
    std::printf("Worst search/bare growth: %.2f (goal: at most 1.0, search growing no faster than the bare "
                "statement)\n\n",
                worstGrowth);

    if (!options.band.empty()) {
        return allEqual ? 0 : 1;
    }
    std::printf("Peak resident memory of a search process (opens the memory, runs %zu queries of every band):\n",
                probeQueries(MemoryGenerator().contentWords()).size());
    for (const Memory& memory : memories) {
        double peak = searchProcessPeak(MemoryGenerator(memory.shape).cachedPath());
        std::printf("  %-5s %8.1f MB   (goal: under 64 MB)\n", memory.name, megabytes(peak));
    }
    return allEqual ? 0 : 1;
}

} // namespace
} // namespace brell::bench

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "--probe") {
            return brell::bench::probe(args[1]);
        }
        auto has = [&](const char* flag) { return std::find(args.begin(), args.end(), flag) != args.end(); };
        auto valueOf = [&](const char* flag) {
            auto at = std::find(args.begin(), args.end(), flag);
            return at != args.end() && at + 1 != args.end() ? *(at + 1) : std::string();
        };
        brell::bench::Options options;
        options.quick = has("--quick");
        options.buildOnly = has("--build-only");
        options.only = valueOf("--only");
        options.band = valueOf("--band");
        return brell::bench::run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_search: %s\n", e.what());
        return 1;
    }
}
