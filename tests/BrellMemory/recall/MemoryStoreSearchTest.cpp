#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "addresses/TextFragment.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// An empty memory with helpers that write sources and chunks as SQL rows.
class MemoryStoreSearchTest : public ::testing::Test {
protected:
    MemoryStore store{":memory:"};
    int next = 0;

    int64_t addSource(const std::string& kind, const std::string& title, bool muted = false) {
        ++next;
        std::string url = kind == "video" ? "https://www.youtube.com/watch?v=vid" + std::to_string(next)
                                          : "https://example.com/page" + std::to_string(next);
        store.db.run("INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen, muted) "
                     "VALUES (?, ?, ?, ?, 'https://example.com', 1, 1, ?)",
                     {Value(kind + ":" + std::to_string(next)), Value(kind), Value(url), Value(title), Value(muted)});
        return store.db.lastInsertID();
    }

    struct Chunk {
        std::string kind = "transcript";
        std::string text = {};
        std::optional<std::string> heading = {};
        std::optional<int64_t> startMs = {};
        std::optional<std::string> cues = {};
        bool available = true;
    };

    int64_t addChunk(int64_t sourceID, const Chunk& c) {
        ++next;
        store.db.run("INSERT INTO chunk(source_id, kind, text, heading, locator, start_ms, cues, retrieved_at, "
                     "content_hash, available) VALUES (?, ?, ?, ?, ?, ?, ?, 1, ?, ?)",
                     {Value(sourceID), Value(c.kind), Value(c.text), Value(c.heading),
                      Value("l" + std::to_string(next)), Value(c.startMs), Value(c.cues),
                      Value("h" + std::to_string(next)), Value(c.available)});
        return store.db.lastInsertID();
    }

    void useFullText(bool on) { store.db.run("UPDATE meta SET value = ? WHERE key = 'fts5'", {Value(on ? "1" : "0")}); }

    std::vector<int64_t> ids(std::string_view query, std::optional<int64_t> limit = std::nullopt,
                             std::optional<std::vector<std::string>> kinds = std::nullopt) {
        std::vector<int64_t> out;
        for (const auto& hit : store.searchChunks(query, limit, kinds)) {
            out.push_back(hit.id());
        }
        return out;
    }

    static ChunkRecord transcript(std::string text, std::vector<std::vector<int64_t>> cues,
                                  std::optional<int64_t> startMs = 1000) {
        ChunkRecord chunk;
        chunk.kind = "transcript";
        chunk.text = std::move(text);
        chunk.cues = std::move(cues);
        chunk.startMs = startMs;
        return chunk;
    }
};

TEST_F(MemoryStoreSearchTest, MoreOfTheUsersTermsComeBeforeABetterRank) {
    int64_t video = addSource("video", "Talk");
    int64_t both = addChunk(video, {.text = "pricing tiers explained at length with many other words in between them"});
    int64_t repeated = addChunk(video, {.text = "pricing pricing pricing"});
    int64_t bothShort = addChunk(video, {.text = "pricing tiers"});
    for (int i = 0; i < 10; ++i) {
        addChunk(video, {.text = "unrelated words number " + std::to_string(i)});
    }

    auto hits = store.searchChunks("pricing tiers");
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0].id(), bothShort);
    EXPECT_EQ(hits[1].id(), both);
    EXPECT_EQ(hits[2].id(), repeated);
    EXPECT_LT(hits[0].rank, hits[1].rank);
    EXPECT_LT(hits[2].rank, hits[1].rank); // a better rank, yet last: one of the two terms only

    // Without the index every rank is 0 and equal counts keep the database order.
    useFullText(false);
    hits = store.searchChunks("pricing tiers");
    ASSERT_EQ(hits.size(), 3u);
    std::vector<int64_t> order;
    for (const auto& hit : hits) {
        EXPECT_EQ(hit.rank, 0);
        order.push_back(hit.id());
    }
    EXPECT_EQ(order, (std::vector<int64_t>{both, bothShort, repeated}));
}

