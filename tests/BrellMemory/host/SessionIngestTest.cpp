#include <gtest/gtest.h>

#include <vector>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "util/ISODate.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* video = "dQw4w9WgXcQ";
const std::string session1 = "7c9e6679-7425-40de-944b-e07fc1f90ae7";
const std::string session2 = "16fd2706-8baf-433b-82eb-8c7fada847da";
const std::string articleURL = "https://news.example.com/2026/tides";

class SessionIngestTest : public ::testing::Test {
protected:
    Date clock = 1'800'000'000.0;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};
    HostProtocol host{store, "/nonexistent/board.json"};
    int events = 0;

    void SetUp() override { store.decide(true, true); }

    std::string nextEventId() {
        char id[37];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", ++events);
        return id;
    }

    Json send(const std::string& kind, Json source, Json payload, std::string eventId = "") {
        Json m = {{"version", 1},
                  {"type", "ingest"},
                  {"eventId", eventId.empty() ? nextEventId() : eventId},
                  {"captureEpoch", store.state().epoch},
                  {"observedAt", ISODate::format(clock)},
                  {"kind", kind},
                  {"source", std::move(source)},
                  {"payload", std::move(payload)}};
        return host.handle(m.dump());
    }

    Json videoDelta(Json payload, const std::string& session = session1) {
        payload["sessionId"] = session;
        if (!payload.contains("rangesMs")) {
            payload["rangesMs"] = Json::array();
        }
        return send("video.session_delta",
                    {{"id", std::string("youtube:") + video},
                     {"url", std::string("https://www.youtube.com/watch?v=") + video + "&t=42"},
                     {"title", "  A   talk\nabout tides "}},
                    payload);
    }

    Json articleDelta(Json payload, const std::string& session = session2, std::string title = "Tides") {
        payload["sessionId"] = session;
        return send("article.session_delta", {{"id", "article:" + articleURL}, {"url", articleURL}, {"title", title}},
                    payload);
    }

    std::vector<std::pair<int64_t, int64_t>> exposure(const char* kind) {
        std::vector<std::pair<int64_t, int64_t>> out;
        for (const auto& r :
             store.db.query("SELECT start_ms, end_ms FROM exposure WHERE kind = ? ORDER BY start_ms", {Value(kind)})) {
            out.emplace_back(r.integer("start_ms"), r.integer("end_ms"));
        }
        return out;
    }

    int64_t count(const std::string& table) { return store.db.one("SELECT count(*) AS n FROM " + table)->integer("n"); }
};

TEST_F(SessionIngestTest, VideoSessionIsRememberedOncePastItsThreshold) {
    Json below = videoDelta({{"activeWallMs", 19999}, {"playedWallMs", 0}});
    EXPECT_EQ(below["status"], "invalid");
    EXPECT_EQ(below["reason"], "below_threshold");
    EXPECT_EQ(count("source") + count("session") + count("ingested_event") + count("chunk"), 0);

    EXPECT_EQ(videoDelta({{"activeWallMs", 20000}, {"rangesMs", {{0, 10000}}}})["status"], "accepted");
    EXPECT_EQ(videoDelta({{"activeWallMs", 5000}, {"rangesMs", {{10500, 20000}}}})["status"], "accepted");
    auto s = store.db.one("SELECT * FROM session");
    EXPECT_EQ(s->integer("active_wall_ms"), 20000); // a late, smaller total changes nothing
    EXPECT_EQ(exposure("range"), (std::vector<std::pair<int64_t, int64_t>>{{0, 20000}}));

    auto source = store.source(std::string_view("youtube:dQw4w9WgXcQ"));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->url, "https://www.youtube.com/watch?v=dQw4w9WgXcQ");
    EXPECT_EQ(source->origin, "https://www.youtube.com");
    EXPECT_EQ(source->title, "A talk about tides");
    auto chunks = store.chunks(source->id);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].kind, "metadata");
    EXPECT_EQ(chunks[0].text, "A talk about tides");
    EXPECT_EQ(count("ingested_event"), 2);
}

