// The insight engine with a scripted model (no network): outcomes, the pack digest,
// the daily budget, deadlines and late answers, a task changed while the model works.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "BrellMemory/insights/InsightEngine.h"
#include "BrellMemory/insights/InsightMemory.h"
#include "platform/CancelToken.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;
using Prepared = InsightEngine::Prepared;

// A model that cites the first two passages it is given and finds every claim
// supported, optionally after a delay or with a failure; counts its calls.
class ScriptedModel : public InsightModel {
public:
    std::string label() const override { return "Scripted"; }
    double timeout() const override { return 0; }

    std::optional<Json> propose(const Json& input, const CancelToken& cancel) const override {
        ++proposals;
        if (beforeAnswer) {
            beforeAnswer();
        }
        if (delay > 0) {
            if (honoursCancel && cancel.waitFor(std::chrono::duration<double>(delay))) {
                throw std::runtime_error("cancelled");
            }
            if (!honoursCancel) {
                std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            }
        }
        if (fails) {
            throw std::runtime_error("HTTP 500");
        }
        const Json& evidence = input["evidence"];
        if (evidence.size() < 2) {
            return Json{{"candidate", nullptr}};
        }
        Json candidate = {{"relationship", "diagnosis"},
                          {"projectId", input["task"]["projectId"]},
                          {"taskId", input["task"]["taskId"]},
                          {"title", "Check the burr alignment"},
                          {"whyNow", "Sour shots point at the grinder"},
                          {"nextStep", "Realign the burrs and pull one shot"},
                          {"expectedOutcome", "A sweeter shot"},
                          {"uncertainty", nullptr},
                          {"evidence", Json::array({{{"chunkId", evidence[0]["chunkId"]},
                                                     {"role", "cause"},
                                                     {"claim", "burrs drift out of line"}},
                                                    {{"chunkId", evidence[1]["chunkId"]},
                                                     {"role", "corroboration"},
                                                     {"claim", "alignment changes taste"}}})},
                          {"dedupeKey", "k"}};
        return Json{{"candidate", candidate}};
    }
    Json verify(const Json& input, const CancelToken&) const override {
        ++verifications;
        Json claims = Json::array();
        for (std::size_t i = 0; i < input["claims"].size(); ++i) {
            claims.push_back({{"index", i}, {"verdict", "supported"}});
        }
        return {{"claims", claims}, {"differences", nullptr}, {"actionFollows", true}};
    }

    double delay = 0;
    bool honoursCancel = true;
    bool fails = false;
    std::function<void()> beforeAnswer;
    mutable std::atomic<int> proposals = 0;
    mutable std::atomic<int> verifications = 0;
};

MemoryConfig fastConfig() {
    MemoryConfig config;
    config.modelTimeout = 0.2;
    return config;
}

// A memory about espresso: a talk watched only at its start and an article never read,
// so that both a model and the template have something to cite.
class InsightEngineTest : public ::testing::Test, protected test::InsightMemory {
protected:
    InsightEngineTest() {
        store.~MemoryStore();
        new (&store) MemoryStore(":memory:", fastConfig(), [this] { return clock; });
        store.setEnabled(true);
        int64_t talk = addSource("video", "Grinder talk");
        int64_t guide = addSource("article", "Espresso guide");
        addChunk(talk, {.text = "sour espresso shots come from burr misalignment in the grinder",
                        .startMs = 60000,
                        .cues = "[[0,60000]]"});
        addChunk(guide,
                 {.kind = "article", .text = "grinder burr alignment changes espresso taste", .heading = "Burrs"});
        store.db.run(
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('s', ?, 1, 1, 1)",
            {Value(talk)});
        store.db.exec("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES ('s', 'range', 0, 10000)");
        store.db.run(
            "INSERT INTO session(id, source_id, active_wall_ms, started_at, last_seen) VALUES ('a', ?, 1, 1, 1)",
            {Value(guide)});
        std::tie(project, task) = addProject("Espresso", "Fix sour espresso");
        store.setTask(project, "Fix sour espresso", "grinder burr");
        model = std::make_shared<ScriptedModel>();
    }