TEST_F(MemoryStoreSearchTest, PatternSearchFindsSubstringsWhenTheIndexIsNotInUse) {
    int64_t video = addSource("video", "Talk");
    int64_t upper = addChunk(video, {.text = "The LOGIN form"});
    int64_t inside = addChunk(video, {.text = "a day of debugging"});
    int64_t heading = addChunk(video, {.text = "nothing here", .heading = "login"});
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::vector<int64_t> expected;
    } cases[] = {
        {"index", [&] { useFullText(true); }, {upper, heading}},
        {"meta value 0", [&] { useFullText(false); }, {upper, inside}},
        {"meta value missing", [&] { store.db.run("DELETE FROM meta WHERE key = 'fts5'"); }, {upper, inside}},
        {"meta unreadable", [&] { store.db.exec("DROP TABLE meta"); }, {upper, inside}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        auto found = ids("How did I fix the login bug");
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.expected);
    }
}

TEST_F(MemoryStoreSearchTest, MutedSourcesAndUnavailableChunksAreNeverFound) {
    int64_t shown = addSource("video", "Shown");
    int64_t muted = addSource("video", "Muted", true);
    int64_t visible = addChunk(shown, {.text = "tides and moons"});
    addChunk(shown, {.text = "tides", .available = false});
    for (int i = 0; i < 5; ++i) {
        addChunk(muted, {.text = "tides"});
    }
    for (bool fullText : {true, false}) {
        SCOPED_TRACE(fullText ? "index" : "patterns");
        useFullText(fullText);
        EXPECT_EQ(ids("tides", 1), std::vector<int64_t>{visible});
        EXPECT_EQ(ids("tides"), std::vector<int64_t>{visible});
    }
}

TEST_F(MemoryStoreSearchTest, LimitsAndKinds) {
    int64_t video = addSource("video", "Tides");
    int64_t title = addChunk(video, {.kind = "metadata", .text = "tides"});
    std::vector<int64_t> transcripts;
    for (int i = 0; i < 4; ++i) {
        transcripts.push_back(addChunk(video, {.text = "tides of the sea number " + std::to_string(i)}));
    }
    EXPECT_EQ(ids("tides", 2).size(), 2u);
    EXPECT_EQ(ids("tides").size(), 5u);
    EXPECT_EQ(ids("tides", std::nullopt, std::vector<std::string>{"metadata"}), std::vector<int64_t>{title});
    // The kinds filter runs on the 2 × limit rows read: with limit 1 the two best rows
    // are the title and one transcript.
    EXPECT_EQ(ids("tides", 1, std::vector<std::string>{"transcript"}).size(), 1u);
    EXPECT_TRUE(ids("tides", 0).empty());
    EXPECT_TRUE(ids("tides", -3).empty());
    EXPECT_TRUE(ids("the of and").empty());
    EXPECT_TRUE(ids("").empty());
}

// Words of scripts with vowel signs, and decomposed accents, are found whole, with the
// index and without it.
TEST_F(MemoryStoreSearchTest, WordsWithCombiningMarksAreFound) {
    int64_t source = addSource("article", "Languages");
    int64_t hindi = addChunk(source, {.kind = "article",
                                      .text = "हिंदी भाषा "
                                              "सीखना"});
    int64_t french = addChunk(source, {.kind = "article", .text = "un café noir"});
    for (bool fullText : {true, false}) {
        SCOPED_TRACE(fullText ? "with the index" : "without the index");
        useFullText(fullText);
        EXPECT_EQ(ids("हिंदी"), (std::vector<int64_t>{hindi}));
        EXPECT_EQ(ids("CAFÉ"), (std::vector<int64_t>{french}));
    }
}

TEST_F(MemoryStoreSearchTest, UsersWordsNeverReachTheMatchSyntax) {
    int64_t video = addSource("video", "Talk");
    int64_t hit = addChunk(video, {.text = "near the heading column"});
    for (const char* query : {"heading:column", "\"near", "NEAR(heading column)", "column* OR", "-heading ^near",
                              "AND OR NOT column", "text : heading"}) {
        SCOPED_TRACE(query);
        EXPECT_EQ(ids(query), std::vector<int64_t>{hit});
    }
}