TEST_F(SessionIngestTest, PlayedTimeAloneCanPassTheThreshold) {
    EXPECT_EQ(videoDelta({{"activeWallMs", 5000}, {"playedWallMs", 25000}, {"playedRangesMs", {{0, 25000}}}})["status"],
              "accepted");
    EXPECT_EQ(store.db.one("SELECT played_wall_ms FROM session")->integer("played_wall_ms"), 25000);
    // A delta without played ranges leaves them; an empty rangesMs still rewrites the merged ranges.
    EXPECT_EQ(videoDelta({{"activeWallMs", 6000}})["status"], "accepted");
    EXPECT_EQ(exposure("played"), (std::vector<std::pair<int64_t, int64_t>>{{0, 25000}}));
    EXPECT_TRUE(exposure("range").empty());
}

TEST_F(SessionIngestTest, RangesMergeAcrossDeltasWithTheGap) {
    videoDelta({{"activeWallMs", 30000}, {"rangesMs", {{0, 5000}, {20000, 30000}}}});
    videoDelta({{"activeWallMs", 31000}, {"rangesMs", {{6000, 9000}, {9001, 9500}, {30500, 31000}}}});
    videoDelta({{"activeWallMs", 32000}, {"rangesMs", {{40000, 50000}, {45000, 46000}}}});
    EXPECT_EQ(exposure("range"), (std::vector<std::pair<int64_t, int64_t>>{{0, 9500}, {20000, 31000}, {40000, 50000}}));
}

TEST_F(SessionIngestTest, VideoRefusals) {
    struct Case {
        const char* name;
        Json source;
        Json payload;
        const char* status;
        const char* reason;
    } cases[] = {
        {"short link",
         {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://youtu.be/dQw4w9WgXcQ"}},
         {},
         "invalid",
         "video_source"},
        {"http watch page",
         {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "http://www.youtube.com/watch?v=dQw4w9WgXcQ"}},
         {},
         "invalid",
         "video_source"},
        {"id mismatch",
         {{"id", "youtube:aaaaaaaaaaa"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}},
         {},
         "invalid",
         "video_source"},
        {"id too long",
         {{"id", "youtube:" + std::string(40, 'a')}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}},
         {},
         "invalid",
         "video_source"},
        {"ranges missing", {}, {{"rangesMs", nullptr}}, "invalid", "ranges"},
        {"ranges of text", {}, {{"rangesMs", {{"0", "5"}}}}, "invalid", "ranges"},
        {"too many ranges", {}, {{"rangesMs", Json(std::vector<std::vector<int>>(1001, {0, 1}))}}, "invalid", "ranges"},
        {"range of three", {}, {{"rangesMs", {{0, 1, 2}}}}, "invalid", "range_bounds"},
        {"empty range", {}, {{"rangesMs", {{5, 5}}}}, "invalid", "range_bounds"},
        {"negative start", {}, {{"rangesMs", {{-1, 5}}}}, "invalid", "range_bounds"},
        {"past a day", {}, {{"rangesMs", {{0, 86'400'001}}}}, "invalid", "range_bounds"},
        {"bad played ranges", {}, {{"rangesMs", Json::array()}, {"playedRangesMs", 5}}, "invalid", "ranges"},
        {"played wall past a day",
         {},
         {{"rangesMs", Json::array()}, {"playedWallMs", 86'400'001}},
         "invalid",
         "played_wall"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json source = c.source.is_null() || c.source.empty()
                          ? Json{{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}}
                          : c.source;
        Json payload = c.payload.is_null() ? Json::object() : c.payload;
        payload["sessionId"] = session1;
        payload["activeWallMs"] = 30000;
        if (!payload.contains("rangesMs")) {
            payload["rangesMs"] = Json::array();
        } else if (payload["rangesMs"].is_null()) {
            payload.erase("rangesMs");
        }
        Json r = send("video.session_delta", source, payload);
        EXPECT_EQ(r["status"], c.status);
        EXPECT_EQ(r["reason"], c.reason);
    }
    EXPECT_EQ(count("source") + count("ingested_event"), 0);
    store.setYouTube(false);
    Json off = videoDelta({{"activeWallMs", 30000}});
    EXPECT_EQ(off["status"], "disabled");
    EXPECT_FALSE(off.contains("reason"));
}

