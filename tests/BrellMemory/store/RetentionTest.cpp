#include <gtest/gtest.h>

#include "BrellMemory/visual/VisualFixture.h"
#include "platform/FileSystem.h"

namespace brell {

static void PrintTo(const MemoryStore::PurgeResult& r, std::ostream* os) {
    *os << "{sources " << r.sources << ", sessions " << r.sessions << ", events " << r.events << ", screen "
        << r.screenCaptures << ", visual " << r.visualSessions << ", insights " << r.insights << ", orphans "
        << r.orphans << "}";
}

namespace {

using Value = SQLiteDB::Value;
using Strings = std::vector<std::string>;
constexpr double day = 86400;

// Memory with sources, sessions, chunks and insights written as the companion and the
// insight engine leave them, on a clock the test sets.
class RetentionTest : public ::testing::Test, protected test::VisualMemory {
protected:
    RetentionTest() {
        store.db.exec("INSERT INTO project(id, name, created_at) VALUES (1, 'Tides', 1);"
                      "INSERT INTO project_task(id, project_id, title, updated_at) VALUES (1, 1, 'Read', 1);");
    }

    Date ago(double days) const { return clock - days * day; }

    void addSource(int64_t id, Date firstSeen, Date lastSeen) {
        store.db.run("INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
                     "(?, ?, 'video', 'https://www.youtube.com/watch?v=x', 'Tides', 'https://www.youtube.com', ?, ?)",
                     {Value(id), Value("youtube:v" + std::to_string(id)), Value(firstSeen), Value(lastSeen)});
        store.db.run("INSERT INTO chunk(id, source_id, kind, text, locator, retrieved_at, content_hash) VALUES "
                     "(?, ?, 'transcript', 'two tides a day', 't=0', ?, 'h')",
                     {Value(id * 10), Value(id), Value(firstSeen)});
    }
    void addSession(const std::string& id, int64_t source, Date lastSeen) {
        store.db.run("INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES (?, ?, 0, ?, ?)",
                     {Value(id), Value(source), Value(lastSeen), Value(lastSeen)});
        store.db.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES (?, 'range', 0, 1000)",
                     {Value(id)});
    }
    // An insight citing the chunk of `source` (when given); returns its id.
    int64_t addInsight(const std::string& status, Date createdAt, std::optional<int64_t> source = std::nullopt) {
        store.db.run("INSERT INTO insight(project_id, task_id, task_revision, fingerprint, action_signature, "
                     "evidence_hash, relationship, title, why_now, next_step, origin, score, score_detail, eligible, "
                     "status, consent_epoch, created_at) VALUES (1, 1, 1, ?, 'a', 'h', 'r', 't', 'w', 'n', "
                     "'template', 0.9, '{}', 1, ?, 1, ?)",
                     {Value("f" + std::to_string(++insights)), Value(status), Value(createdAt)});
        int64_t id = store.db.lastInsertID();
        if (source) {
            store.db.run("INSERT INTO insight_evidence(insight_id, chunk_id, role) VALUES (?, ?, 'support')",
                         {Value(id), Value(*source * 10)});
        }
        return id;
    }
    // "status/eligible/hold reason", or "gone".
    std::string insight(int64_t id) {
        auto row = store.db.one("SELECT status, eligible, hold_reason FROM insight WHERE id = ?", {Value(id)});
        if (!row) {
            return "gone";
        }
        return row->text("status") + "/" + std::to_string(row->integer("eligible")) + "/" +
               row->optText("hold_reason").value_or("-");
    }
    std::vector<int64_t> ids(const std::string& sql) {
        std::vector<int64_t> out;
        for (const auto& row : store.db.query(sql)) {
            out.push_back(row.integer("id"));
        }
        return out;
    }
    Strings sessions() {
        Strings out;
        for (const auto& row : store.db.query("SELECT id FROM session ORDER BY id")) {
            out.push_back(row.text("id"));
        }
        return out;
    }
    int64_t epoch() { return store.state().epoch; }

