#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// A video with one session and a transcript chunk [10 s, 30 s]; ranges are set per case.
class SourcesTest : public ::testing::Test {
protected:
    MemoryStore store{":memory:"};

    void SetUp() override {
        store.db.exec(
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
            "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Talk', "
            "'https://www.youtube.com', 1, 5),"
            "(2, 'article:https://example.com/a', 'article', 'https://example.com/a', 'Essay', 'https://example.com', "
            "1, 9),"
            "(3, 'youtube:zzzzzzzzzzz', 'video', 'https://www.youtube.com/watch?v=zzzzzzzzzzz', 'Muted', "
            "'https://www.youtube.com', 1, 7);"
            "UPDATE source SET muted = 1 WHERE id = 3;"
            "INSERT INTO session(id, source_id, active_wall_ms, played_wall_ms, started_at, last_seen) VALUES "
            "('s1', 1, 30000, 20000, 1, 5), ('s2', 1, 5000, 0, 2, 5);"
            "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, content_hash) "
            "VALUES (10, 1, 'transcript', 'first words later words', 't=10', 10000, 30000, '[[0,10000],[12,20000]]', "
            "1, 'h1'),"
            "(11, 1, 'metadata', 'Talk', 'title', NULL, NULL, NULL, 1, 'h2'),"
            "(12, 2, 'article', 'A section about tides.', 'p2', NULL, NULL, NULL, 1, 'h3');");
    }

    void ranges(const char* kind, std::vector<Range> rs) {
        store.db.run("DELETE FROM exposure WHERE kind = ?", {Value(kind)});
        for (auto r : rs) {
            store.db.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', ?, ?, ?)",
                         {Value(kind), Value(r.start), Value(r.end)});
        }
    }
};

TEST_F(SourcesTest, SourcesCarryTheirSessionTotals) {
    auto video = store.source(int64_t{1});
    ASSERT_TRUE(video);
    EXPECT_EQ(video->activeWallMs, 35000);
    EXPECT_EQ(video->playedWallMs, 20000);
    EXPECT_EQ(video->sessionCount, 2);
    EXPECT_EQ(video->videoID(), "abcdefghijk");
    EXPECT_EQ(store.source(std::string_view("article:https://example.com/a"))->sessionCount, 0);
    EXPECT_FALSE(store.source(std::string_view("article:none")));
    auto all = store.sources(std::nullopt, true);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].id, 2); // most recently seen first
    EXPECT_EQ(all[1].id, 3);
    EXPECT_EQ(store.sources(std::string("video"), false).size(), 1u);
}

