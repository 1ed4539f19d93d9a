// Insight records: loading them with their evidence, labels, feedback and restoring.
#include <gtest/gtest.h>

#include "BrellMemory/insights/InsightMemory.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

class InsightTest : public ::testing::Test, protected test::InsightMemory {
protected:
    std::vector<int64_t> ids(const std::vector<Insight>& list) {
        std::vector<int64_t> out;
        for (const auto& i : list) {
            out.push_back(i.id);
        }
        return out;
    }
};

TEST_F(InsightTest, StatusesAndReasonsReadTheirStoredValues) {
    for (auto status : allInsightStatuses) {
        SCOPED_TRACE(rawValue(status));
        EXPECT_EQ(insightStatusFromStored(rawValue(status)), status);
    }
    EXPECT_EQ(insightStatusFromStored("archived"), InsightStatus::new_);
    EXPECT_EQ(insightStatusFromRaw("archived"), std::nullopt);
    struct Case {
        const char* raw;
        InsightStatus sets;
    } cases[] = {{"useful", InsightStatus::useful},
                 {"saved", InsightStatus::saved},
                 {"not_relevant", InsightStatus::notRelevant},
                 {"known", InsightStatus::known},
                 {"wrong_project", InsightStatus::wrongProject},
                 {"dismissed", InsightStatus::dismissed},
                 {"mute_source", InsightStatus::dismissed}};
    ASSERT_EQ(std::size(cases), allFeedbackReasons.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].raw);
        EXPECT_EQ(rawValue(allFeedbackReasons[i]), cases[i].raw); // declaration order
        auto reason = feedbackReasonFromRaw(cases[i].raw);
        ASSERT_TRUE(reason);
        EXPECT_EQ(statusSetBy(*reason), cases[i].sets);
    }
    EXPECT_EQ(feedbackReasonFromRaw("Useful"), std::nullopt);
}

