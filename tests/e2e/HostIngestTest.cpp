// Viewing sessions sent through the real companion host into a real memory file, with
// consent switched by the real brell command.
#include <gtest/gtest.h>

#include "BrellMemory/db/SQLiteDB.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"

#include <chrono>

namespace brell {
namespace {

const std::string session = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

class HostIngestTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");
    int events = 0;

    std::map<std::string, std::string> env() {
        return {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}};
    }

    void brell(std::vector<std::string> args) {
        auto r = test::brell(std::move(args), env());
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }

    int64_t epoch() {
        auto r = test::brell({"memory", "status", "--json"}, env());
        return Json::parse(r.out)["epoch"].get<int64_t>();
    }

    Json delta(const std::string& kind, Json source, Json payload) {
        char id[37];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", ++events);
        double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        payload["sessionId"] = session;
        return {{"version", 1},
                {"type", "ingest"},
                {"eventId", id},
                {"captureEpoch", epoch()},
                {"observedAt", ISODate::format(now)},
                {"kind", kind},
                {"source", source},
                {"payload", payload}};
    }

    std::vector<Json> host(const std::vector<Json>& messages) {
        std::string input;
        for (const auto& m : messages) {
            input += test::frame(m.dump());
        }
        test::ProcessOptions options;
        options.setEnv = env();
        options.input = input;
        auto r = test::run(test::binary("brell-memory-host"), options);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<Json> replies;
        for (const auto& body : test::unframe(r.out)) {
            replies.push_back(Json::parse(body));
        }
        return replies;
    }
};

TEST_F(HostIngestTest, AVideoSessionAndAnArticleAreRemembered) {
    brell({"memory", "on"});
    brell({"memory", "youtube", "on"});
    brell({"origins", "approve", "https://news.example.com", "--no-text"});
    Json video = {
        {"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}, {"title", "Tides"}};
    Json article = {{"id", "article:https://news.example.com/tides"}, {"url", "https://news.example.com/tides#top"}};
    auto replies = host({
        delta("video.session_delta", video, {{"activeWallMs", 19999}, {"rangesMs", {{0, 5000}}}}),
        delta("video.session_delta", video,
              {{"activeWallMs", 20000}, {"rangesMs", {{0, 10000}}}, {"playedRangesMs", {{0, 12000}}}}),
        delta("video.session_delta", video, {{"activeWallMs", 3000}, {"rangesMs", {{10500, 20000}}}}),
        delta("video.session_delta", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://youtu.be/dQw4w9WgXcQ"}},
              {{"activeWallMs", 30000}, {"rangesMs", Json::array()}}),
        delta("article.session_delta", article,
              {{"activeWallMs", 40000},
               {"anchors", {{{"locator", "p1"}, {"label", "Intro"}}}},
               {"extraction", {{"blocks", {{{"locator", "p1"}, {"text", "Kept as a visit only."}}}}}}}),
    });
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[0]["reason"], "below_threshold");
    EXPECT_EQ(replies[1]["status"], "accepted");
    EXPECT_EQ(replies[2]["status"], "accepted");
    EXPECT_EQ(replies[3]["reason"], "video_source");
    // The session id belongs to the video now: reusing it for the article is refused.
    EXPECT_EQ(replies[4]["reason"], "session_source_mismatch");

    SQLiteDB memory(db);
    EXPECT_EQ(memory.one("SELECT active_wall_ms FROM session")->integer("active_wall_ms"), 20000);
    auto ranges = memory.query("SELECT kind, start_ms, end_ms FROM exposure ORDER BY kind");
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].text("kind"), "played");
    EXPECT_EQ(ranges[1].integer("end_ms"), 20000);
    EXPECT_EQ(memory.one("SELECT count(*) AS n FROM ingested_event")->integer("n"), 2);
    EXPECT_EQ(memory.one("SELECT count(*) AS n FROM source")->integer("n"), 1);
    EXPECT_EQ(memory.one("PRAGMA integrity_check")->text("integrity_check"), "ok");
}

TEST_F(HostIngestTest, AConsentChangeBetweenDeltasMakesTheOldEpochStale) {
    brell({"memory", "on"});
    brell({"memory", "youtube", "on"});
    Json video = {{"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}};
    Json first = delta("video.session_delta", video, {{"activeWallMs", 25000}, {"rangesMs", Json::array()}});
    brell({"memory", "pause"});
    brell({"memory", "resume"});
    auto replies = host({first});
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0]["status"], "stale_epoch");
    EXPECT_EQ(replies[0]["captureEpoch"], 5);
    SQLiteDB memory(db);
    EXPECT_EQ(memory.one("SELECT count(*) AS n FROM source")->integer("n"), 0);
}

} // namespace
} // namespace brell
