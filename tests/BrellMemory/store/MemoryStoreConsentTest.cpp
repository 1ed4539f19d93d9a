#include <gtest/gtest.h>

#include <functional>

#include "BrellMemory/db/MemoryStore.h"

namespace brell {
namespace {

class ConsentTest : public ::testing::Test {
protected:
    Date clock = 1'800'000'000.0;
    MemoryStore store{":memory:", MemoryConfig::defaults(), [this] { return clock; }};

    int64_t epoch() { return store.state().epoch; }
};

TEST_F(ConsentTest, NewStoreStateIsOffAndUndecided) {
    MemoryState s = store.state();
    EXPECT_FALSE(s.decided);
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.epoch, 1);
    EXPECT_TRUE(s.proactive);
    EXPECT_EQ(s.retentionDays, 30);
    EXPECT_TRUE(s.origins.empty());
    EXPECT_FALSE(s.hostLastSeen);
    EXPECT_EQ(s.status(clock, 180), MemoryStatus::off);
}

TEST_F(ConsentTest, EpochRisesExactlyForChangesOfWhatMayBeCaptured) {
    struct Case {
        const char* name;
        std::function<void(MemoryStore&)> change;
        int64_t bump;
    } cases[] = {
        {"decide", [](MemoryStore& s) { s.decide(true, true); }, 1},
        {"setEnabled", [](MemoryStore& s) { s.setEnabled(false); }, 1},
        {"setPaused", [](MemoryStore& s) { s.setPaused(true); }, 1},
        {"setYouTube", [](MemoryStore& s) { s.setYouTube(true); }, 1},
        {"approveOrigin", [](MemoryStore& s) { s.approveOrigin("https://example.com", true); }, 1},
        {"revokeOrigin never approved", [](MemoryStore& s) { s.revokeOrigin("https://never.example", false); }, 1},
        {"revokeOrigin unusable", [](MemoryStore& s) { s.revokeOrigin("http://example.com", false); }, 0},
        {"approveOrigin unusable", [](MemoryStore& s) { s.approveOrigin("https://localhost", true); }, 0},
        {"setProviderConsent", [](MemoryStore& s) { s.setProviderConsent(true); }, 0},
        {"setProactive", [](MemoryStore& s) { s.setProactive(false); }, 0},
        {"snooze", [](MemoryStore& s) { s.snooze(5.0); }, 0},
        {"touchHost", [](MemoryStore& s) { s.touchHost(); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t before = epoch();
        c.change(store);
        EXPECT_EQ(epoch(), before + c.bump);
    }
}

// A change of what may be captured and its epoch rise are one transaction: when the
// rise fails, the switch has not changed either, and the companion cannot capture under
// the new rules with the old epoch.
TEST_F(ConsentTest, AChangeWhoseEpochRiseFailsChangesNothing) {
    store.decide(true, false);
    store.approveOrigin("https://kept.example", true);
    store.db.exec("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                  "(1, 'article:https://kept.example/a', 'article', 'https://kept.example/a', 'A', "
                  "'https://kept.example', 1, 1)");
    store.db.exec("CREATE TRIGGER refuse_epoch BEFORE UPDATE OF epoch ON consent "
                  "BEGIN SELECT RAISE(ABORT, 'epoch refused'); END");
    struct Case {
        const char* name;
        std::function<void(MemoryStore&)> change;
    } cases[] = {
        {"decide", [](MemoryStore& s) { s.decide(false, false); }},
        {"setEnabled", [](MemoryStore& s) { s.setEnabled(false); }},
        {"setPaused", [](MemoryStore& s) { s.setPaused(true); }},
        {"setYouTube", [](MemoryStore& s) { s.setYouTube(true); }},
        {"approveOrigin", [](MemoryStore& s) { s.approveOrigin("https://new.example", false); }},
        {"approveOrigin again", [](MemoryStore& s) { s.approveOrigin("https://kept.example", false); }},
        {"revokeOrigin with its data", [](MemoryStore& s) { s.revokeOrigin("https://kept.example", true); }},
    };
    const MemoryState before = store.state();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.change(store);
            ADD_FAILURE() << "changed without its epoch";
        } catch (const SQLiteDB::DBError& e) {
            EXPECT_NE(std::string(e.what()).find("epoch refused"), std::string::npos) << e.what();
        }
        EXPECT_EQ(store.state(), before);
        EXPECT_TRUE(store.source(int64_t{1}));
    }
}

TEST_F(ConsentTest, SwitchesLandInTheirColumns) {
    store.decide(false, true);
    MemoryState s = store.state();
    EXPECT_TRUE(s.decided);
    EXPECT_FALSE(s.youtube); // YouTube only together with memory
    store.setEnabled(true);
    store.setPaused(true);
    EXPECT_TRUE(store.state().paused);
    store.setEnabled(true); // switching on clears a pause
    EXPECT_FALSE(store.state().paused);
    EXPECT_TRUE(store.state().capturing());
    store.snooze(clock + 60);
    EXPECT_TRUE(store.state().snoozed(clock));
    EXPECT_FALSE(store.state().snoozed(clock + 61));
    store.snooze(std::nullopt);
    EXPECT_FALSE(store.state().snoozeUntil);
}

TEST_F(ConsentTest, StatusFollowsTheCompanionsSilence) {
    store.setEnabled(true);
    store.touchHost();
    EXPECT_EQ(store.state().hostLastSeen, clock);
    struct Case {
        const char* name;
        double later;
        MemoryStatus expected;
    } cases[] = {
        {"just now", 0, MemoryStatus::active},
        {"exactly at the limit", 180, MemoryStatus::active},
        {"half a second past", 180.5, MemoryStatus::connectionLost},
    };
    MemoryState s = store.state();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s.status(clock + c.later, store.config.connectionLostAfter), c.expected);
    }
    s.hostLastSeen.reset();
    EXPECT_EQ(s.status(clock, 180), MemoryStatus::connectionLost);
    s.paused = true;
    EXPECT_EQ(s.status(clock, 180), MemoryStatus::paused);
}