TEST_F(MemoryStoreSearchTest, HitsCarryTheirCueAndExcerpt) {
    int64_t video = addSource("video", "Talk");
    addChunk(video, {.text = "first words here. then pricing tiers. and the end.",
                     .startMs = 1000,
                     .cues = "[[0,1000],[18,5000],[38,9000]]"});
    auto hits = store.searchChunks("pricing");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].cueMs, 5000);
    EXPECT_EQ(hits[0].excerpt, "first words here. then pricing tiers. and the end."); // one cue of lead-in
    EXPECT_EQ(hits[0].matched, std::vector<std::string>{"pricing"});

    // Synonyms count as matched, in the heading too.
    addChunk(video, {.kind = "article", .text = "what it will cost", .heading = "Price list"});
    hits = store.searchChunks("pricing", std::nullopt, std::vector<std::string>{"article"});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].matched, (std::vector<std::string>{"price", "cost"}));
    EXPECT_EQ(hits[0].cueMs, std::nullopt);
}

TEST_F(MemoryStoreSearchTest, HitsCarryTheStoredChunk) {
    int64_t video = addSource("video", "Talk");
    // The compact cue form is read on a fast path; every form must read as a chunk lookup
    // reads it.
    const char* cueTexts[] = {"[[0,1000],[6,-5000]]",
                              "[]",
                              "[[]]",
                              "[[1,2,3],[4]]",
                              "[ [0, 1000] ]",
                              "[[0,1.0]]",
                              "[[01,2]]",
                              "[[0,99999999999999999999]]",
                              "[[0,1000]",
                              "[[0,1000]]x",
                              "{\"a\":1}",
                              "[[-0,7]]",
                              "[[0,-]]",
                              ""};
    for (const char* cues : cueTexts) {
        SCOPED_TRACE(cues);
        store.db.exec("DELETE FROM chunk");
        int64_t id = addChunk(video, {.text = "pricing words", .heading = "Intro", .startMs = 1000, .cues = cues});
        auto hits = store.searchChunks("pricing");
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].chunk, *store.chunk(id));
    }
}

TEST_F(MemoryStoreSearchTest, BestCuePointsInsideTranscriptsOnly) {
    // Offsets count user-perceived characters: "Ça" is two, "👍🏽" one, "é" (e and an accent) one.
    std::string first = "\u00c7a va tr\u00e8s bien \U0001F44D\U0001F3FD cafe\u0301 "; // 23 characters, 34 bytes
    std::string second = "then the pricing tiers ";                                   // 23 characters
    std::string third = "pricing tiers and pricing again";
    std::vector<std::vector<int64_t>> three = {{0, 1000}, {23, 5000}, {46, 9000}};
    struct Case {
        const char* name;
        ChunkRecord chunk;
        std::vector<std::string> terms;
        std::optional<int64_t> expected;
    } cases[] = {
        {"the matching cue after non-ASCII text", transcript(first + second + third, three), {"tiers"}, 5000},
        {"a later cue needs strictly more terms",
         transcript(first + second + third, three),
         {"pricing", "tiers"},
         5000},
        {"a later cue with more terms wins", transcript(first + second + third, three), {"tiers", "again"}, 9000},
        {"no cue matches", transcript(first + second + third, three), {"absent"}, 1000},
        {"no cues", transcript(first + second, {}), {"pricing"}, 1000},
        {"no cues and no start", transcript(first + second, {}, std::nullopt), {"pricing"}, std::nullopt},
        {"cues past the end or reversed are skipped",
         transcript(second, {{0, 1000}, {500, 5000}, {3, 7000}}),
         {"tiers"},
         7000},
    };
    ChunkRecord article = transcript(second, {{0, 1000}});
    article.kind = "article";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MemoryStore::bestCue(c.chunk, c.terms), c.expected);
    }
    EXPECT_EQ(MemoryStore::bestCue(article, {"tiers"}), 1000);
}