TEST_F(SourcesTest, TranscriptExposureDecisions) {
    auto chunk = *store.chunk(10);
    struct Case {
        const char* name;
        std::vector<Range> watched;
        std::vector<Range> played;
        std::optional<int64_t> cue;
        ExposureLabel expected;
    } cases[] = {
        {"12 of 20 s watched", {{0, 12000}, {20000, 40000}}, {}, std::nullopt, ExposureLabel::playedWhileVisible},
        {"little watched, all played", {{25000, 28000}}, {{0, 60000}}, std::nullopt, ExposureLabel::playedInBackground},
        {"little watched, nothing played", {{25000, 28000}}, {}, std::nullopt, ExposureLabel::uncertain},
        {"nothing observed", {}, {}, std::nullopt, ExposureLabel::outsideObservedPlayback},
        {"cue span up to the next cue", {{10000, 16000}}, {}, int64_t{10000}, ExposureLabel::playedWhileVisible},
        {"last cue runs to the chunk end", {{20000, 24000}}, {}, int64_t{20000}, ExposureLabel::uncertain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ranges("range", c.watched);
        ranges("played", c.played);
        EXPECT_EQ(store.exposure(chunk, c.cue), c.expected);
    }
    // Beyond the last cue without an end: a one-second span from the cue.
    chunk.endMs.reset();
    ranges("range", {{40000, 40600}});
    EXPECT_EQ(store.exposure(chunk, 40000), ExposureLabel::playedWhileVisible);
    store.db.exec("DELETE FROM session");
    EXPECT_EQ(store.exposure(chunk, std::nullopt), ExposureLabel::uncertain);
    EXPECT_FALSE(store.exposure(*store.chunk(11), std::nullopt));
}

TEST_F(SourcesTest, ArticleExposureDependsOnAnchors) {
    auto chunk = *store.chunk(12);
    EXPECT_EQ(store.exposure(chunk, std::nullopt), ExposureLabel::uncertain); // no session
    store.db.exec(
        "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('a1', 2, 40000, 1, 2)");
    EXPECT_EQ(store.exposure(chunk, std::nullopt), ExposureLabel::uncertain); // no anchors
    store.db.exec("INSERT INTO exposure(session_id, kind, locator, label) VALUES ('a1', 'anchor', 'p1', 'Intro')");
    EXPECT_EQ(store.exposure(chunk, std::nullopt), ExposureLabel::articleSectionNotObserved);
    store.db.exec("INSERT INTO exposure(session_id, kind, locator, label) VALUES ('a1', 'anchor', 'p2', NULL)");
    EXPECT_EQ(store.exposure(chunk, std::nullopt), ExposureLabel::articleSectionInView);
    auto anchors = store.observedAnchors(2);
    EXPECT_EQ(anchors.size(), 2u);
}

TEST_F(SourcesTest, OpenURLForEveryKind) {
    auto transcript = *store.chunk(10);
    EXPECT_EQ(MemoryStore::openURL(transcript, 61999, std::nullopt),
              "https://www.youtube.com/watch?v=abcdefghijk#t=61s");
    EXPECT_EQ(MemoryStore::openURL(transcript, std::nullopt, std::nullopt),
              "https://www.youtube.com/watch?v=abcdefghijk#t=10s");
    ChunkRecord comment = transcript;
    comment.kind = "comment";
    comment.provenance = "api";
    comment.locator = "c:Ugx123";
    EXPECT_EQ(MemoryStore::openURL(comment, std::nullopt, std::nullopt),
              "https://www.youtube.com/watch?v=abcdefghijk&lc=Ugx123");
    comment.provenance = "imported";
    EXPECT_EQ(MemoryStore::openURL(comment, std::nullopt, std::nullopt), transcript.sourceURL);
    auto article = *store.chunk(12);
    std::string link = MemoryStore::openURL(article, std::nullopt, std::nullopt);
    EXPECT_EQ(link.rfind("https://example.com/a#:~:text=", 0), 0u) << link;
    EXPECT_EQ(MemoryStore::openURL(*store.chunk(11), std::nullopt, std::nullopt), transcript.sourceURL);
}

TEST_F(SourcesTest, ChunkListsAndAvailability) {
    store.db.exec("INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, retrieved_at, content_hash) VALUES "
                  "(20, 1, 'transcript', 'early', 't=0', 0, 1, 'h4'), (21, 1, 'comment', 'c', 'c:1', NULL, 1, 'h5');"
                  "UPDATE chunk SET available = 0 WHERE id = 20");
    std::vector<int64_t> ids;
    for (const auto& c : store.chunks(1)) {
        ids.push_back(c.id);
    }
    EXPECT_EQ(ids, (std::vector<int64_t>{21, 11, 20, 10})); // by kind, then start
    EXPECT_EQ(store.chunks(1, std::string("transcript")).size(), 2u);
    EXPECT_FALSE(store.chunk(20)); // unavailable chunks are not looked up by id
    auto c = *store.chunk(10);
    EXPECT_EQ(c.sourceTitle, "Talk");
    EXPECT_EQ(c.cues.size(), 2u);
    EXPECT_EQ(c.startMs, 10000);
}

} // namespace
} // namespace brell