    InsightEngine engine(bool allowed = true) {
        return InsightEngine(store, model, [allowed] { return allowed; });
    }
    int64_t count(const std::string& where = "1") {
        return store.db.one("SELECT count(*) AS n FROM insight WHERE " + where)->integer("n");
    }

    int64_t project = 0;
    int64_t task = 0;
    std::shared_ptr<ScriptedModel> model;
};

TEST_F(InsightEngineTest, TheModelsDraftIsStoredEligibleAndAnUnchangedPackIsCached) {
    auto e = engine();
    EXPECT_EQ(e.prepare(project, false), Prepared::generated(1));
    auto stored = store.insights(project, {InsightStatus::new_});
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].origin, "model");
    EXPECT_EQ(stored[0].model, "Scripted");
    EXPECT_TRUE(stored[0].eligible) << stored[0].holdReason.value_or("");
    ASSERT_TRUE(stored[0].scores);
    EXPECT_DOUBLE_EQ(stored[0].scores->total, stored[0].score);
    EXPECT_EQ(stored[0].evidence.size(), 2u);
    EXPECT_EQ(stored[0].evidence[0].verdict, "supported");
    EXPECT_EQ(store.modelJobsLeft(), 9);

    EXPECT_EQ(e.prepare(project, false), Prepared::cached());
    EXPECT_EQ(model->proposals, 1);
    EXPECT_EQ(store.modelJobsLeft(), 9);
    EXPECT_EQ(e.prepare(project, true), Prepared::generated(1)); // the same fingerprint, still new: replaced
    EXPECT_EQ(model->proposals, 2);
    EXPECT_EQ(count(), 1);
}

TEST_F(InsightEngineTest, WithoutAModelOrPermissionATemplateIsHeld) {
    struct Case {
        const char* name;
        bool withModel;
        bool allowed;
    } cases[] = {{"no model", false, true}, {"not allowed", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.db.exec("DELETE FROM insight; DELETE FROM meta WHERE key LIKE 'pack:%'");
        InsightEngine e(store, c.withModel ? model : nullptr, [&] { return c.allowed; });
        EXPECT_EQ(e.prepare(project, false), Prepared::localOnly("local_only"));
        auto held = store.insights(project, {InsightStatus::new_});
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0].origin, "template");
        EXPECT_FALSE(held[0].eligible);
        EXPECT_TRUE(held[0].holdReason);
        EXPECT_EQ(model->proposals, 0);
        // Nothing changed and still no model: nothing to do.
        EXPECT_EQ(e.prepare(project, false), Prepared::cached());
    }
    // Once a model may be asked, the same pack goes to it.
    EXPECT_EQ(engine().prepare(project, false), Prepared::generated(1));
    EXPECT_EQ(model->proposals, 1);
}

TEST_F(InsightEngineTest, TheBudgetRunsOutOnTheEleventhJobOfADayAndIsFreshTheNextDay) {
    auto e = engine();
    for (int job = 1; job <= 10; ++job) {
        SCOPED_TRACE(job);
        EXPECT_EQ(e.prepare(project, true), Prepared::generated(1));
    }
    EXPECT_EQ(store.modelJobsLeft(), 0);
    EXPECT_EQ(store.meta(store.modelBudgetKey()), "10");
    store.db.exec("DELETE FROM meta WHERE key LIKE 'pack:%'"); // as if the passages had just changed
    EXPECT_EQ(e.prepare(project, false), Prepared::localOnly("budget_exhausted"));
    EXPECT_EQ(model->proposals, 10);
    EXPECT_EQ(count("origin = 'template' AND eligible = 0"), 1);
    // The exhausted day left the pack open: the next day the model is asked again.
    EXPECT_FALSE(store.meta(InsightEngine::packKey(task, 2)));
    clock += 86400;
    EXPECT_EQ(store.modelJobsLeft(), 10);
    EXPECT_EQ(e.prepare(project, false), Prepared::generated(1));
    EXPECT_EQ(model->proposals, 11);
    // An unreadable count counts as none used.
    store.db.run("UPDATE meta SET value = 'x' WHERE key = ?", {Value(store.modelBudgetKey())});
    EXPECT_EQ(store.modelJobsLeft(), 10);
    store.consumeModelJob();
    EXPECT_EQ(store.meta(store.modelBudgetKey()), "1");
}