    int insights = 0;
};

TEST_F(RetentionTest, PurgeRemovesWhatIsOlderThanTheRetention) {
    ASSERT_TRUE(store.setRetention(7));
    addSource(1, ago(20), ago(8)); // not seen for 8 days: goes whole
    addSession("s1", 1, ago(8));
    addSource(2, ago(365), ago(1)); // first seen a year ago, seen yesterday: stays
    addSession("s2-old", 2, ago(8));
    addSession("s2-new", 2, ago(1));
    addSource(3, ago(6.99), ago(6.99)); // just inside the period
    store.db.run("INSERT INTO ingested_event(event_id, expires_at) VALUES ('expired', ?), ('live', ?)",
                 {Value(clock - 1), Value(clock + 3600)});
    store.db.run(
        "INSERT INTO screen_capture(at, last_at, app_bundle, app_name, window_title, text, text_hash) VALUES "
        "(?, ?, 'a', 'A', 'old', 'old window text here', 'h'), (?, ?, 'a', 'A', 'new', 'new window text', 'h')",
        {Value(ago(30)), Value(ago(8)), Value(ago(30)), Value(ago(2))});
    int64_t oldVisual = session(1);
    store.db.run("UPDATE visual_session SET ended_at = ? WHERE id = ?", {Value(ago(8)), Value(oldVisual)});
    int64_t newVisual = session(1);
    int64_t savedCitingGone = addInsight("saved", ago(20), 1);
    int64_t usefulOld = addInsight("useful", ago(20));
    int64_t newOld = addInsight("new", ago(8));
    int64_t newRecent = addInsight("new", ago(1), 2);
    int64_t dismissedOld = addInsight("dismissed", ago(9));
    int64_t epochBefore = epoch();

    auto result = store.purgeExpired();
    EXPECT_EQ(result, (MemoryStore::PurgeResult{1, 1, 1, 1, 1, 2, 0}));
    EXPECT_EQ(ids("SELECT id FROM source ORDER BY id"), (std::vector<int64_t>{2, 3}));
    EXPECT_EQ(ids("SELECT id FROM chunk ORDER BY id"),
              (std::vector<int64_t>{20, 30})); // old chunks of a live source stay
    EXPECT_EQ(sessions(), (Strings{"s2-new"}));
    EXPECT_EQ(count("exposure"), 1);
    EXPECT_EQ(store.db.query("SELECT event_id FROM ingested_event").size(), 1u);
    EXPECT_EQ(count("screen_capture"), 1);
    EXPECT_FALSE(store.visualSession(oldVisual));
    EXPECT_TRUE(store.visualSession(newVisual));
    EXPECT_EQ(folders(), (Strings{std::to_string(newVisual)}));
    EXPECT_EQ(insight(savedCitingGone), "saved/1/-"); // kept by the user; its evidence went with the chunk
    EXPECT_EQ(count("insight_evidence"), 1);
    EXPECT_EQ(insight(usefulOld), "useful/1/-");
    EXPECT_EQ(insight(newOld), "gone");
    EXPECT_EQ(insight(newRecent), "new/1/-");
    EXPECT_EQ(insight(dismissedOld), "gone");
    EXPECT_EQ(epoch(), epochBefore); // forgetting on schedule is no change of what may be captured
    EXPECT_EQ(store.lastPurge(), clock);

    EXPECT_EQ(store.purgeExpired(), MemoryStore::PurgeResult{}); // nothing left to remove
}

TEST_F(RetentionTest, RetentionCutOffs) {
    struct Case {
        int64_t days;
        double lastSeenDaysAgo;
        bool kept;
    };
    const Case cases[] = {{7, 6.9, true},  {7, 7.1, false}, {30, 29, true},
                          {30, 31, false}, {90, 89, true},  {90, 91, false}};
    int64_t id = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.days) + " days, seen " + std::to_string(c.lastSeenDaysAgo) + " days ago");
        addSource(++id, ago(400), ago(c.lastSeenDaysAgo));
        ASSERT_TRUE(store.setRetention(c.days));
        EXPECT_EQ(store.source(id).has_value(), c.kept);
        EXPECT_EQ(store.state().retentionDays, c.days);
    }
}

