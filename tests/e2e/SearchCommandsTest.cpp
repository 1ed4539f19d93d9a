// The brell application's search and ask commands, run as a user would, over a memory
// written directly as rows.
#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

// A watched talk about pricing, an article on plans, and a muted video that would match
// best of all.
class SearchCommandsTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");
    // 138 characters; the 120th falls inside "included".
    std::string articleText = "Our pricing has three tiers and a free plan for students, teachers and "
                              "anyone who asks nicely; support is always included with every plan.";

    void SetUp() override {
        MemoryStore store(db);
        // The rows below are dated 1970: mark today's retention purge done, so that brell
        // does not forget them before the test reads them.
        store.purgeExpired();
        store.db.exec(
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen, muted) VALUES "
            "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Pricing talk', "
            "'https://www.youtube.com', 1, 1, 0),"
            "(2, 'article:https://example.com/plans', 'article', 'https://example.com/plans', 'Plans explained', "
            "'https://example.com', 1, 1, 0),"
            "(3, 'youtube:zzzzzzzzzzz', 'video', 'https://www.youtube.com/watch?v=zzzzzzzzzzz', 'Muted talk', "
            "'https://www.youtube.com', 1, 1, 1);"
            "INSERT INTO session(id, source_id, active_wall_ms, played_wall_ms, started_at, last_seen) VALUES "
            "('s1', 1, 60000, 60000, 1, 2);"
            "INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'range', 720000, 760000);"
            "INSERT INTO chunk(id, source_id, kind, text, heading, locator, start_ms, end_ms, cues, retrieved_at, "
            "content_hash) VALUES "
            "(10, 1, 'transcript', 'welcome everyone. today pricing tiers matter.\nthanks for coming.', NULL, "
            "'t=700', 700000, 760000, '[[0,700000],[18,724000],[47,750000]]', 1, 'a'),"
            "(11, 1, 'transcript', 'more on pricing later', NULL, 't=800', 800000, 810000, '[[0,800000]]', 1, 'b'),"
            "(20, 2, 'article', 'x', 'Plans', 'p1', NULL, NULL, NULL, 1, 'c'),"
            "(30, 3, 'transcript', 'pricing tiers', NULL, 't=0', 0, 5000, '[[0,0]]', 1, 'd');");
        store.db.run("UPDATE chunk SET text = ? WHERE id = 20", {SQLiteDB::Value(articleText)});
    }

    test::ProcessResult brell(std::vector<std::string> args) {
        return test::brell(std::move(args),
                           {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}, {"HOME", tmp.path()}});
    }

    std::string ok(std::vector<std::string> args) {
        auto r = brell(std::move(args));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    // The article link jumps to the first 120 characters cut back to a whole word.
    const std::string articleLink =
        "https://example.com/plans#:~:text=Our%20pricing%20has%20three,nicely%3B%20support%20is%20always";
};

TEST_F(SearchCommandsTest, SearchShowsTitlePlaceExcerptAndLink) {
    EXPECT_EQ(ok({"search", "pricing", "tiers"}),
              "1. Pricing talk (Transcript 12:04)\n"
              "   welcome everyone. today pricing tiers matter. thanks for coming.\n"
              "   https://www.youtube.com/watch?v=abcdefghijk#t=724s\n"
              "2. Plans explained (Article, section \u201cPlans\u201d)\n"
              "   " +
                  articleText +
                  "\n"
                  "   " +
                  articleLink +
                  "\n"
                  "3. Pricing talk (Transcript 13:20)\n"
                  "   more on pricing later\n"
                  "   https://www.youtube.com/watch?v=abcdefghijk#t=800s\n");
    EXPECT_EQ(ok({"search", "elephants"}), "Nothing in your memory matches \u201celephants\u201d.\n");
}

TEST_F(SearchCommandsTest, SearchAsJsonWithLimitAndKinds) {
    Json hits = Json::parse(ok({"search", "pricing", "--json", "--kind", "article", "--kind", "metadata"}));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0]["chunkID"], 20);
    EXPECT_EQ(hits[0]["sourceTitle"], "Plans explained");
    EXPECT_EQ(hits[0]["heading"], "Plans");
    EXPECT_EQ(hits[0]["cueMs"], nullptr);
    EXPECT_EQ(hits[0]["matched"], Json::array({"pricing"}));
    EXPECT_EQ(hits[0]["excerpt"], articleText);
    EXPECT_EQ(hits[0]["openURL"], articleLink);
    EXPECT_LT(hits[0]["rank"].get<double>(), 0);

    hits = Json::parse(ok({"search", "--limit", "1", "--json", "pricing", "tiers"}));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0]["chunkID"], 10);
    EXPECT_EQ(hits[0]["cueMs"], 724000);
    EXPECT_EQ(hits[0]["place"], "Transcript 12:04");
}

TEST_F(SearchCommandsTest, AskShowsOneMatchPerSource) {
    EXPECT_EQ(ok({"ask", "Where", "did", "they", "explain", "pricing", "tiers?"}),
              "1. Pricing talk\n"
              "   Matched \u201cpricing\u201d, \u201ctiers\u201d in the transcript at 12:04\n"
              "   Watched at this moment\n"
              "   https://www.youtube.com/watch?v=abcdefghijk#t=724s\n"
              "2. Plans explained\n"
              "   Matched \u201cpricing\u201d, \u201ctiers\u201d in the section \u201cPlans\u201d\n"
              "   Reading status unavailable\n"
              "   " +
                  articleLink + "\n");
    EXPECT_EQ(ok({"ask", "what was that?"}), "I don't have enough evidence in your memory yet.\n");

    Json answer = Json::parse(ok({"ask", "--json", "pricing elephants"}));
    EXPECT_EQ(answer["strength"], "weak");
    EXPECT_EQ(answer["headline"], "I found a few possible matches.");
    ASSERT_EQ(answer["matches"].size(), 2u);
    EXPECT_EQ(answer["matches"][0]["sourceID"], 1);
    EXPECT_EQ(answer["matches"][0]["hit"]["chunkID"], 11); // the shorter chunk ranks first
    EXPECT_EQ(answer["matches"][0]["exposure"], "Outside observed playback");
    EXPECT_EQ(answer["matches"][0]["exposureLabel"], "Outside watched intervals");
    EXPECT_EQ(answer["matches"][1]["sourceID"], 2);
    EXPECT_EQ(answer["matches"][1]["reason"], "Matched \u201cpricing\u201d in the section \u201cPlans\u201d");
}

TEST_F(SearchCommandsTest, UsageAndErrors) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exit;
        std::string err; // the whole of standard error, when given
    } cases[] = {
        {"search without words", {"search"}, 2, ""},
        {"ask without a question", {"ask"}, 2, ""},
        {"limit below one", {"search", "--limit", "0", "pricing"}, 2, ""},
        {"unknown kind", {"search", "--kind", "video", "pricing"}, 2, ""},
        {"nothing to search for",
         {"search", "the", "of", "a"},
         1,
         "brell: \u201cthe of a\u201d has nothing to search for: use at least one word of two or more letters that "
         "is not a common word like \u201cthe\u201d or \u201chow\u201d.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = brell(c.args);
        EXPECT_EQ(r.exitStatus, c.exit) << r.err;
        EXPECT_EQ(r.out, "");
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
    }
}

} // namespace
} // namespace brell
