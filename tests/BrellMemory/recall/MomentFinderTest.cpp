#include "BrellMemory/recall/MomentFinder.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

// A video with one transcript chunk whose cues start at 80, 93 and 99 s (ending at
// 105 s), an article chunk, and a saved quote.
class MomentFinderTest : public ::testing::Test {
protected:
    MemoryStore store{":memory:"};
    ChunkRecord video;
    ChunkRecord article;
    ChunkRecord saved = ChunkRecord::saved(0, "ABC", "Pricing notes", std::string("https://example.com/pricing"),
                                           "Three tiers: free, pro and team.", "evidence", 5);

    void SetUp() override {
        store.db.exec(
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
            "(1, 'youtube:abcdefghijk', 'video', 'https://www.youtube.com/watch?v=abcdefghijk', 'Pricing talk', "
            "'https://www.youtube.com', 1, 5),"
            "(2, 'article:https://example.com/a', 'article', 'https://example.com/a', 'Essay', 'https://example.com', "
            "1, 9);"
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s1', 1, 30000, 1, 5);"
            "INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s1', 'range', 90000, 100000);"
            "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, content_hash) "
            "VALUES (10, 1, 'transcript', 'Welcome everyone. Now the pricing tiers explained. Questions please.', "
            "'t=80', 80000, 105000, '[[0,80000],[18,93000],[51,99000]]', 1, 'h1'),"
            "(12, 2, 'article', 'An essay about the weather in spring.', 'p2', NULL, NULL, NULL, 1, 'h3');");
        video = *store.chunk(10);
        article = *store.chunk(12);
    }

    std::vector<ChunkRecord> candidates() const { return {video, article, saved}; }

    std::vector<Moment> parse(const Json& reply, std::optional<std::string> question = std::nullopt) {
        return MomentFinder::parse(reply, candidates(), store, question);
    }
};

TEST_F(MomentFinderTest, CueSnapping) {
    struct Case {
        const char* name;
        std::optional<int64_t> seconds;
        std::string hints;
        std::optional<int64_t> expected;
    } cases[] = {
        {"nearest cue to 95 s", 95, "", 93000},
        {"tie goes to the earlier cue", 96, "", 93000}, // 96 s is 3 s from both 93 s and 99 s
        {"just inside the window before", 75, "", 80000},
        {"just outside the window before", 74, "", 80000}, // default: the first cue
        {"within 5 s after the end", 110, "", 99000},
        {"outside: the cue matching the hints", 300, "questions", 99000},
        {"outside without matching hints", 300, "zebra", 80000},
        {"no seconds: the hints decide", std::nullopt, "pricing tiers", 93000},
        // Seconds whose milliseconds do not fit count as no answer, never as arithmetic.
        {"the least 64-bit number", INT64_MIN, "", 80000},
        {"the greatest 64-bit number", INT64_MAX, "pricing", 93000},
        {"just beyond what milliseconds hold", INT64_MAX / 1000 + 1, "", 80000},
        {"far before the chunk", -INT64_MAX / 1000 + 10, "questions", 99000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MomentFinder::cue(video, c.seconds, c.hints), c.expected);
    }
    EXPECT_FALSE(MomentFinder::cue(article, 10, ""));
    ChunkRecord bare = video;
    bare.cues.clear();
    EXPECT_EQ(MomentFinder::cue(bare, 95, ""), 80000);
    // Cue starts at the ends of the range measure their distance without overflow.
    ChunkRecord extreme = video;
    extreme.cues = {{0, INT64_MIN}, {5, 0}, {9, INT64_MAX}};
    extreme.endMs = INT64_MAX;
    EXPECT_EQ(MomentFinder::cue(extreme, 1, ""), 0);
    EXPECT_EQ(MomentFinder::cue(extreme, -1, ""), 0);
}

// The double nearest the least 64-bit number reads as that number: the reply yields
// the moment at its default cue, and nothing overflows on the way.
TEST_F(MomentFinderTest, SecondsAtTheEndsOfTheRangeYieldTheDefaultCue) {
    for (Json seconds : {Json(INT64_MIN), Json(-9.2233720368547758e18), Json(9.2233720368547e18), Json(UINT64_MAX)}) {
        SCOPED_TRACE(seconds.dump());
        auto moments = parse({{"moments", {{{"passageId", "c10"}, {"seconds", seconds}, {"why", ""}}}}});
        ASSERT_EQ(moments.size(), 1u);
        EXPECT_EQ(moments[0].ms, 80000);
    }
}

