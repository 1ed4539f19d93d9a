// MemoryStore::contextPassages: passages about a topic for an assistant.
#include <algorithm>

#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

// A watched video whose three transcript chunks all speak of tides (one cue at 65 s,
// one at 1 h 2 min 5 s), and a fixture video and an article that mention them once.
class MemoryStoreContextTest : public ::testing::Test {
protected:
    MemoryStore store{":memory:"};

    void SetUp() override {
        store.db.exec(
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
            "(1, 'youtube:tidesDemo01', 'video', 'https://www.youtube.com/watch?v=tidesDemo01', 'Two tides', "
            "'https://www.youtube.com', 1, 5),"
            "(2, 'youtube:floodDemo01', 'video', 'https://www.youtube.com/watch?v=floodDemo01', 'Surges', "
            "'https://www.youtube.com', 1, 6),"
            "(3, 'article:https://oceans.example.org/tides', 'article', 'https://oceans.example.org/tides', "
            "'Tide guide', 'https://oceans.example.org', 1, 7);"
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s1', 1, 30000, 1, 5);"
            "INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'range', 60000, 70000);"
            "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, "
            "content_hash, provenance) VALUES "
            "(10, 1, 'transcript', 'Hello. High tides come twice a day.', 't=60', 60000, 70000, "
            "'[[0,60000],[7,65000]]', 1, 'h10', 'captured'),"
            "(11, 1, 'transcript', 'Tides again: the Moon pulls the tides.', 't=3725', 3725000, 3730000, "
            "'[[0,3725000]]', 1, 'h11', 'captured'),"
            "(12, 1, 'transcript', 'Spring tides and neap tides.', 't=4000', 4000000, 4005000, '[[0,4000000]]', 1, "
            "'h12', 'captured'),"
            "(20, 2, 'transcript', 'Storm tides overtop the wall.', 't=27', 27000, 30000, '[[0,27000]]', 1, 'h20', "
            "'fixture');"
            "INSERT INTO chunk(id, source_id, kind, text, heading, locator, retrieved_at, content_hash) VALUES "
            "(30, 3, 'article', 'Tides rise and fall twice daily.', 'Why tides happen', 'p1', 1, 'h30');");
    }

    std::vector<ContextPassage> fromSource(const std::vector<ContextPassage>& passages, const std::string& title) {
        std::vector<ContextPassage> out;
        std::copy_if(passages.begin(), passages.end(), std::back_inserter(out),
                     [&](const ContextPassage& p) { return p.title == title; });
        return out;
    }
};

TEST_F(MemoryStoreContextTest, AtMostTwoPassagesPerSource) {
    store.db.exec("UPDATE source SET muted = 1 WHERE id IN (2, 3)");
    auto passages = store.contextPassages("tides", 3);
    ASSERT_EQ(passages.size(), 2u); // one source, three matching chunks
    EXPECT_EQ(fromSource(passages, "Two tides").size(), 2u);
    EXPECT_TRUE(store.contextPassages("tides", 0).empty());
    EXPECT_TRUE(store.contextPassages("zebra", 3).empty());
}

TEST_F(MemoryStoreContextTest, PassagesSayWhereWhetherMetAndLink) {
    store.db.exec("DELETE FROM chunk WHERE id = 12"); // so both of the video's other chunks are among its two
    auto passages = store.contextPassages("tides", 10);
    ASSERT_EQ(passages.size(), 4u);
    struct Case {
        const char* name;
        ContextPassage expected;
    } cases[] = {
        {"video at 65 s, watched",
         {"Video transcript", "Two tides", std::string("01:05"), "High tides come twice a day.",
          std::string("Watched at this moment"), "https://www.youtube.com/watch?v=tidesDemo01&t=65s#brell-at=65"}},
        {"video past an hour, not watched there",
         {"Video transcript", "Two tides", std::string("1:02:05"), "Tides again: the Moon pulls the tides.",
          std::string("Outside watched intervals"),
          "https://www.youtube.com/watch?v=tidesDemo01&t=3725s#brell-at=3725"}},
        {"a demo fixture without sessions",
         {"Video transcript (demo fixture)", "Surges", std::string("00:27"), "Storm tides overtop the wall.",
          std::string("Watch status unavailable"), "https://www.youtube.com/watch?v=floodDemo01&t=27s#brell-at=27"}},
        {"article with its section",
         {"Article", "Tide guide", std::string("\u201CWhy tides happen\u201D"), "Tides rise and fall twice daily.",
          std::string("Reading status unavailable"),
          MemoryStore::openURL(*store.chunk(30), std::nullopt, std::nullopt)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(std::find(passages.begin(), passages.end(), c.expected), passages.end());
    }
}

TEST_F(MemoryStoreContextTest, PassageTextIsCutAt500Characters) {
    std::string longText = "Tides";
    while (longText.size() < 700) {
        longText += " and tides";
    }
    store.db.run("UPDATE chunk SET text = ? WHERE id = 30", {SQLiteDB::Value(longText)});
    auto passages = fromSource(store.contextPassages("tides", 10), "Tide guide");
    ASSERT_EQ(passages.size(), 1u);
    EXPECT_EQ(passages[0].text, store.chunk(30)->passage(std::nullopt, 500));
    EXPECT_LE(passages[0].text.size(), 503u);
}

} // namespace
} // namespace brell