TEST_F(SessionIngestTest, ASessionIdReusedForAnotherSourceRollsBackWhole) {
    store.approveOrigin("https://news.example.com", true);
    ASSERT_EQ(videoDelta({{"activeWallMs", 30000}, {"rangesMs", {{0, 1000}}}})["status"], "accepted");
    std::string eventId = nextEventId();
    Json r = articleDelta({{"activeWallMs", 40000}, {"anchors", {{{"locator", "p1"}, {"label", "Intro"}}}}}, session1);
    EXPECT_EQ(r["reason"], "session_source_mismatch");
    EXPECT_EQ(count("source"), 1);
    EXPECT_EQ(count("exposure"), 1);
    EXPECT_EQ(count("ingested_event"), 1);
    // The same event, corrected, is then accepted once.
    Json m = {{"activeWallMs", 40000}};
    m["sessionId"] = session2;
    Json source = {{"id", "article:" + articleURL}, {"url", articleURL}};
    EXPECT_EQ(send("article.session_delta", source, m, eventId)["status"], "accepted");
    EXPECT_EQ(send("article.session_delta", source, m, eventId)["status"], "duplicate");
}

TEST_F(SessionIngestTest, ArticleVisitWithoutTextWhenTheOriginKeepsVisitsOnly) {
    EXPECT_EQ(articleDelta({{"activeWallMs", 40000}})["status"], "disabled"); // not approved
    store.approveOrigin("https://news.example.com", false);
    Json blocks = {{"blocks", {{{"locator", "p1"}, {"text", "First paragraph."}}}}};
    Json r = articleDelta(
        {{"activeWallMs", 40000}, {"anchors", {{{"locator", "p1"}, {"label", "Intro"}}}}, {"extraction", blocks}});
    ASSERT_EQ(r["status"], "accepted") << r.dump();
    auto source = store.source(std::string_view("article:" + articleURL));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->origin, "https://news.example.com");
    EXPECT_EQ(store.chunks(source->id, std::string("article")).size(), 0u);
    EXPECT_EQ(store.chunks(source->id, std::string("metadata")).size(), 1u);
    EXPECT_EQ(store.observedAnchors(source->id).size(), 1u);
    store.db.exec("UPDATE allowed_origin SET muted = 1");
    EXPECT_EQ(articleDelta({{"activeWallMs", 41000}})["status"], "disabled");
}

TEST_F(SessionIngestTest, ArticleBlocksGroupIntoChunksAndRepeatsChangeNothing) {
    store.approveOrigin("https://news.example.com", true);
    auto blocks = [](int first, int second, const char* secondHeading) {
        Json b1 = {{"locator", "p1"}, {"text", std::string(static_cast<std::size_t>(first), 'a')}, {"heading", "H"}};
        Json b2 = {{"locator", "p2"}, {"text", std::string(static_cast<std::size_t>(second), 'b')}};
        if (secondHeading != nullptr) {
            b2["heading"] = secondHeading;
        }
        return Json{{"blocks", {b1, b2, {{"locator", "p3"}, {"text", "tail"}}}}};
    };
    auto articleChunks = [&] {
        return store.chunks(store.source(std::string_view("article:" + articleURL))->id, std::string("article"));
    };

    ASSERT_EQ(articleDelta({{"activeWallMs", 40000}, {"extraction", blocks(600, 600, "H")}})["status"], "accepted");
    auto chunks = articleChunks();
    ASSERT_EQ(chunks.size(), 2u); // 600 + 600 under one heading join; "tail" has none
    EXPECT_EQ(chunks[0].text, std::string(600, 'a') + "\n" + std::string(600, 'b'));
    EXPECT_EQ(chunks[0].locator, "p1");
    EXPECT_EQ(chunks[0].heading, "H");
    EXPECT_FALSE(chunks[1].heading);

    ASSERT_EQ(articleDelta({{"activeWallMs", 41000}, {"extraction", blocks(600, 600, "H")}})["status"], "accepted");
    auto again = articleChunks();
    EXPECT_EQ(again[0].id, chunks[0].id); // same digest: rows untouched
    EXPECT_EQ(again[0].retrievedAt, chunks[0].retrievedAt);

    ASSERT_EQ(articleDelta({{"activeWallMs", 42000}, {"extraction", blocks(700, 600, "H")}})["status"], "accepted");
    EXPECT_EQ(articleChunks().size(), 3u); // 1300 > 1200 splits
}