TEST_F(MomentFinderTest, ParseTurnsAnyReplyIntoAtMostThreeMoments) {
    struct Case {
        const char* name;
        Json reply;
        std::vector<std::string> ids;
    } cases[] = {
        {"not an object", Json("moments"), {}},
        {"moments not a list", {{"moments", {{"passageId", "c10"}}}}, {}},
        // A list of objects is the answer; a list holding anything else is no answer.
        {"a list with a text among the objects",
         {{"moments", {{{"passageId", "c10"}, {"seconds", 95}, {"why", "tiers"}}, "c12"}}},
         {}},
        {"a list with a null first", {{"moments", {nullptr, {{"passageId", "c10"}, {"seconds", 95}}}}}, {}},
        {"a list with a nested list", {{"moments", {Json::array({"c10"}), {{"passageId", "c12"}}}}}, {}},
        {"an empty list", {{"moments", Json::array()}}, {}},
        {"unknown and missing ids dropped",
         {{"moments", {{{"passageId", "c99"}}, {{"seconds", 3}}, {{"passageId", 10}}}}},
         {}},
        {"video at 95 s", {{"moments", {{{"passageId", "c10"}, {"seconds", 95}, {"why", "tiers"}}}}}, {"10-93000"}},
        {"real seconds are truncated",
         {{"moments", {{{"passageId", "c10"}, {"seconds", 98.9}, {"why", ""}}}}},
         {"10-99000"}},
        {"seconds as text read as absent",
         {{"moments", {{{"passageId", "c10"}, {"seconds", "95"}, {"why", ""}}}}},
         {"10-80000"}},
        {"article without ms", {{"moments", {{{"passageId", "c12"}, {"seconds", 40}, {"why", "weather"}}}}}, {"12--1"}},
        {"saved quote",
         {{"moments", {{{"passageId", "q1000000"}, {"seconds", nullptr}, {"why", "tiers"}}}}},
         {"-1000000--1"}},
        {"duplicates folded",
         {{"moments", {{{"passageId", "c10"}, {"seconds", 94}}, {{"passageId", "c10"}, {"seconds", 92}}}}},
         {"10-93000"}},
        {"only the first three entries count",
         {{"moments",
           {{{"passageId", "nope"}}, {{"passageId", "c12"}}, {{"passageId", "q1000000"}}, {{"passageId", "c10"}}}}},
         {"12--1", "-1000000--1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> ids;
        for (const auto& m : parse(c.reply)) {
            ids.push_back(m.id());
        }
        EXPECT_EQ(ids, c.ids);
    }
}

TEST_F(MomentFinderTest, ParseGroundsEntriesInTheQuestion) {
    Json reply = {{"moments",
                   {{{"passageId", "c12"}, {"why", "nothing shared"}},
                    {{"passageId", "c10"}, {"seconds", 95}, {"why", "the speaker explains tiers"}}}}};
    auto moments = parse(reply, std::string("how are the pricing tiers set"));
    ASSERT_EQ(moments.size(), 1u); // the essay shares no term with the question
    EXPECT_EQ(moments[0].ms, 93000);
    // A reason sharing two terms with the passage keeps it even when the question shares none.
    reply = {{"moments", {{{"passageId", "c12"}, {"why", "weather in spring"}}}}};
    EXPECT_EQ(parse(reply, std::string("zebra crossing")).size(), 1u);
    reply = {{"moments", {{{"passageId", "c12"}, {"why", "weather only"}}}}};
    EXPECT_EQ(parse(reply, std::string("zebra crossing")).size(), 0u);
}

TEST_F(MomentFinderTest, MomentsCarryExposureAndLinks) {
    Json reply = {{"moments",
                   {{{"passageId", "c10"}, {"seconds", 95}, {"why", std::string(300, 'w')}},
                    {{"passageId", "q1000000"}, {"why", "tiers"}},
                    {{"passageId", "c12"}, {"why", "weather"}}}}};
    auto moments = parse(reply);
    ASSERT_EQ(moments.size(), 3u);
    EXPECT_EQ(moments[0].why.size(), 220u);
    EXPECT_EQ(moments[0].exposure, ExposureLabel::playedWhileVisible);
    EXPECT_EQ(moments[0].openURL, "https://www.youtube.com/watch?v=abcdefghijk&t=93s#brell-at=93");
    EXPECT_EQ(moments[0].whereLabel(0), "01:33");
    EXPECT_FALSE(moments[1].exposure);
    EXPECT_EQ(moments[1].openURL.rfind("https://example.com/pricing#:~:text=", 0), 0u) << moments[1].openURL;
    EXPECT_EQ(moments[1].whereLabel(0), "Saved quote");
    EXPECT_EQ(moments[2].exposure, ExposureLabel::uncertain); // no session for the article
    EXPECT_EQ(moments[2].openURL, MemoryStore::openURL(article, std::nullopt, std::nullopt));
    EXPECT_EQ(moments[2].whereLabel(0), "article");

    ChunkRecord offline = ChunkRecord::saved(1, "K", "Notes", std::nullopt, "text", "notes", 0);
    EXPECT_EQ(MemoryStore::momentURL(offline, std::nullopt), "");
    ChunkRecord screen;
    screen.kind = "screen";
    screen.sourceKey = "screen:com.apple.Notes";
    EXPECT_EQ(MemoryStore::momentURL(screen, std::nullopt), "app:com.apple.Notes");
    screen.sourceURL = "https://example.com/page";
    EXPECT_EQ(MemoryStore::momentURL(screen, std::nullopt), "https://example.com/page");
}

TEST_F(MomentFinderTest, PromptPieces) {
    EXPECT_EQ(MomentFinder::promptID(video), "c10");
    EXPECT_EQ(MomentFinder::promptID(saved), "q1000000");
    EXPECT_EQ(MomentFinder::typeLabel(saved), "quote the user saved");
    EXPECT_EQ(MomentFinder::timestamped(video, 1000),
              "[01:20] Welcome everyone.\n[01:33] Now the pricing tiers explained.\n[01:39] Questions please.\n");
    EXPECT_EQ(MomentFinder::timestamped(video, 10), "[01:20] Welcome everyone.\n"); // the crossing line stays
    EXPECT_EQ(MomentFinder::timestamped(article, 8), "An essay");
    Json in = MomentFinder::input("tiers?", candidates(), 100);
    ASSERT_EQ(in["passages"].size(), 3u);
    EXPECT_EQ(in["passages"][2], (Json{{"id", "q1000000"},
                                       {"source", "Pricing notes"},
                                       {"type", "quote the user saved"},
                                       {"section", ""},
                                       {"text", "Three tiers: free, pro and team."}}));
    EXPECT_EQ(MomentFinder::fit(std::vector<ChunkRecord>(10, video), 800, 2000).size(), 3u);
    EXPECT_EQ(MomentFinder::fit(std::vector<ChunkRecord>(10, video), 40, 2000).size(), 10u);
    EXPECT_EQ(MomentFinder::schema()["properties"]["moments"]["items"]["required"],
              Json::array({"passageId", "seconds", "why"}));
    EXPECT_EQ(MomentFinder::seconds(Json(1e300)), std::nullopt);
    EXPECT_EQ(MomentFinder::seconds(Json(-2.7)), -2);
    EXPECT_EQ(MomentFinder::seconds(Json(true)), std::nullopt);
}

TEST_F(MomentFinderTest, KeywordHitsRankByTermsThenRecency) {
    ChunkRecord newer = article;
    newer.id = 13;
    newer.retrievedAt = 50;
    auto hits = MomentFinder::keywordHits("spring weather", {article, video, newer}, 5);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].id, 13);
    EXPECT_EQ(hits[1].id, 12);
    EXPECT_TRUE(MomentFinder::keywordHits("the and of", {article}, 5).empty());
}

