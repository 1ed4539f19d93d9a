#include "BrellMemory/host/HostProtocol.h"

#include <gtest/gtest.h>

#include "BrellMemory/db/MemoryStore.h"
#include "util/ISODate.h"

namespace brell {
namespace {

constexpr Date start = 1'800'000'000.0;
const std::string eventId = "0f8fad5b-d9cb-469f-a165-70867728950e";
const std::string sessionId = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

class HostProtocolTest : public ::testing::Test {
protected:
    Date clock = start;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};
    HostProtocol host{store, "/nonexistent/board.json"};

    Json reply(const Json& message) { return host.handle(message.dump()); }

    // A well-formed session delta under the current epoch; tests spoil one field.
    Json delta() {
        return {{"version", 1},
                {"type", "ingest"},
                {"eventId", eventId},
                {"captureEpoch", store.state().epoch},
                {"observedAt", ISODate::format(clock)},
                {"kind", "video.session_delta"},
                {"source", {{"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}}},
                {"payload", {{"sessionId", sessionId}, {"activeWallMs", 1000}}}};
    }
};

TEST_F(HostProtocolTest, MalformedMessagesGetErrorReplies) {
    struct Case {
        const char* name;
        std::string body;
        Json expected;
    } cases[] = {
        {"not JSON", "{nope", {{"type", "error"}, {"status", "invalid"}, {"reason", "bad_json"}}},
        {"array", "[1]", {{"type", "error"}, {"status", "invalid"}, {"reason", "bad_json"}}},
        {"bad UTF-8", "{\"type\":\"\xff\"}", {{"type", "error"}, {"status", "invalid"}, {"reason", "bad_json"}}},
        {"too deep",
         std::string(600, '[') + std::string(600, ']'),
         {{"type", "error"}, {"status", "invalid"}, {"reason", "bad_json"}}},
        {"empty object",
         "{}",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unsupported_version"}, {"version", 1}}},
        {"no version",
         R"({"type":"hello"})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unsupported_version"}, {"version", 1}}},
        {"version as text",
         R"({"version":"1","type":"hello"})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unsupported_version"}, {"version", 1}}},
        {"version 2",
         R"({"version":2,"type":"hello"})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unsupported_version"}, {"version", 1}}},
        {"version true",
         R"({"version":true,"type":"hello"})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unsupported_version"}, {"version", 1}}},
        {"only a version", R"({"version":1})", {{"type", "error"}, {"status", "invalid"}, {"reason", "unknown_type"}}},
        {"unknown type",
         R"({"version":1,"type":"dance"})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unknown_type"}}},
        {"type not a string",
         R"({"version":1,"type":7})",
         {{"type", "error"}, {"status", "invalid"}, {"reason", "unknown_type"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(host.handle(c.body), c.expected);
    }
    std::string huge(store.config.maxTranscriptMessageBytes + 1, ' ');
    EXPECT_EQ(host.handle(huge), (Json{{"type", "error"}, {"status", "invalid"}, {"reason", "message_too_large"}}));
}

TEST_F(HostProtocolTest, EveryVersionedMessageNotesTheCompanionsVisit) {
    EXPECT_FALSE(store.meta("host_last_seen"));
    reply({{"version", 1}, {"type", "dance"}});
    EXPECT_EQ(store.meta("host_last_seen"), "1800000000");
    clock += 5;
    host.handle(R"({"version":2})");
    EXPECT_EQ(store.meta("host_last_seen"), "1800000000"); // unversioned messages are not visits
}

TEST_F(HostProtocolTest, StateReplyListsUnmutedOriginsAndEchoesUsableRequestIds) {
    store.setEnabled(true);
    store.approveOrigin("https://b.example.com", false);
    store.approveOrigin("https://a.example.com", true);
    store.approveOrigin("https://muted.example.com", true);
    store.db.exec("UPDATE allowed_origin SET muted = 1 WHERE origin = 'https://muted.example.com'");
    Json expected = {{"type", "state"},
                     {"version", 1},
                     {"enabled", true},
                     {"paused", false},
                     {"captureEpoch", 5},
                     {"youtube", false},
                     {"origins",
                      {{{"origin", "https://a.example.com"}, {"indexText", true}},
                       {{"origin", "https://b.example.com"}, {"indexText", false}}}},
                     {"minVideoWallMs", 20000},
                     {"minArticleWallMs", 30000}};
    EXPECT_EQ(reply({{"version", 1}, {"type", "hello"}}), expected);
    expected["requestId"] = std::string(64, 'r');
    EXPECT_EQ(reply({{"version", 1}, {"type", "get_state"}, {"requestId", " " + std::string(64, 'r') + "\n"}}),
              expected);
    expected.erase("requestId");
    EXPECT_EQ(reply({{"version", 1}, {"type", "hello"}, {"requestId", std::string(65, 'r')}}), expected);
    EXPECT_EQ(reply({{"version", 1}, {"type", "hello"}, {"requestId", std::string("a\0b", 3)}}), expected);
    // 64 user-perceived characters, many more bytes.
    std::string flags;
    for (int i = 0; i < 64; ++i) {
        flags += "\U0001F1EC\U0001F1E7";
    }
    EXPECT_EQ(reply({{"version", 1}, {"type", "hello"}, {"requestId", flags}})["requestId"], flags);
}

TEST_F(HostProtocolTest, ApproveOriginNeedsMemoryOnAndAUsableOrigin) {
    Json memoryOff = reply({{"version", 1}, {"type", "approve_origin"}, {"origin", "https://example.com"}});
    EXPECT_EQ(memoryOff["error"], "memory_off");
    EXPECT_TRUE(store.state().origins.empty());

    store.setEnabled(true);
    store.setPaused(true); // pausing does not stop approvals
    Json approved = reply(
        {{"version", 1}, {"type", "approve_origin"}, {"origin", "https://Example.com/page"}, {"requestId", "r1"}});
    EXPECT_FALSE(approved.contains("error"));
    EXPECT_EQ(approved["requestId"], "r1");
    EXPECT_EQ(approved["origins"], (Json{{{"origin", "https://example.com"}, {"indexText", true}}}));

    for (const char* origin : {"http://insecure.example.com", "https://localhost", "https://www.youtube.com", ""}) {
        SCOPED_TRACE(origin);
        EXPECT_EQ(reply({{"version", 1}, {"type", "approve_origin"}, {"origin", origin}})["error"],
                  "origin_not_allowed");
    }
    EXPECT_EQ(reply({{"version", 1}, {"type", "approve_origin"}})["error"], "origin_not_allowed");
    reply({{"version", 1}, {"type", "approve_origin"}, {"origin", "https://text.example.com"}, {"indexText", false}});
    EXPECT_FALSE(store.state().origins[1].indexText);
}

TEST_F(HostProtocolTest, RevokeOriginKeepsWhatWasStored) {
    store.setEnabled(true);
    store.approveOrigin("https://example.com", true);
    store.db.exec("INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen) "
                  "VALUES ('a', 'article', 'https://example.com/a', 'A', 'https://example.com', 1, 1)");
    Json r = reply({{"version", 1}, {"type", "revoke_origin"}, {"origin", "https://example.com"}});
    EXPECT_EQ(r["type"], "state");
    EXPECT_TRUE(r["origins"].empty());
    EXPECT_EQ(store.db.query("SELECT id FROM source").size(), 1u);
    Json unusable = reply({{"version", 1}, {"type", "revoke_origin"}, {"origin", "ftp://example.com"}});
    EXPECT_EQ(unusable["type"], "state");
    EXPECT_FALSE(unusable.contains("error"));
}

TEST_F(HostProtocolTest, IngestEnvelopeIsCheckedInOrder) {
    store.setEnabled(true);
    struct Case {
        const char* name;
        std::function<void(Json&)> spoil;
        const char* reason;
    } cases[] = {
        {"event id missing", [](Json& m) { m.erase("eventId"); }, "event_id"},
        {"event id not a uuid", [](Json& m) { m["eventId"] = "0f8fad5b-d9cb-469f-a165-70867728950"; }, "event_id"},
        {"epoch missing (and everything after)",
         [](Json& m) {
             m.erase("captureEpoch");
             m.erase("kind");
         },
         "epoch"},
        {"epoch as text", [](Json& m) { m["captureEpoch"] = "2"; }, "epoch"},
        {"epoch fractional", [](Json& m) { m["captureEpoch"] = 2.5; }, "epoch"},
        {"observedAt missing", [](Json& m) { m.erase("observedAt"); }, "observed_at"},
        {"observedAt not a date", [](Json& m) { m["observedAt"] = "yesterday"; }, "observed_at"},
        {"observedAt a number", [](Json& m) { m["observedAt"] = 1800000000; }, "observed_at"},
        {"observedAt 300 s ahead", [](Json& m) { m["observedAt"] = ISODate::format(start + 300); },
         "observed_at_range"},
        {"observedAt a day old", [](Json& m) { m["observedAt"] = ISODate::format(start - 86400); },
         "observed_at_range"},
        {"kind unknown", [](Json& m) { m["kind"] = "audio.session_delta"; }, "kind"},
        {"source not an object", [](Json& m) { m["source"] = "x"; }, "shape"},
        {"payload missing", [](Json& m) { m.erase("payload"); }, "shape"},
        {"too large", [](Json& m) { m["source"]["padding"] = std::string(131072, 'x'); }, "message_too_large"},
        {"session id bad", [](Json& m) { m["payload"]["sessionId"] = "s"; }, "session_id"},
        {"active wall negative", [](Json& m) { m["payload"]["activeWallMs"] = -1; }, "active_wall"},
        {"active wall above a day", [](Json& m) { m["payload"]["activeWallMs"] = 86'400'001; }, "active_wall"},
        {"active wall text", [](Json& m) { m["payload"]["activeWallMs"] = "5"; }, "active_wall"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json m = delta();
        c.spoil(m);
        Json r = reply(m);
        EXPECT_EQ(r["type"], "ack");
        EXPECT_EQ(r["status"], "invalid");
        EXPECT_EQ(r["reason"], c.reason);
        EXPECT_EQ(r["captureEpoch"], 2);
        EXPECT_EQ(r.contains("eventId"), std::string(c.reason) != "event_id");
    }
    EXPECT_TRUE(store.db.query("SELECT * FROM ingested_event").empty());
}

TEST_F(HostProtocolTest, IngestEnvelopeBoundariesPass) {
    store.decide(true, true);
    Json m = delta();
    m["source"]["id"] = "youtube:dQw4w9WgXcQ";
    m["payload"]["rangesMs"] = Json::array();
    m["eventId"] = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    m["observedAt"] = ISODate::format(start + 299, false);
    m["payload"]["activeWallMs"] = 86'400'000;
    m["source"]["padding"] = std::string(131072 - m.dump().size() - 14, 'x');
    ASSERT_LE(m.dump().size(), 131072u);
    Json r = reply(m);
    EXPECT_EQ(r["status"], "accepted") << r.dump();
    EXPECT_EQ(r["eventId"], eventId);
}

TEST_F(HostProtocolTest, ConsentComesBeforeTheEpochAndTheEpochBeforeDuplicates) {
    Json m = delta();
    m["captureEpoch"] = 99;
    EXPECT_EQ(reply(m)["status"], "disabled"); // memory off
    store.setEnabled(true);
    store.setPaused(true);
    m["captureEpoch"] = 99;
    EXPECT_EQ(reply(m)["status"], "disabled"); // paused, wrong epoch: consent first
    store.setPaused(false);
    EXPECT_EQ(reply(m)["status"], "stale_epoch");
    store.db.run("INSERT INTO ingested_event(event_id, expires_at) VALUES (?, ?)", {SQLiteDB::Value(eventId), 1e12});
    m["captureEpoch"] = store.state().epoch;
    Json r = reply(m);
    EXPECT_EQ(r["status"], "duplicate");
    EXPECT_FALSE(r.contains("reason"));
    m["captureEpoch"] = 99;
    EXPECT_EQ(reply(m)["status"], "stale_epoch");
}

TEST_F(HostProtocolTest, TranscriptsNeedTheYouTubeSwitch) {
    store.setEnabled(true);
    Json m = delta();
    m["kind"] = "video.transcript";
    m["payload"] = Json::object();
    m["captureEpoch"] = store.state().epoch;
    EXPECT_EQ(reply(m)["status"], "disabled");
    store.setYouTube(true);
    m["captureEpoch"] = store.state().epoch - 1;
    EXPECT_EQ(reply(m)["status"], "stale_epoch");
}

TEST_F(HostProtocolTest, FieldReaders) {
    EXPECT_EQ(HostProtocol::string(Json("  x \n"), 1), "x");
    EXPECT_FALSE(HostProtocol::string(Json("   "), 10));
    EXPECT_FALSE(HostProtocol::string(Json(5), 10));
    EXPECT_FALSE(HostProtocol::string(Json("abc"), 2));
    EXPECT_EQ(HostProtocol::string(Json("e\u0301e\u0301"), 2), "e\u0301e\u0301");
    EXPECT_EQ(HostProtocol::uuid(Json("7C9E6679-7425-40DE-944B-E07FC1F90AE7")), sessionId);
    EXPECT_FALSE(HostProtocol::uuid(Json("7c9e66797425-40de-944b-e07fc1f90ae7a")));
    EXPECT_FALSE(HostProtocol::uuid(Json("7c9e6679-7425-40de-944b-e07fc1f90ag7")));
    EXPECT_FALSE(HostProtocol::uuid(Json(7)));
}

TEST_F(HostProtocolTest, StoreFailuresBecomeRetryReplies) {
    Json m = delta();
    store.db.exec("DROP TABLE consent");
    EXPECT_EQ(reply({{"version", 1}, {"type", "hello"}}),
              (Json{{"type", "error"}, {"status", "retry"}, {"reason", "store_unavailable"}}));
    Json approve = reply({{"version", 1}, {"type", "approve_origin"}, {"origin", "https://example.com"}});
    EXPECT_EQ(approve["reason"], "store_unavailable");
    EXPECT_EQ(approve["error"], "memory_off");
    Json r = reply(m);
    EXPECT_EQ(r, (Json{{"type", "ack"},
                       {"status", "retry"},
                       {"captureEpoch", 0},
                       {"eventId", eventId},
                       {"reason", "store_busy"}}));
}

} // namespace
} // namespace brell
