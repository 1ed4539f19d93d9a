// Every event that moves an insight on, driven over one memory: which insights change,
// in which projects, and to what. What is not listed for an event stays as it was.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "BrellMemory/insights/InsightMemory.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;
using States = std::map<std::string, std::string>;

constexpr const char* vtt = "WEBVTT\n\n00:10.000 --> 00:12.000\nnew words\n";

// Two projects citing a video (transcript and comment), an article of an approved
// origin and a second video, in every status an insight can be met in.
struct World : test::InsightMemory {
    int64_t video = 0, article = 0, other = 0;
    int64_t vt = 0, vc = 0, ra = 0, wt = 0;
    int64_t a = 0, aTask = 0, b = 0;
    std::map<std::string, int64_t> insights;

    World() {
        store.approveOrigin("https://example.com", true);
        video = addSource("video", "Talk");
        article = addSource("article", "Essay");
        other = addSource("video", "Other talk");
        vt = addChunk(video, {.startMs = 0});
        vc = addChunk(video, {.kind = "comment"});
        ra = addChunk(article, {.kind = "article"});
        wt = addChunk(other, {.startMs = 0});
        std::tie(a, aTask) = addProject("Espresso", "Fix sour shots");
        b = addProject("Tea").first;
        insights = {
            {"A new", addInsight(a, {.status = "new", .chunks = {vt, ra}})},
            {"A shown", addInsight(a, {.status = "shown", .chunks = {ra, wt}})},
            {"A saved", addInsight(a, {.status = "saved", .chunks = {vt, ra}})},
            {"A useful", addInsight(a, {.status = "useful", .chunks = {vt}})},
            {"A dismissed", addInsight(a, {.status = "dismissed", .chunks = {vt}})},
            {"A comment", addInsight(a, {.status = "new", .chunks = {vc}})},
            {"A duplicate",
             addInsight(a, {.status = "withdrawn", .chunks = {vt}, .eligible = false, .holdReason = "duplicate"})},
            {"B new", addInsight(b, {.status = "new", .chunks = {vt, wt}})},
            {"B shown", addInsight(b, {.status = "shown", .chunks = {wt, ra}})},
            {"B saved", addInsight(b, {.status = "saved", .chunks = {wt}})},
        };
    }

    States states() {
        States out;
        for (const auto& [name, id] : insights) {
            out[name] = state(id);
        }
        return out;
    }
};

TEST(InsightLifecycleTest, EachEventWithdrawsExactlyWhatItShould) {
    const std::string stale = "withdrawn/stale";
    struct Case {
        const char* event;
        std::function<void(World&)> run;
        States changes;
    } cases[] = {
        {"task edited",
         [](World& w) { w.store.setTask(w.a, "Fix sour shots", "Taste first"); },
         {{"A new", stale}, {"A shown", stale}, {"A comment", stale}}},
        {"task set again unchanged", [](World& w) { w.store.setTask(w.a, "Fix sour shots", ""); }, {}},
        {"task completed",
         [](World& w) { w.store.completeTask(w.aTask); },
         {{"A new", stale}, {"A shown", stale}, {"A comment", stale}}},
        {"project archived",
         [](World& w) { w.store.setProjectArchived(w.a, true); },
         {{"A new", stale}, {"A shown", stale}, {"A comment", stale}}},
        {"project muted", [](World& w) { w.store.setProjectMuted(w.a, true); }, {}},
        {"source muted",
         [](World& w) { w.store.setSourceMuted(w.video, true); },
         {{"A new", stale}, {"A dismissed", stale}, {"A comment", stale}, {"B new", stale}}},
        {"source muted through feedback",
         [](World& w) { w.store.feedback(w.insights["B shown"], FeedbackReason::muteSource, w.video); },
         {{"B shown", "dismissed"}, {"A new", stale}, {"A dismissed", stale}, {"A comment", stale}, {"B new", stale}}},
        {"origin revoked with its data",
         [](World& w) { w.store.revokeOrigin("https://example.com", true); },
         {{"A new", stale}, {"A shown", stale}, {"B shown", stale}}},
        {"origin revoked, data kept", [](World& w) { w.store.revokeOrigin("https://example.com", false); }, {}},
        {"source deleted",
         [](World& w) { w.store.deleteSource(w.other); },
         {{"A shown", stale}, {"B new", stale}, {"B shown", stale}}},
        {"rows expired",
         [](World& w) {
             w.store.db.run("UPDATE source SET last_seen = ? WHERE id = ?",
                            {Value(w.clock - 40 * 86400), Value(w.other)});
             w.store.purgeExpired();
         },
         {{"A shown", stale}, {"B new", stale}, {"B shown", stale}}},
        {"new transcript for a cited video",
         [](World& w) { w.store.importTranscript(w.video, vtt, "imported"); },
         {{"A new", stale}, {"A dismissed", stale}, {"B new", stale}}},
        {"memory cleared",
         [](World& w) { w.store.clearMemory(); },
         {{"A new", stale},
          {"A shown", stale},
          {"A dismissed", stale},
          {"A comment", stale},
          {"B new", stale},
          {"B shown", stale}}},
        {"feedback",
         [](World& w) { w.store.feedback(w.insights["A shown"], FeedbackReason::known, std::nullopt); },
         {{"A shown", "known"}}},
        {"restored", [](World& w) { w.store.restoreInsight(w.insights["A dismissed"]); }, {{"A dismissed", "shown"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        World world;
        States expected = world.states();
        for (const auto& [name, state] : c.changes) {
            expected.at(name) = state;
        }
        c.run(world);
        EXPECT_EQ(world.states(), expected);
    }
}

} // namespace
} // namespace brell