TEST_F(MomentFinderTest, CandidatesAndPassages) {
    store.db.exec(
        "INSERT INTO chunk(id, source_id, kind, text, locator, start_ms, end_ms, cues, retrieved_at, content_hash) "
        "VALUES (11, 1, 'transcript', 'More about pricing tiers later.', 't=120', 120000, 130000, "
        "'[[0,120000]]', 1, 'h2')");
    auto found = store.momentCandidates("pricing tiers", 10, 5);
    std::vector<int64_t> ids;
    for (const auto& c : found) {
        ids.push_back(c.id);
    }
    // The search hits first, then the recent sources' other chunks, each once.
    ASSERT_GE(ids.size(), 3u);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 10), 1);
    EXPECT_EQ(ids.back(), 12);
    EXPECT_EQ(store.momentCandidates("pricing tiers", 1, 5).size(), 1u);

    auto passages = store.momentPassages("pricing tiers", 5);
    ASSERT_EQ(passages.size(), 2u);
    auto atCue =
        std::find_if(passages.begin(), passages.end(), [](const ContextPassage& p) { return p.location == "01:33"; });
    ASSERT_NE(atCue, passages.end());
    EXPECT_EQ(atCue->kind, "Video transcript");
    EXPECT_EQ(atCue->title, "Pricing talk");
    EXPECT_EQ(atCue->text, "Now the pricing tiers explained. Questions please.");
    EXPECT_EQ(atCue->status, "Watched at this moment");
    EXPECT_EQ(atCue->link, "https://www.youtube.com/watch?v=abcdefghijk&t=93s#brell-at=93");
    EXPECT_EQ(store.momentPassages("pricing tiers", 1).size(), 1u);
}

} // namespace
} // namespace brell