TEST_F(RetentionTest, AnyOtherRetentionChangesNothing) {
    addSource(1, ago(60), ago(60));
    Date updated = store.db.one("SELECT updated_at FROM consent")->real("updated_at");
    for (int64_t days : {14, 0, -7, 365, 31}) {
        SCOPED_TRACE(days);
        clock += 1;
        EXPECT_FALSE(store.setRetention(days));
        EXPECT_EQ(store.state().retentionDays, 30);
        EXPECT_TRUE(store.source(1)); // no purge either
        EXPECT_EQ(store.db.one("SELECT updated_at FROM consent")->real("updated_at"), updated);
    }
    EXPECT_FALSE(store.lastPurge());
}

TEST_F(RetentionTest, AnExpiredEventIDIsForgottenSoItsResendIsAcceptedAgain) {
    // Accepted 3 days ago with the default 2-day replay window.
    Date acceptedAt = ago(3);
    store.db.run("INSERT INTO ingested_event(event_id, expires_at) VALUES ('e-1', ?)",
                 {Value(acceptedAt + store.config.eventDedupeTTL)});
    store.purgeExpired();
    EXPECT_EQ(count("ingested_event"), 0);
    // The resend's record goes in as a new one.
    store.db.run("INSERT INTO ingested_event(event_id, expires_at) VALUES ('e-1', ?)", {Value(clock + 1)});
}

TEST_F(RetentionTest, MutingWithdrawsAndUnmutingDoesNotRestore) {
    addSource(1, ago(1), ago(1));
    addSource(2, ago(1), ago(1));
    int64_t citing = addInsight("new", ago(1), 1);
    int64_t saved = addInsight("saved", ago(1), 1);
    int64_t other = addInsight("new", ago(1), 2);
    int64_t epochBefore = epoch();

    EXPECT_TRUE(store.setSourceMuted(1, true));
    EXPECT_TRUE(store.source(1)->muted);
    EXPECT_EQ(insight(citing), "withdrawn/0/stale");
    EXPECT_EQ(insight(saved), "saved/1/-"); // what the user kept stays theirs
    EXPECT_EQ(insight(other), "new/1/-");
    EXPECT_EQ(count("chunk"), 2); // muting keeps every row

    EXPECT_TRUE(store.setSourceMuted(1, false));
    EXPECT_FALSE(store.source(1)->muted);
    EXPECT_EQ(insight(citing), "withdrawn/0/stale");
    EXPECT_EQ(epoch(), epochBefore);
    EXPECT_FALSE(store.setSourceMuted(99, true));
}

TEST_F(RetentionTest, DeletingASourceRaisesTheEpoch) {
    addSource(1, ago(1), ago(1));
    addSession("s1", 1, ago(1));
    int64_t citing = addInsight("new", ago(1), 1);
    store.db.exec("INSERT INTO meta VALUES ('transcript_hash:1', 'd');");
    int64_t epochBefore = epoch();
    EXPECT_TRUE(store.deleteSource(1));
    EXPECT_FALSE(store.source(1));
    EXPECT_EQ(count("chunk") + count("session") + count("exposure"), 0);
    EXPECT_EQ(insight(citing), "withdrawn/0/stale");
    EXPECT_FALSE(store.meta("transcript_hash:1"));
    EXPECT_EQ(epoch(), epochBefore + 1);
    EXPECT_FALSE(store.deleteSource(1));
    EXPECT_EQ(epoch(), epochBefore + 2);
}