TEST_F(InsightEngineTest, AFailingSlowOrLateModelFallsBackToTheTemplate) {
    struct Case {
        const char* name;
        double delay;
        bool honoursCancel;
        bool fails;
    } cases[] = {{"fails", 0, true, true},
                 {"past the deadline, cancelled", 5, true, false},
                 {"past the deadline, answering late anyway", 0.6, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.db.exec("DELETE FROM insight");
        model->delay = c.delay;
        model->honoursCancel = c.honoursCancel;
        model->fails = c.fails;
        auto started = std::chrono::steady_clock::now();
        {
            auto e = engine();
            EXPECT_EQ(e.prepare(project, false), Prepared::localOnly("provider_unavailable"));
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)); // not the model's 5 s
            auto stored = store.insights(project, {InsightStatus::new_});
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_EQ(stored[0].origin, "template");
        } // the engine waits for the late call to return
        // The late answer landed nowhere.
        EXPECT_EQ(count("origin = 'model'"), 0);
        EXPECT_EQ(count(), 1);
    }
    EXPECT_EQ(model->verifications, 0);
}

TEST_F(InsightEngineTest, ATaskEditedWhileTheModelThinksStoresNothing) {
    model->beforeAnswer = [this] { store.setTask(project, "Fix bitter espresso", "grinder burr"); };
    EXPECT_EQ(engine().prepare(project, false), Prepared::noContext());
    EXPECT_EQ(count(), 0);
    EXPECT_FALSE(store.meta(InsightEngine::packKey(task, 2)));

    // Finished and replaced by a new task at the same revision number: also not the task
    // the model worked for.
    model->beforeAnswer = [this] {
        store.completeTask(store.currentTask(project)->id);
        store.setTask(project, "Fix bitter espresso", "grinder burr");
    };
    store.completeTask(store.currentTask(project)->id);
    store.setTask(project, "Fix sour espresso", "grinder burr");
    EXPECT_EQ(engine().prepare(project, false), Prepared::noContext());
    EXPECT_EQ(count(), 0);
}

TEST_F(InsightEngineTest, NoTaskOrNoPassagesAreOutcomesToo) {
    int64_t empty = store.createProject("Tea", "");
    EXPECT_EQ(engine().prepare(empty, false), Prepared::noContext());
    store.setTask(empty, "Steep oolong", "");
    EXPECT_EQ(engine().prepare(empty, false), Prepared::noEvidence());
    EXPECT_EQ(engine().prepare(999, false), Prepared::noContext());
    EXPECT_EQ(model->proposals, 0);
}