TEST_F(MemoryStoreSearchTest, ExcerptsCutAtASpaceInUserPerceivedCharacters) {
    ChunkRecord note;
    note.kind = "note";
    // Thirteen characters: "ä" and "é" are each a letter and a combining accent.
    std::string accented = "na\u0308ive cafe\u0301 ok";
    std::string cues = "one two. three four. five six.";
    struct Case {
        const char* name;
        std::string kind;
        std::string text;
        std::vector<std::vector<int64_t>> cues;
        std::optional<int64_t> cueMs;
        std::size_t limit;
        std::string expected;
    } cases[] = {
        {"cut at the last space", "note", "alpha beta gamma", {}, std::nullopt, 10, "alpha\u2026"},
        {"exactly the limit", "note", "alpha beta", {}, std::nullopt, 10, "alpha beta"},
        {"no space to cut at", "note", "alphabetagamma", {}, std::nullopt, 5, "alpha\u2026"},
        {"accents are not characters of their own",
         "note",
         accented,
         {},
         std::nullopt,
         12,
         "na\u0308ive cafe\u0301\u2026"},
        {"accented text within the limit", "note", accented, {}, std::nullopt, 13, accented},
        {"one cue of lead-in", "transcript", cues, {{0, 0}, {9, 4000}, {21, 8000}}, 8000, 100, "three four. five six."},
        {"the first cue has no lead-in", "transcript", cues, {{0, 0}, {9, 4000}, {21, 8000}}, 0, 100, cues},
        {"a position that is no cue start", "transcript", cues, {{0, 0}, {9, 4000}, {21, 8000}}, 5000, 100, cues},
        {"an offset past the end", "transcript", cues, {{0, 0}, {90, 4000}, {21, 8000}}, 8000, 100, cues},
        {"lead-in then cut", "transcript", cues, {{0, 0}, {9, 4000}, {21, 8000}}, 8000, 12, "three four.\u2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChunkRecord chunk = transcript(c.text, c.cues);
        chunk.kind = c.kind;
        EXPECT_EQ(MemoryStore::excerpt(chunk, c.cueMs, {}, c.limit), c.expected);
    }
}

TEST_F(MemoryStoreSearchTest, ReasonsNameTheTermsAndThePlace) {
    auto hitOf = [](std::string kind, std::string text, std::optional<std::string> heading,
                    std::optional<int64_t> cueMs, std::vector<std::string> matched) {
        SearchHit hit;
        hit.chunk.kind = std::move(kind);
        hit.chunk.text = std::move(text);
        hit.chunk.heading = std::move(heading);
        hit.chunk.startMs = 61000;
        hit.cueMs = cueMs;
        hit.matched = std::move(matched);
        return hit;
    };
    std::vector<std::string> original = {"pricing", "tiers"};
    struct Case {
        const char* name;
        SearchHit hit;
        std::vector<std::string> original;
        std::string expected;
    } cases[] = {
        {"transcript at its cue", hitOf("transcript", "our pricing tiers", std::nullopt, 724000, {}), original,
         "Matched \u201cpricing\u201d, \u201ctiers\u201d in the transcript at 12:04"},
        {"transcript without a cue", hitOf("transcript", "pricing", std::nullopt, std::nullopt, {}), original,
         "Matched \u201cpricing\u201d in the transcript at 01:01"},
        {"a term in the heading", hitOf("article", "nothing", "Tiers", std::nullopt, {}), original,
         "Matched \u201ctiers\u201d in the section \u201cTiers\u201d"},
        {"article text", hitOf("article", "pricing", std::nullopt, std::nullopt, {}), original,
         "Matched \u201cpricing\u201d in the article text"},
        {"comment", hitOf("comment", "pricing", std::nullopt, std::nullopt, {}), original,
         "Matched \u201cpricing\u201d in a comment"},
        {"only synonyms found",
         hitOf("metadata", "cost", std::nullopt, std::nullopt, {"cost"}),
         {"price"},
         "Matched \u201ccost\u201d in the title"},
        {"nothing to quote", hitOf("note", "other", std::nullopt, std::nullopt, {}), original,
         "Related wording in the title"},
        {"at most four quotes",
         hitOf("metadata", "a1 a2 a3 a4 a5", std::nullopt, std::nullopt, {}),
         {"a1", "a2", "a3", "a4", "a5"},
         "Matched \u201ca1\u201d, \u201ca2\u201d, \u201ca3\u201d, \u201ca4\u201d in the title"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MemoryStore::reason(c.hit, c.original), c.expected);
    }
}

TEST_F(MemoryStoreSearchTest, AskTakesOneMatchPerSourceAndAtMostThree) {
    std::vector<int64_t> sources;
    for (int i = 0; i < 5; ++i) {
        int64_t id = addSource("video", "Talk " + std::to_string(i));
        sources.push_back(id);
        // Three equally good chunks per source: the order alone would fill the answer
        // with the first source.
        for (int k = 0; k < 3; ++k) {
            addChunk(id, {.text = "pricing tiers " + std::to_string(k), .startMs = 61000 * (k + 1)});
        }
    }
    AskResult result = store.ask("pricing tiers");
    ASSERT_EQ(result.matches.size(), 3u);
    std::set<int64_t> seen;
    for (const auto& match : result.matches) {
        EXPECT_TRUE(seen.insert(match.id()).second);
        EXPECT_EQ(match.exposure, ExposureLabel::uncertain); // no sessions
        EXPECT_EQ(match.openURL, match.hit.chunk.sourceURL + "#t=" + std::to_string(*match.hit.cueMs / 1000) + "s");
        EXPECT_EQ(match.reason.rfind("Matched \u201cpricing\u201d, \u201ctiers\u201d in the transcript at ", 0), 0u);
    }
    EXPECT_EQ(result.strength, AskResult::Strength::strong);
    EXPECT_EQ(result.headline(), "");
}

TEST_F(MemoryStoreSearchTest, AskStrength) {
    int64_t video = addSource("video", "Talk");
    addChunk(video, {.text = "a talk about pricing"});
    addChunk(video, {.kind = "metadata", .text = "Talk", .heading = "tiers"});
    struct Case {
        const char* name;
        std::string query;
        AskResult::Strength strength;
        std::string headline;
    } cases[] = {
        {"one term, found", "pricing", AskResult::Strength::strong, ""},
        {"two terms, one found", "pricing elephants", AskResult::Strength::weak, "I found a few possible matches."},
        {"a synonym only", "price", AskResult::Strength::weak, "I found a few possible matches."},
        {"nothing found", "elephants", AskResult::Strength::none, "I don't have enough evidence in your memory yet."},
        {"stop words only", "what was that", AskResult::Strength::none,
         "I don't have enough evidence in your memory yet."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AskResult result = store.ask(c.query);
        EXPECT_EQ(result.strength, c.strength);
        EXPECT_EQ(result.headline(), c.headline);
        EXPECT_EQ(result.matches.empty(), c.strength == AskResult::Strength::none);
    }
}

TEST_F(MemoryStoreSearchTest, ArticleLinksJumpToWholeWords) {
    int64_t page = addSource("article", "Essay");
    // The 120th character falls inside "archipelago".
    std::string text = std::string(110, 'x') + " the archipelago holds many islands and tides of its own";
    addChunk(page, {.kind = "article", .text = text, .heading = "Tides"});
    AskResult result = store.ask("archipelago");
    ASSERT_EQ(result.matches.size(), 1u);
    EXPECT_EQ(result.matches[0].exposure, ExposureLabel::uncertain);
    EXPECT_EQ(result.matches[0].reason, "Matched \u201carchipelago\u201d in the section \u201cTides\u201d");
    EXPECT_EQ(result.matches[0].openURL,
              *TextFragment::url(result.matches[0].hit.chunk.sourceURL, std::string(110, 'x') + " the"));
    EXPECT_EQ(MemoryStore::openURL(result.matches[0].hit), result.matches[0].openURL);
}

} // namespace
} // namespace brell