TEST_F(ConsentTest, HostLastSeenKeepsFractionsAndIgnoresJunk) {
    clock = 1'800'000'000.125;
    store.touchHost();
    EXPECT_EQ(store.meta("host_last_seen"), "1800000000.125");
    EXPECT_EQ(store.state().hostLastSeen, 1'800'000'000.125);
    store.db.exec("UPDATE meta SET value = 'soon' WHERE key = 'host_last_seen'");
    EXPECT_FALSE(store.state().hostLastSeen);
}

TEST_F(ConsentTest, MissingConsentRowIsReported) {
    store.db.exec("DELETE FROM consent");
    try {
        store.state();
        FAIL();
    } catch (const SQLiteDB::DBError& e) {
        EXPECT_EQ(std::string(e.what()), "SQLite error 0: consent row missing");
    }
}

TEST_F(ConsentTest, ApprovingTwiceKeepsOneRowAndTheLatestTextChoice) {
    EXPECT_EQ(store.approveOrigin("  https://Example.COM/path?q=1 ", true), "https://example.com");
    Date first = clock;
    clock += 100;
    store.db.exec("UPDATE allowed_origin SET muted = 1");
    EXPECT_EQ(store.approveOrigin("https://example.com", false), "https://example.com");
    MemoryState s = store.state();
    ASSERT_EQ(s.origins.size(), 1u);
    EXPECT_EQ(s.origins[0], (AllowedOrigin{"https://example.com", false, false, first}));
    EXPECT_EQ(s.epoch, 3);
    EXPECT_FALSE(store.approveOrigin("https://www.youtube.com/watch?v=x", true));
    EXPECT_FALSE(store.approveOrigin("https://youtube.com", true));
}

TEST_F(ConsentTest, RevokingWithDataDeletesTheOriginsArticlesOnly) {
    store.approveOrigin("https://example.com", true);
    store.db.exec(
        "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
        "(1, 'a', 'article', 'https://example.com/a', 'A', 'https://example.com', 1, 1),"
        "(2, 'b', 'article', 'https://other.org/b', 'B', 'https://other.org', 1, 1);"
        "INSERT INTO chunk(id, source_id, kind, text, locator, retrieved_at, content_hash) VALUES "
        "(10, 1, 'article', 'x', 'p1', 1, 'h'), (20, 2, 'article', 'y', 'p1', 1, 'h');"
        "INSERT INTO project(id, name, created_at) VALUES (1, 'P', 1);"
        "INSERT INTO project_task(id, project_id, title, updated_at) VALUES (1, 1, 'T', 1);"
        "INSERT INTO insight(id, project_id, task_id, task_revision, fingerprint, action_signature, evidence_hash,"
        " relationship, title, why_now, next_step, origin, score, score_detail, eligible, consent_epoch, created_at)"
        " VALUES (5, 1, 1, 1, 'f', 'a', 'e', 'r', 't', 'w', 'n', 'model', 1, '{}', 1, 1, 1);"
        "INSERT INTO insight_evidence(insight_id, chunk_id, role) VALUES (5, 10, 'support');"
        "INSERT INTO meta VALUES ('article_version:1', 'd1'), ('transcript_hash:1', 'd2'), ('article_version:2', "
        "'d3');");
    store.revokeOrigin("https://example.com", false);
    EXPECT_EQ(store.db.query("SELECT id FROM source").size(), 2u); // kept
    store.approveOrigin("https://example.com", true);
    store.revokeOrigin("https://example.com/anything", true);
    auto sources = store.db.query("SELECT id FROM source");
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].integer("id"), 2);
    EXPECT_FALSE(store.db.one("SELECT id FROM chunk WHERE id = 10"));
    auto insight = store.db.one("SELECT status, eligible, hold_reason FROM insight WHERE id = 5");
    EXPECT_EQ(insight->text("status"), "withdrawn");
    EXPECT_EQ(insight->integer("eligible"), 0);
    EXPECT_EQ(insight->text("hold_reason"), "stale");
    EXPECT_TRUE(store.state().origins.empty());
    EXPECT_FALSE(store.meta("article_version:1"));
    EXPECT_FALSE(store.meta("transcript_hash:1"));
    EXPECT_EQ(store.meta("article_version:2"), "d3");
}