TEST_F(InsightEngineTest, DeliveryShowsOneSuggestionPerContextAndCoolsDown) {
    EXPECT_EQ(store.deliver(project, 1), MemoryStore::DeliveryResult::none("no_evidence"));
    ASSERT_EQ(engine().prepare(project, false), Prepared::generated(1));
    auto first = store.deliver(project, 1);
    ASSERT_EQ(first.kind, MemoryStore::DeliveryResult::Kind::card);
    EXPECT_EQ(first.insight->status, InsightStatus::shown);
    EXPECT_EQ(first.insight->lastShown, clock);
    EXPECT_EQ(store.deliver(project, 1), first); // the same context, the same card
    clock += 60;
    EXPECT_EQ(store.deliver(project, 2), MemoryStore::DeliveryResult::none("cooldown"));
    clock += 1800;
    EXPECT_EQ(store.deliver(project, 2), MemoryStore::DeliveryResult::none("no_evidence"));

    struct Case {
        const char* name;
        std::function<void()> change;
        const char* reason;
    } cases[] = {
        {"memory off", [&] { store.setEnabled(false); }, "off"},
        {"suggestions off", [&] { store.setProactive(false); }, "off"},
        {"snoozed", [&] { store.snooze(clock + 60); }, "snoozed"},
        {"muted", [&] { store.setProjectMuted(project, true); }, "no_context"},
        {"archived", [&] { store.setProjectArchived(project, true); }, "no_context"},
        {"task done", [&] { store.completeTask(store.currentTask(project)->id); }, "no_context"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        EXPECT_EQ(store.deliver(project, 3), MemoryStore::DeliveryResult::none(c.reason));
        store.setEnabled(true);
        store.setProactive(true);
        store.snooze(std::nullopt);
        store.setProjectMuted(project, false);
        store.setProjectArchived(project, false);
    }
}

TEST_F(InsightEngineTest, CandidatesThatNoLongerHoldAreWithdrawnAtDelivery) {
    int64_t talk = 1;
    int64_t guide = 2;
    int64_t talkChunk = store.db.one("SELECT id FROM chunk WHERE source_id = 1")->integer("id");
    int64_t guideChunk = store.db.one("SELECT id FROM chunk WHERE source_id = 2")->integer("id");
    int64_t comment = addChunk(talk, {.kind = "comment", .text = "my burrs were off too"});
    int64_t second = addChunk(talk, {.text = "another part of the talk", .startMs = 0});
    struct Case {
        const char* name;
        Row row;
        std::function<void()> change;
        const char* state;
    } cases[] = {
        {"one source", {.chunks = {talkChunk, second}}, [] {}, "withdrawn/stale"},
        {"comments and one article", {.chunks = {comment, guideChunk}}, [] {}, "shown"},
        {"only comments",
         {.chunks = {comment, addChunk(guide, {.kind = "comment", .text = "agreed"})}},
         [] {},
         "withdrawn/stale"},
        {"a passage made unavailable",
         {.chunks = {talkChunk, guideChunk}},
         [&] { store.db.run("UPDATE chunk SET available = 0 WHERE id = ?", {Value(guideChunk)}); },
         "withdrawn/stale"},
        {"a muted source",
         {.chunks = {talkChunk, guideChunk}},
         [&] { store.db.run("UPDATE source SET muted = 1 WHERE id = ?", {Value(guide)}); },
         "withdrawn/stale"},
        {"a step the user dealt with",
         {.chunks = {talkChunk, guideChunk}, .signature = "align burr grinder"},
         [&] {
             store.db.run("INSERT INTO feedback(project_id, reason, action_signature, at) VALUES (?, 'known', "
                          "'align burr', 1)",
                          {Value(project)});
         },
         "withdrawn/duplicate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.db.exec("DELETE FROM insight; DELETE FROM delivery; DELETE FROM feedback; UPDATE chunk SET available = 1;"
                      "UPDATE source SET muted = 0");
        int64_t id = addInsight(project, c.row);
        c.change();
        auto result = store.deliver(project, 7);
        EXPECT_EQ(state(id), c.state);
        EXPECT_EQ(result.kind == MemoryStore::DeliveryResult::Kind::card, std::string(c.state) == "shown");
        if (result.kind == MemoryStore::DeliveryResult::Kind::none) {
            EXPECT_EQ(result.reason, "stale");
        }
    }
}

TEST_F(InsightEngineTest, AFreshCandidateSupersedesOnlyWhatMaySafelyGo) {
    auto pack = store.evidencePack(*store.taskContext(project));
    ASSERT_GE(pack.size(), 2u);
    auto ctx = *store.taskContext(project);
    CandidateDraft draft;
    draft.relationship = Relationship::diagnosis;
    draft.title = "Check the burrs";
    draft.whyNow = "Sour shots";
    draft.nextStep = "Realign the burrs";
    draft.origin = "model";
    draft.evidence = {{pack[0].chunkID, "cause", "burrs", "supported"},
                      {pack[1].chunkID, "context", "taste", "supported"}};
    std::vector<int64_t> ids = {pack[0].chunkID, pack[1].chunkID};
    EXPECT_EQ(MemoryStore::fingerprint(ctx.taskID, "diagnosis", {ids[1], ids[0]}),
              MemoryStore::sha(std::to_string(ctx.taskID) + "|diagnosis|" + std::to_string(std::min(ids[0], ids[1])) +
                               "," + std::to_string(std::max(ids[0], ids[1]))));
    struct Case {
        const char* status;
        bool evidenceChanged;
        bool replaced;
    } cases[] = {{"new", false, true},         {"withdrawn", false, true},  {"shown", false, false},
                 {"saved", false, false},      {"dismissed", false, false}, {"dismissed", true, true},
                 {"not_relevant", true, true}, {"known", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.status) + (c.evidenceChanged ? ", evidence changed" : ""));
        store.db.exec("DELETE FROM insight");
        auto first = store.saveCandidate(draft, ctx, pack, true);
        ASSERT_TRUE(first);
        store.db.run("UPDATE insight SET status = ? WHERE id = ?", {Value(c.status), Value(*first)});
        if (c.evidenceChanged) {
            store.db.run("UPDATE insight SET evidence_hash = 'older' WHERE id = ?", {Value(*first)});
        }
        auto again = store.saveCandidate(draft, ctx, pack, true);
        EXPECT_EQ(again.has_value(), c.replaced);
        EXPECT_EQ(count(), 1);
        EXPECT_EQ(state(again.value_or(*first)), c.replaced ? "new" : c.status);
    }
}

