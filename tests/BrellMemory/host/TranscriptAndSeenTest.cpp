#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "BrellMemory/host/SavedQuotes.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

const std::string watch = "https://www.youtube.com/watch?v=dQw4w9WgXcQ";
const std::string session = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

class CaptureTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    Date clock = 1'800'000'000.0;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};
    HostProtocol host{store, tmp.file("board.json")};
    int events = 0;

    void SetUp() override { store.decide(true, true); }

    Json send(const std::string& kind, Json source, Json payload) {
        char id[37];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", ++events);
        Json m = {{"version", 1},
                  {"type", "ingest"},
                  {"eventId", id},
                  {"captureEpoch", store.state().epoch},
                  {"observedAt", ISODate::format(clock)},
                  {"kind", kind},
                  {"source", source},
                  {"payload", payload}};
        return host.handle(m.dump());
    }

    Json captions(Json cues, Json extra = Json::object()) {
        extra["cues"] = std::move(cues);
        return send("video.transcript", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", watch}, {"title", "Tides"}}, extra);
    }

    Json watchDelta(int64_t wall, Json ranges, Json played = nullptr) {
        Json payload = {{"sessionId", session}, {"activeWallMs", wall}, {"rangesMs", ranges}};
        if (!played.is_null()) {
            payload["playedRangesMs"] = played;
        }
        return send("video.session_delta", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", watch}}, payload);
    }

    std::vector<ChunkRecord> transcript() {
        auto source = store.source(std::string_view("youtube:dQw4w9WgXcQ"));
        return source ? store.chunks(source->id, std::string("transcript")) : std::vector<ChunkRecord>{};
    }

    Json seen(const std::string& url, std::optional<std::string> since = std::nullopt) {
        Json m = {{"version", 1}, {"type", "seen"}, {"url", url}, {"requestId", "q"}};
        if (since) {
            m["since"] = *since;
        }
        return host.handle(m.dump());
    }
};

TEST_F(CaptureTest, CapturedCaptionsBecomeTranscriptChunks) {
    Json r = captions({{0, "Hello <b>there</b> &amp; welcome"}, {4000, "to the talk"}, {65000, "about tides"}},
                      {{"chapters", {{0, "Intro"}, {60000, "  "}, {"x", "bad"}, {61000, "Tides"}}}});
    ASSERT_EQ(r["status"], "accepted") << r.dump();
    auto chunks = transcript();
    ASSERT_GE(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].text.rfind("Hello there & welcome to the talk", 0), 0u) << chunks[0].text;
    EXPECT_EQ(chunks[0].provenance, "captured");
    EXPECT_EQ(chunks[0].heading, "Intro");
    EXPECT_EQ(chunks[0].locator, "t=0");
    EXPECT_EQ(chunks.back().endMs, 70000); // the last cue lasts 5 s
    EXPECT_EQ(chunks.back().heading, "Tides");
    EXPECT_EQ(store.source(std::string_view("youtube:dQw4w9WgXcQ"))->transcriptStatus, "captured");

    // The same captions again: accepted, nothing rewritten.
    int64_t firstID = chunks[0].id;
    EXPECT_EQ(
        captions({{0, "Hello <b>there</b> &amp; welcome"}, {4000, "to the talk"}, {65000, "about tides"}})["status"],
        "accepted");
    EXPECT_EQ(transcript()[0].id, firstID);
}

TEST_F(CaptureTest, CueRules) {
    struct Case {
        const char* name;
        Json cues;
        const char* reason;
    } cases[] = {
        {"not an array", "x", "cues"},
        {"empty", Json::array(), "cues"},
        {"an entry not an array", {{0, "a"}, 5}, "cues"},
        {"too many", Json(std::vector<Json>(6001, {0, "a"})), "cues"},
        {"three elements", {{0, "a", 1}}, "cue"},
        {"blank text", {{0, "   "}}, "cue"},
        {"negative start", {{-1, "a"}}, "cue"},
        {"text too long", {{0, std::string(2001, 'a')}}, "cue"},
        {"backwards", {{1000, "a"}, {999, "b"}}, "cue_order"},
        {"too much text", Json(std::vector<Json>(201, {0, std::string(2000, 'a')})), "too_much_text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json r = captions(c.cues);
        EXPECT_EQ(r["status"], "invalid");
        EXPECT_EQ(r["reason"], c.reason);
    }
    EXPECT_TRUE(store.db.query("SELECT * FROM source").empty());
    Json same = captions({{1000, "a"}, {1000, "b"}});
    ASSERT_EQ(same["status"], "accepted");
    auto cues = transcript()[0].cues;
    ASSERT_EQ(cues.size(), 2u); // equal starts are allowed
    Json bad = send("video.transcript", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://youtu.be/dQw4w9WgXcQ"}},
                    {{"cues", {{0, "a"}}}});
    EXPECT_EQ(bad["reason"], "video_source");
}

TEST_F(CaptureTest, AnImportedTranscriptWinsOverACapture) {
    ASSERT_EQ(captions({{0, "captured words"}})["status"], "accepted");
    int64_t id = store.source(std::string_view("youtube:dQw4w9WgXcQ"))->id;
    store.db.exec("DELETE FROM chunk WHERE kind = 'transcript'");
    store.db.run("INSERT INTO chunk(source_id, kind, text, locator, start_ms, end_ms, retrieved_at, content_hash, "
                 "provenance) VALUES (?, 'transcript', 'imported words', 't=0', 0, 1000, 1, 'h', 'imported')",
                 {Value(id)});
    store.db.run("UPDATE source SET transcript_status = 'imported' WHERE id = ?", {Value(id)});
    Json r = send("video.transcript", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", watch}, {"title", "Renamed"}},
                  {{"cues", {{0, "new captured words"}}}});
    EXPECT_EQ(r["status"], "accepted");
    auto chunks = transcript();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].text, "imported words");
    EXPECT_EQ(store.source(id)->title, "Renamed"); // the source row and title are still refreshed
    EXPECT_EQ(store.source(id)->transcriptStatus, "imported");
}