TEST(CanonicalOriginTest, KeepsHttpsPublicOriginsOnly) {
    struct Case {
        const char* input;
        std::optional<std::string> expected;
    } cases[] = {
        {"https://Example.COM:443/a/b?q=1#f", "https://example.com"},
        {"https://example.com:8443/x", "https://example.com:8443"},
        {"  https://user:pw@news.example.org/ \n", "https://news.example.org"},
        {"http://example.com", std::nullopt},
        {"HTTPS://example.com", "https://example.com"},
        {"https://intranet/", std::nullopt},
        {"example.com", std::nullopt},
        {"https://localhost/", std::nullopt},
        {"https://printer.local", std::nullopt},
        {"https://192.168.1.1", std::nullopt},
        {"https://8.8.8.8", "https://8.8.8.8"},
        {"https://[2001:db8::1]/", std::nullopt},
        {"not a url at all", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(MemoryStore::canonicalOrigin(c.input), c.expected);
    }
}

TEST(CanonicalOriginTest, RecognisesLocalHosts) {
    struct Case {
        const char* host;
        bool local;
    } cases[] = {
        {"localhost", true},        {"a.local", true},     {"dev.localhost", true}, {"svc.internal", true},
        {"10.1.2.3", true},         {"172.20.0.1", true},  {"192.168.1.1", true},   {"169.254.0.1", true},
        {"127.0.0.1", true},        {"172.32.0.1", false}, {"172.15.0.1", false},   {"11.0.0.1", false},
        {"example.com", false},     {"::1", true},         {"1.2.3", false},        {"10.example.com", false},
        {"10.0.0.1.example", true}, // four numeric pieces remain, the first 10
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(MemoryStore::isLocalHost(c.host), c.local);
    }
}

} // namespace
} // namespace brell