TEST_F(InsightTest, EvidenceLabelsNameTheSourceAndThePlace) {
    auto chunk = [](std::string kind, std::string title, std::optional<std::string> heading = std::nullopt,
                    std::optional<int64_t> startMs = std::nullopt) {
        ChunkRecord c;
        c.kind = std::move(kind);
        c.sourceTitle = std::move(title);
        c.heading = std::move(heading);
        c.startMs = startMs;
        return c;
    };
    std::string forty = "Tuning the espresso grinder for light r"; // 39 characters
    forty += "o";
    ASSERT_EQ(forty.size(), 40u);
    struct Case {
        const char* name;
        ChunkRecord chunk;
        std::optional<int64_t> cueMs;
        std::string label;
    } cases[] = {
        {"transcript at the cue", chunk("transcript", "Talk", {}, 5000), 724000, "Talk \u00b7 12:04"},
        {"transcript at its start", chunk("transcript", "Talk", {}, 5000), {}, "Talk \u00b7 00:05"},
        {"transcript without either", chunk("transcript", "Talk"), {}, "Talk \u00b7 00:00"},
        {"past an hour", chunk("transcript", "Talk"), 3723000, "Talk \u00b7 1:02:03"},
        {"comment", chunk("comment", "Talk"), {}, "Comment on Talk"},
        {"article with heading",
         chunk("article", "Essay", std::string(40, 'h')),
         {},
         "Essay \u00b7 " + std::string(30, 'h')},
        {"article without heading", chunk("article", "Essay"), {}, "Essay"},
        {"long article title", chunk("article", forty, "Setup"), {}, forty.substr(0, 35) + "\u2026 \u00b7 Setup"},
        {"36 characters stay whole", chunk("comment", std::string(36, 't')), {}, "Comment on " + std::string(36, 't')},
        {"37 are cut", chunk("metadata", std::string(37, 't')), {}, std::string(35, 't') + "\u2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MemoryStore::evidenceLabel(c.chunk, c.cueMs), c.label);
    }
}

TEST_F(InsightTest, LoadsOnlyAvailableEvidenceInOrderWithCueExposureAndLink) {
    int64_t video = addSource("video", "Grinder talk");
    int64_t article = addSource("article", "Roast guide");
    // Cues at 0, 10 s and 20 s; "burr" is in the second, "channeling" in the third.
    int64_t talk = addChunk(video, {.text = "intro words here burr alignment matters channeling shows up",
                                    .startMs = 0,
                                    .cues = "[[0,0],[17,10000],[40,20000]]"});
    int64_t gone = addChunk(video, {.text = "unavailable passage", .startMs = 60000, .available = false});
    int64_t essay = addChunk(article, {.kind = "article", .text = std::string(150, 'x'), .heading = "Dialing in"});
    auto [project, task] = addProject("Espresso");
    int64_t id = addInsight(
        project,
        {.chunks = {essay, gone, talk}, .nextStep = "check the channeling", .claims = {"", "", "burr alignment"}});
    // A viewing session that watched the first 15 seconds.
    store.db.run("INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s', ?, 1, 1, 1)",
                 {Value(video)});
    store.db.exec("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s', 'range', 0, 15000)");

    auto insight = store.insight(id);
    ASSERT_TRUE(insight);
    ASSERT_EQ(insight->evidence.size(), 2u);
    const auto& first = insight->evidence[0];
    EXPECT_EQ(first.id(), essay);
    EXPECT_EQ(first.role, "symptom");
    EXPECT_EQ(first.claim, "");
    EXPECT_EQ(first.label, "Roast guide \u00b7 Dialing in");
    EXPECT_EQ(first.exposure, ExposureLabel::uncertain); // never read in a session
    EXPECT_EQ(first.openURL, MemoryStore::openURL(first.chunk, first.cueMs, std::string(120, 'x')));
    const auto& second = insight->evidence[1];
    EXPECT_EQ(second.id(), talk);
    EXPECT_EQ(second.cueMs, 10000); // from its claim, not from the next step
    EXPECT_EQ(second.label, "Grinder talk \u00b7 00:10");
    EXPECT_EQ(second.exposure, ExposureLabel::playedWhileVisible);
    EXPECT_NE(second.openURL.find("#t=10s"), std::string::npos) << second.openURL;
    EXPECT_FALSE(insight->isFromFixture());

    // Without a claim the next step gives the terms.
    store.db.run("UPDATE insight_evidence SET claim = NULL WHERE chunk_id = ?", {Value(talk)});
    insight = store.insight(id);
    EXPECT_EQ(insight->evidence[1].cueMs, 20000);
    EXPECT_EQ(insight->evidence[1].exposure, ExposureLabel::outsideObservedPlayback);

    // Every passage gone: the insight still loads, with no evidence.
    store.db.run("UPDATE chunk SET available = 0");
    insight = store.insight(id);
    ASSERT_TRUE(insight);
    EXPECT_TRUE(insight->evidence.empty());
    EXPECT_FALSE(store.insight(id + 1));
}

TEST_F(InsightTest, ReadsItsOwnColumns) {
    int64_t video = addSource("video", "Talk");
    int64_t fixture = addChunk(video, {.provenance = "fixture"});
    auto [project, task] = addProject("Espresso");
    int64_t id = addInsight(
        project, {.status = "saved", .chunks = {fixture}, .score = 0.7, .eligible = false, .holdReason = "low_value"});
    store.db.run("UPDATE insight SET expected_outcome = 'sweeter', model = 'Claude', last_shown = 5 WHERE id = ?",
                 {Value(id)});
    auto i = store.insight(id);
    ASSERT_TRUE(i);
    EXPECT_EQ(i->projectID, project);
    EXPECT_EQ(i->taskID, task);
    EXPECT_EQ(i->taskRevision, 1);
    EXPECT_EQ(i->relationship, "diagnosis");
    EXPECT_EQ(i->title, "Title");
    EXPECT_EQ(i->whyNow, "Why");
    EXPECT_EQ(i->nextStep, "compare the grind");
    EXPECT_EQ(i->actionSignature, "compar grind");
    EXPECT_EQ(i->expectedOutcome, "sweeter");
    EXPECT_EQ(i->uncertainty, std::nullopt);
    EXPECT_EQ(i->origin, "model");
    EXPECT_EQ(i->model, "Claude");
    EXPECT_DOUBLE_EQ(i->score, 0.7);
    EXPECT_FALSE(i->eligible);
    EXPECT_EQ(i->holdReason, "low_value");
    EXPECT_EQ(i->status, Insight::Status::saved);
    EXPECT_EQ(i->lastShown, 5.0);
    EXPECT_TRUE(i->isFromFixture());
}

TEST_F(InsightTest, ListsTheAskedStatusesEligibleFirstThenByScoreThenNewest) {
    auto [project, task] = addProject("Espresso");
    auto [other, otherTask] = addProject("Tea");
    int64_t heldHigh = addInsight(project, {.score = 0.95, .eligible = false});
    int64_t low = addInsight(project, {.status = "shown", .score = 0.85});
    int64_t high = addInsight(project, {.score = 0.9});
    int64_t highNewer = addInsight(project, {.score = 0.9});
    addInsight(project, {.status = "dismissed", .score = 1.0});
    addInsight(other, {.score = 1.0});
    EXPECT_EQ(ids(store.insights(project, {InsightStatus::new_, InsightStatus::shown})),
              (std::vector<int64_t>{highNewer, high, low, heldHigh}));
    EXPECT_TRUE(store.insights(project, {}).empty());
    EXPECT_EQ(store.insights(project, {InsightStatus::dismissed}).size(), 1u);
}

TEST_F(InsightTest, FeedbackRecordsTheAnswerAndSetsItsStatus) {
    auto [project, task] = addProject("Espresso");
    for (auto reason : allFeedbackReasons) {
        SCOPED_TRACE(rawValue(reason));
        int64_t id = addInsight(project, {.status = "shown", .signature = "sig " + rawValue(reason)});
        clock += 1;
        ASSERT_TRUE(store.feedback(id, reason, std::nullopt));
        EXPECT_EQ(state(id), rawValue(statusSetBy(reason)));
        auto row = store.db.one("SELECT * FROM feedback ORDER BY id DESC LIMIT 1");
        EXPECT_EQ(row->integer("insight_id"), id);
        EXPECT_EQ(row->integer("project_id"), project);
        EXPECT_EQ(row->text("reason"), rawValue(reason));
        EXPECT_EQ(row->text("action_signature"), "sig " + rawValue(reason));
        EXPECT_TRUE((*row)["source_id"].isNull());
        EXPECT_EQ(row->real("at"), clock);
    }
    // Nothing about a missing insight.
    EXPECT_FALSE(store.feedback(999, FeedbackReason::useful, std::nullopt));
    EXPECT_EQ(store.db.one("SELECT count(*) AS n FROM feedback")->integer("n"), 7);
}

TEST_F(InsightTest, AWithdrawnInsightStaysWithdrawnWhateverTheFeedback) {
    auto [project, task] = addProject("Espresso");
    int64_t id = addInsight(project, {.status = "withdrawn", .eligible = false, .holdReason = "duplicate"});
    ASSERT_TRUE(store.feedback(id, FeedbackReason::saved, std::nullopt));
    EXPECT_EQ(state(id), "withdrawn/duplicate");
    EXPECT_FALSE(store.restoreInsight(id));
    // The answer still counts against proposing the step again.
    EXPECT_EQ(store.suppressedSignatures(project), (std::vector<std::string>{"compar grind"}));
}

TEST_F(InsightTest, MutingASourceThroughFeedbackWithdrawsWhatCitesItEverywhere) {
    int64_t video = addSource("video", "Talk");
    int64_t other = addSource("video", "Other");
    int64_t a = addChunk(video, {});
    int64_t b = addChunk(other, {});
    auto [espresso, t1] = addProject("Espresso");
    auto [tea, t2] = addProject("Tea");
    int64_t answered = addInsight(espresso, {.status = "shown", .chunks = {a, b}});
    int64_t sameSource = addInsight(tea, {.status = "new", .chunks = {a}});
    int64_t kept = addInsight(tea, {.status = "saved", .chunks = {a}});
    int64_t unrelated = addInsight(tea, {.status = "new", .chunks = {b}});

    ASSERT_TRUE(store.feedback(answered, FeedbackReason::muteSource, video));
    EXPECT_TRUE(store.source(video)->muted);
    EXPECT_EQ(state(answered), "withdrawn/stale");
    EXPECT_EQ(state(sameSource), "withdrawn/stale");
    EXPECT_EQ(state(kept), "saved");
    EXPECT_EQ(state(unrelated), "new");
    EXPECT_EQ(store.db.one("SELECT source_id FROM feedback")->integer("source_id"), video);
    EXPECT_EQ(store.suppressedSignatures(espresso), std::vector<std::string>{}); // mute_source does not suppress

    // Without a source it only records the answer and dismisses.
    ASSERT_TRUE(store.feedback(unrelated, FeedbackReason::muteSource, std::nullopt));
    EXPECT_EQ(state(unrelated), "dismissed");
    EXPECT_FALSE(store.source(other)->muted);
}

TEST_F(InsightTest, OnlyTurnedDownInsightsCanBeRestored) {
    auto [project, task] = addProject("Espresso");
    struct Case {
        const char* status;
        bool restored;
    } cases[] = {{"new", false},         {"shown", false},        {"saved", false},
                 {"useful", false},      {"dismissed", true},     {"known", true},
                 {"not_relevant", true}, {"wrong_project", true}, {"withdrawn", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        int64_t id = addInsight(project, {.status = c.status});
        EXPECT_EQ(store.restoreInsight(id), c.restored);
        EXPECT_EQ(state(id).substr(0, std::string(c.restored ? "shown" : c.status).size()),
                  c.restored ? "shown" : c.status);
    }
}

TEST_F(InsightTest, SuppressedSignaturesAreTheStepsDealtWithInThisProject) {
    auto [project, task] = addProject("Espresso");
    auto [other, otherTask] = addProject("Tea");
    auto answer = [&](int64_t p, const char* signature, const char* reason) {
        store.db.run("INSERT INTO feedback(project_id, reason, action_signature, at) VALUES (?, ?, ?, 1)",
                     {Value(p), Value(reason), Value(signature ? Value(signature) : Value())});
    };
    answer(project, "grind finer", "known");
    answer(project, "tamp harder", "not_relevant");
    answer(project, nullptr, "dismissed");
    answer(project, "grind finer", "useful");
    answer(project, "preheat cup", "saved");
    answer(project, "wrong one", "wrong_project");
    answer(project, "muted one", "mute_source");
    answer(project, "water temp", "dismissed");
    answer(other, "other project", "known");
    EXPECT_EQ(store.suppressedSignatures(project),
              (std::vector<std::string>{"grind finer", "tamp harder", "grind finer", "preheat cup", "water temp"}));
}

} // namespace
} // namespace brell