TEST(EvidencePackTest, TakesAtMostSixSourcesThreeEachAndGroupsRepeatedWords) {
    test::InsightMemory m;
    std::vector<int64_t> sources;
    for (int i = 0; i < 8; ++i) {
        sources.push_back(m.addSource(i % 2 == 0 ? "video" : "article", "Source " + std::to_string(i)));
    }
    // Source 0 holds five passages; sources 1 and 2 say the same words, in the shortest
    // passages (found first); 3 to 7 one each.
    for (int k = 0; k < 5; ++k) {
        m.addChunk(sources[0], {.text = "kettle descaling step " + std::to_string(k), .startMs = k * 60000});
    }
    m.addChunk(sources[1], {.kind = "article", .text = "kettle descaling", .heading = "Acid"});
    m.addChunk(sources[2], {.kind = "comment", .text = "Kettle, descaling!"});
    for (int i = 3; i < 8; ++i) {
        m.addChunk(sources[static_cast<std::size_t>(i)], {.kind = i % 2 == 0 ? "transcript" : "article",
                                                          .text = "kettle descaling note " + std::to_string(i)});
    }
    int64_t project = m.store.createProject("Kitchen", "");
    m.store.setTask(project, "Kettle descaling", "");
    auto pack = m.store.evidencePack(*m.store.taskContext(project));
    std::map<int64_t, int> perSource;
    std::map<int64_t, std::string> groupOf;
    for (const auto& e : pack) {
        ++perSource[e.sourceID];
        groupOf[e.sourceID] = e.group;
        if (e.kind == "comment") {
            EXPECT_EQ(e.whereLabel, "comment");
        } else if (e.kind == "article") {
            EXPECT_TRUE(e.whereLabel == "Acid" || e.whereLabel == "article text") << e.whereLabel;
        } else {
            EXPECT_EQ(e.whereLabel.size(), 5u) << e.whereLabel; // a timecode
        }
    }
    EXPECT_LE(pack.size(), 12u);
    EXPECT_EQ(perSource.size(), 6u);
    EXPECT_EQ(perSource[sources[0]], 3);
    // The same words: the group of whichever of the two was found first.
    EXPECT_EQ(groupOf[sources[2]], groupOf[sources[1]]);
    EXPECT_TRUE(groupOf[sources[1]] == "s" + std::to_string(sources[1]) ||
                groupOf[sources[1]] == "s" + std::to_string(sources[2]));
    EXPECT_EQ(groupOf[sources[0]], "s" + std::to_string(sources[0]));
    std::string signature = InsightEngine::packSignature(pack);
    EXPECT_EQ(std::count(signature.begin(), signature.end(), '|'), static_cast<long>(pack.size()) - 1);
    EXPECT_TRUE(signature.starts_with(std::to_string(pack[0].chunkID) + ":")) << signature;
}

} // namespace
} // namespace brell