// The line break that joins two blocks counts towards the 1200 characters of a chunk.
TEST_F(SessionIngestTest, JoiningLineBreaksCountTowardsTheChunkLimit) {
    store.approveOrigin("https://news.example.com", true);
    struct Case {
        const char* name;
        std::vector<std::size_t> lengths;
        std::vector<std::size_t> chunkLengths; // in characters, line breaks included
    } cases[] = {
        {"three blocks of 400: the third would make 1202", {400, 400, 400}, {801, 400}},
        {"600 and 600 join to exactly 1200 before the break", {600, 600}, {1201}},
        {"599, 300, 300: 900 + 300 = 1200 joins", {599, 300, 300}, {1201}},
        {"599, 300, 301: 900 + 301 does not", {599, 300, 301}, {900, 301}},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json list = Json::array();
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            list.push_back({{"locator", "p" + std::to_string(i)},
                            {"text", std::string(c.lengths[i], static_cast<char>('a' + run))}});
        }
        ASSERT_EQ(articleDelta({{"activeWallMs", 40000 + run++}, {"extraction", {{"blocks", list}}}})["status"],
                  "accepted");
        std::vector<std::size_t> lengths;
        for (const auto& chunk :
             store.chunks(store.source(std::string_view("article:" + articleURL))->id, std::string("article"))) {
            lengths.push_back(chunk.text.size());
        }
        EXPECT_EQ(lengths, c.chunkLengths);
    }
}

// Blocks are the page's text only when there are some: an empty list keeps what is stored.
TEST_F(SessionIngestTest, AnEmptyBlockListKeepsTheStoredText) {
    store.approveOrigin("https://news.example.com", true);
    Json blocks = {{"blocks", {{{"locator", "p1"}, {"text", "The tide turns twice a day."}}}}};
    ASSERT_EQ(articleDelta({{"activeWallMs", 40000}, {"extraction", blocks}})["status"], "accepted");
    auto id = store.source(std::string_view("article:" + articleURL))->id;
    auto before = store.chunks(id, std::string("article"));
    ASSERT_EQ(before.size(), 1u);

    Json reply = articleDelta({{"activeWallMs", 41000}, {"extraction", {{"blocks", Json::array()}}}});
    EXPECT_EQ(reply["status"], "accepted");
    auto after = store.chunks(id, std::string("article"));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].id, before[0].id);
    EXPECT_EQ(after[0].text, "The tide turns twice a day.");
}