TEST_F(RetentionTest, ClearingForgetsMaterialAndKeepsTheUsersChoices) {
    store.setEnabled(true);
    store.approveOrigin("https://example.com", true);
    addSource(1, ago(1), ago(1));
    addSession("s1", 1, ago(1));
    int64_t open = addInsight("new", ago(1), 1);
    int64_t saved = addInsight("saved", ago(1), 1);
    store.db.exec("INSERT INTO meta VALUES ('transcript_hash:1', 'd'), ('article_version:12', 'v'), "
                  "('transcript_hashes', 'not a digest key');");
    store.recordScreen("com.apple.Safari", "Safari", "Tides", std::nullopt, "The moon pulls the sea twice a day.");
    session(2);
    int64_t epochBefore = epoch();

    store.clearMemory();
    EXPECT_EQ(count("source") + count("chunk") + count("session") + count("screen_capture"), 0);
    EXPECT_EQ(count("visual_session") + count("visual_frame"), 0);
    EXPECT_TRUE(files().empty());
    EXPECT_EQ(insight(open), "withdrawn/0/stale");
    EXPECT_EQ(insight(saved), "saved/1/-");
    EXPECT_EQ(count("project") + count("project_task"), 2);
    EXPECT_FALSE(store.meta("transcript_hash:1"));
    EXPECT_FALSE(store.meta("article_version:12"));
    EXPECT_TRUE(store.meta("transcript_hashes"));
    MemoryState s = store.state();
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.origins.size(), 1u);
    EXPECT_EQ(s.epoch, epochBefore + 1);
}

TEST_F(RetentionTest, ClearingAnEmptyMemoryStillRaisesTheEpoch) {
    int64_t epochBefore = epoch();
    store.clearMemory();
    EXPECT_EQ(epoch(), epochBefore + 1);
}

// Each operation is all or nothing: a failing statement late in its transaction leaves
// every row and every picture as it was.
TEST(RetentionFailureTest, AFailureInsideEachOperationChangesNothing) {
    struct Case {
        const char* name;
        const char* event;
        const char* table;
        std::function<void(MemoryStore&)> act;
    };
    const Case cases[] = {
        {"purge, failing at its last step", "INSERT", "meta", [](MemoryStore& s) { s.purgeExpired(); }},
        {"purge, failing at the insights", "DELETE", "insight", [](MemoryStore& s) { s.purgeExpired(); }},
        {"deleting a source, failing at the epoch", "UPDATE", "consent", [](MemoryStore& s) { s.deleteSource(1); }},
        {"muting, failing at the withdrawal", "UPDATE", "insight", [](MemoryStore& s) { s.setSourceMuted(1, true); }},
        {"clearing, failing at the epoch", "UPDATE", "consent", [](MemoryStore& s) { s.clearMemory(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VisualMemory m;
        m.store.db.exec(
            "INSERT INTO project(id, name, created_at) VALUES (1, 'P', 1);"
            "INSERT INTO project_task(id, project_id, title, updated_at) VALUES (1, 1, 'T', 1);"
            "INSERT INTO source(id, key, kind, url, title, origin, first_seen, last_seen) VALUES "
            "(1, 'youtube:a', 'video', 'u', 'T', 'o', 1, 1);"
            "INSERT INTO chunk(id, source_id, kind, text, locator, retrieved_at, content_hash) VALUES "
            "(10, 1, 'transcript', 'x', 't=0', 1, 'h');"
            "INSERT INTO insight(id, project_id, task_id, task_revision, fingerprint, action_signature, evidence_hash,"
            " relationship, title, why_now, next_step, origin, score, score_detail, eligible, consent_epoch, "
            "created_at)"
            " VALUES (5, 1, 1, 1, 'f', 'a', 'e', 'r', 't', 'w', 'n', 'model', 1, '{}', 1, 1, 1);"
            "INSERT INTO insight_evidence(insight_id, chunk_id, role) VALUES (5, 10, 'support');");
        int64_t visual = m.session(2);
        m.store.db.run("UPDATE visual_session SET ended_at = 1 WHERE id = ?", {Value(visual)});
        auto files = m.files();
        auto snapshot = [&] {
            return m.store.db
                .query("SELECT (SELECT count(*) FROM source) AS sources, (SELECT count(*) FROM chunk) "
                       "AS chunks, (SELECT group_concat(status) FROM insight) AS insights, "
                       "(SELECT count(*) FROM visual_frame) AS frames, (SELECT epoch FROM consent) AS "
                       "epoch, (SELECT muted FROM source) AS muted")[0]
                .values;
        };
        auto before = snapshot();
        m.failOn(c.event, c.table);
        EXPECT_THROW(c.act(m.store), SQLiteDB::DBError);
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(m.files(), files);
        EXPECT_FALSE(m.store.lastPurge());
    }
}

} // namespace
} // namespace brell