TEST_F(CaptureTest, SeenAnswersForVideos) {
    EXPECT_EQ(seen("http://example.com")["reason"], "invalid_url");
    EXPECT_EQ(seen("not a url")["reason"], "invalid_url");
    ASSERT_EQ(watchDelta(30000, {{0, 10000}}, {{0, 10000}, {20000, 25000}, {40000, 40500}})["status"], "accepted");
    // Still the visit in progress: not "before".
    Json live = seen(watch + "&t=5");
    EXPECT_EQ(live["known"], false);
    EXPECT_FALSE(live.contains("reason"));
    EXPECT_EQ(live["requestId"], "q");

    clock += 121;
    // Any of the main watch hosts, with tracking, names the same video.
    EXPECT_EQ(seen("https://m.youtube.com/watch?v=dQw4w9WgXcQ&utm_source=x")["known"], true);
    Json known = seen(watch);
    ASSERT_EQ(known["known"], true) << known.dump();
    EXPECT_EQ(known["kind"], "video");
    EXPECT_EQ(known["watched"], (Json{{0, 10000}}));
    EXPECT_EQ(known["played"], (Json{{20000, 25000}})); // the 500 ms piece is dropped
    EXPECT_EQ(known["watchedSeconds"], 10);
    EXPECT_EQ(known["playedSeconds"], 5);
    EXPECT_EQ(known["quotes"], 0);
    EXPECT_EQ(known["firstSeenAt"], ISODate::format(1'800'000'000.0));

    // With `since` at the session's start, the session itself does not count.
    EXPECT_EQ(seen(watch, ISODate::format(1'800'000'000.0))["known"], false);
    EXPECT_EQ(seen(watch, ISODate::format(1'800'000'000.5))["known"], true);

    store.setPaused(true);
    EXPECT_EQ(seen(watch)["reason"], "disabled");
    store.setPaused(false);
    store.setYouTube(false);
    EXPECT_EQ(seen(watch)["reason"], "disabled");
}

TEST_F(CaptureTest, SeenForBackgroundPlaybackOnly) {
    ASSERT_EQ(watchDelta(30000, Json::array(), {{0, 800}, {5000, 5900}})["status"], "accepted");
    clock += 200;
    EXPECT_EQ(seen(watch)["known"], false); // every played piece is under a second
    ASSERT_EQ(watchDelta(31000, Json::array(), {{10000, 14000}})["status"], "accepted");
    clock += 200;
    Json r = seen(watch);
    ASSERT_EQ(r["known"], true);
    EXPECT_EQ(r["watchedSeconds"], 0);
    EXPECT_EQ(r["played"], (Json{{10000, 14000}}));
}

TEST_F(CaptureTest, SeenForArticlesAndQuotesAcrossAddressForms) {
    EXPECT_EQ(seen("https://news.example.com/tides")["reason"], "not_allowed");
    store.approveOrigin("https://news.example.com", true);
    Json payload = {{"sessionId", session},
                    {"activeWallMs", 45000},
                    {"anchors", {{{"locator", "p1"}, {"label", "A"}}, {{"locator", "p2"}, {"label", "B"}}}}};
    ASSERT_EQ(send("article.session_delta",
                   {{"id", "article:https://news.example.com/tides"}, {"url", "https://news.example.com/tides"}},
                   payload)["status"],
              "accepted");
    FileSystem::writeAtomically(tmp.file("board.json"), test::fixture("host/two-quotes.json"));
    EXPECT_EQ(SavedQuotes::count("https://news.example.com/tides", tmp.file("board.json")), 2);
    EXPECT_EQ(SavedQuotes::count("https://news.example.com/other", tmp.file("board.json")), 0);
    EXPECT_EQ(SavedQuotes::count("https://news.example.com/tides", tmp.file("missing.json")), 0);
    clock += 200;
    Json r = seen("https://news.example.com/tides?utm_campaign=z#part");
    ASSERT_EQ(r["known"], true) << r.dump();
    EXPECT_EQ(r["readSeconds"], 45);
    EXPECT_EQ(r["sectionsRead"], 2);
    EXPECT_EQ(r["quotes"], 2);
    EXPECT_EQ(seen("https://news.example.com/account/login")["reason"], "not_allowed");
}

} // namespace
} // namespace brell
