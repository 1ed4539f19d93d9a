#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/ChunkSearch.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// The selection written directly: every match joined to its chunk and source, filtered,
// then ranked. ChunkSearch::ranked must return exactly its rows in its order.
std::vector<SQLiteDB::Row> joinedThenRanked(SQLiteDB& db, const std::string& match, int64_t count) {
    return db.query("SELECT c.*, bm25(chunk_fts) AS rank, s.key AS s_key, s.kind AS s_kind, s.title AS s_title, "
                    "s.url AS s_url, s.origin AS s_origin\n"
                    "FROM chunk c JOIN source s ON s.id = c.source_id"
                    " JOIN chunk_fts ON chunk_fts.rowid = c.id\n"
                    "WHERE chunk_fts MATCH ? AND c.available = 1 AND s.muted = 0\n"
                    "ORDER BY rank LIMIT ?",
                    {Value(match), Value(count)});
}

// Sources are written round-robin, so chunk ids and source order disagree; the
// best-ranked chunks (the shortest) sit in muted sources or are unavailable, and
// most texts repeat, so ranks tie.
class ChunkSearchTest : public ::testing::Test {
protected:
    MemoryStore store{":memory:"};

    void SetUp() override {
        for (int s = 1; s <= 6; ++s) {
            store.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen, muted) "
                         "VALUES (?, ?, 'video', 'https://www.youtube.com/watch?v=x', 'T', 'https://www.youtube.com', "
                         "1, 1, ?)",
                         {Value(s), Value("youtube:" + std::to_string(s)), Value(s == 2 || s == 5)});
        }
        const char* texts[] = {"alpha", "alpha beta", "alpha beta gamma", "beta gamma delta epsilon", "gamma"};
        int n = 0;
        for (int round = 0; round < 12; ++round) {
            for (int s = 1; s <= 6; ++s) {
                for (const char* text : texts) {
                    ++n;
                    bool shortest = std::string(text) == "alpha";
                    // The shortest texts of the visible sources are all unavailable.
                    bool available = !shortest || s == 2 || s == 5;
                    store.db.run("INSERT INTO chunk(source_id, kind, text, locator, retrieved_at, content_hash, "
                                 "available) VALUES (?, 'transcript', ?, ?, 1, ?, ?)",
                                 {Value(s), Value(text), Value("t=" + std::to_string(n)),
                                  Value("h" + std::to_string(n)), Value(available)});
                }
            }
        }
    }
};

TEST_F(ChunkSearchTest, RankingFirstReturnsTheRowsOfTheJoin) {
    struct Case {
        const char* name;
        std::vector<std::string> terms;
        std::vector<int64_t> counts;
    } cases[] = {
        // 72 best rows hidden: the first and the widened window are not enough for small
        // counts, so the join decides; larger counts are served by a window.
        {"best ranks hidden", {"alpha"}, {1, 2, 6, 10, 60, 200}},
        {"several terms", {"alpha", "delta"}, {1, 3, 8, 50, 400}},
        {"nothing hidden", {"epsilon"}, {1, 5, 12, 13, 100}},
        {"a term in no chunk", {"omega"}, {1, 10}},
    };
    for (const auto& c : cases) {
        std::string match = ChunkSearch::matchExpression(c.terms);
        for (int64_t count : c.counts) {
            SCOPED_TRACE(std::string(c.name) + ", count " + std::to_string(count));
            auto expected = joinedThenRanked(store.db, match, count);
            auto actual = ChunkSearch::ranked(store.db, match, count);
            ASSERT_EQ(actual.size(), expected.size());
            for (std::size_t i = 0; i < actual.size(); ++i) {
                ASSERT_EQ(actual[i].integer("id"), expected[i].integer("id")) << "row " << i;
                EXPECT_EQ(actual[i].real("rank"), expected[i].real("rank"));
                EXPECT_EQ(MemoryStore::chunkFrom(actual[i]), MemoryStore::chunkFrom(expected[i]));
            }
        }
    }
}

TEST_F(ChunkSearchTest, MatchExpressionQuotesEveryTerm) {
    EXPECT_EQ(ChunkSearch::matchExpression({"alpha", "6e"}), "\"alpha\" OR \"6e\"");
    EXPECT_EQ(ChunkSearch::matchExpression({"say \"hi\""}), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(ChunkSearch::matchExpression({}), "");
    // A quoted operator is a plain word to the index.
    EXPECT_TRUE(ChunkSearch::ranked(store.db, ChunkSearch::matchExpression({"NEAR", "OR"}), 5).empty());
}

TEST_F(ChunkSearchTest, PatternsReadTheFirstEightTerms) {
    std::vector<std::string> terms = {"t1", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "gamma"};
    EXPECT_TRUE(ChunkSearch::containing(store.db, terms, 10).empty());
    terms[7] = "gamma";
    auto rows = ChunkSearch::containing(store.db, terms, 10);
    EXPECT_EQ(rows.size(), 10u);
    for (const auto& row : rows) {
        EXPECT_NE(row.text("text").find("gamma"), std::string::npos);
        EXPECT_TRUE(row["rank"].isNull());
    }
}

} // namespace
} // namespace brell