TEST_F(SessionIngestTest, TitleChangeLeavesOneMetadataChunk) {
    store.approveOrigin("https://news.example.com", true);
    articleDelta({{"activeWallMs", 40000}}, session2, "Old title");
    articleDelta({{"activeWallMs", 41000}}, session2, "New   title");
    auto rows = store.db.query("SELECT text FROM chunk WHERE kind = 'metadata'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text("text"), "New title");
}

TEST_F(SessionIngestTest, ArticleRefusals) {
    store.approveOrigin("https://news.example.com", true);
    struct Case {
        const char* name;
        std::string url;
        std::string id;
        Json payload;
        const char* status;
        const char* reason;
    } cases[] = {
        {"http page", "http://news.example.com/a", "article:http://news.example.com/a", {}, "invalid", "article_url"},
        {"sign-in page",
         "https://news.example.com/login",
         "article:https://news.example.com/login",
         {},
         "invalid",
         "article_url"},
        {"other origin", "https://other.example.org/a", "article:https://other.example.org/a", {}, "disabled", nullptr},
        {"id mismatch", articleURL, "article:https://news.example.com/else", {}, "invalid", "article_id"},
        {"too many anchors",
         articleURL,
         "article:" + articleURL,
         {{"anchors", Json(std::vector<Json>(21, {{"locator", "p1"}, {"label", "x"}}))}},
         "invalid",
         "anchors"},
        {"anchor with a space",
         articleURL,
         "article:" + articleURL,
         {{"anchors", {{{"locator", "p 1"}, {"label", "x"}}}}},
         "invalid",
         "anchor"},
        {"anchor without label",
         articleURL,
         "article:" + articleURL,
         {{"anchors", {{{"locator", "p1"}}}}},
         "invalid",
         "anchor"},
        {"blocks not an array",
         articleURL,
         "article:" + articleURL,
         {{"extraction", {{"blocks", 3}}}},
         "invalid",
         "blocks"},
        {"block of blank text",
         articleURL,
         "article:" + articleURL,
         {{"extraction", {{"blocks", {{{"locator", "p1"}, {"text", "  "}}}}}}},
         "invalid",
         "block"},
        {"too much text",
         articleURL,
         "article:" + articleURL,
         {{"extraction",
           {{"blocks",
             {{{"locator", "p1"}, {"text", std::string(15000, 'x')}},
              {{"locator", "p2"}, {"text", std::string(5001, 'y')}}}}}}},
         "invalid",
         "too_much_text"},
        {"below threshold",
         articleURL,
         "article:" + articleURL,
         {{"activeWallMs", 29999}},
         "invalid",
         "below_threshold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json payload = c.payload.is_null() ? Json::object() : c.payload;
        if (!payload.contains("activeWallMs")) {
            payload["activeWallMs"] = 40000;
        }
        payload["sessionId"] = session2;
        Json r = send("article.session_delta", {{"id", c.id}, {"url", c.url}}, payload);
        EXPECT_EQ(r["status"], c.status);
        if (c.reason != nullptr) {
            EXPECT_EQ(r["reason"], c.reason);
        } else {
            EXPECT_FALSE(r.contains("reason"));
        }
    }
    EXPECT_EQ(count("source") + count("ingested_event"), 0);
}

TEST_F(SessionIngestTest, ConsentChangedAfterTheChecksIsHonouredInsideTheTransaction) {
    // A state read before the application paused memory: the handler reads consent again
    // under the write lock and refuses, as the first checks would have.
    MemoryState checked = store.state();
    store.setPaused(true);
    EXPECT_EQ(host.ingestVideo("00000000-0000-4000-8000-000000000999",
                               {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}},
                               {{"rangesMs", Json::array()}}, session1, 30000, checked),
              HostProtocol::AckStatus::disabled);
    store.setPaused(false);
    EXPECT_EQ(host.ingestVideo("00000000-0000-4000-8000-000000000999",
                               {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}},
                               {{"rangesMs", Json::array()}}, session1, 30000, checked),
              HostProtocol::AckStatus::stale_epoch);
    EXPECT_EQ(count("source") + count("ingested_event"), 0);
}

TEST(CleanTitleTest, CollapsesWhiteSpaceAndCuts) {
    EXPECT_EQ(HostProtocol::cleanTitle(Json(" a \n\t b\u00a0c ")), "a b c");
    EXPECT_FALSE(HostProtocol::cleanTitle(Json(" \n ")));
    EXPECT_FALSE(HostProtocol::cleanTitle(Json(5)));
    EXPECT_EQ(HostProtocol::cleanTitle(Json(std::string(301, 'x')))->size(), 300u);
    EXPECT_TRUE(HostProtocol::locatorPattern().matches("section:2/a_b-c.d#e=f"));
    EXPECT_FALSE(HostProtocol::locatorPattern().matches(std::string(201, 'a')));
    EXPECT_FALSE(HostProtocol::locatorPattern().matches("p1\n"));
}

} // namespace
} // namespace brell
