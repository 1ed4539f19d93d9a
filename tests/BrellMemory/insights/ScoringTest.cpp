// Rating a candidate: each component at its levels with its sentence, the weighted
// total, eligibility with its hold reasons, signatures and overlap.
#include <gtest/gtest.h>

#include "BrellMemory/insights/Scoring.h"

namespace brell {
namespace {

using E = ExposureLabel;

const TaskContext task{7, 12, 1, "Espresso", "Fix sour shots", "Dial in the grinder for light roasts", "crema"};

Excerpt passage(int64_t chunk, std::string group, std::string kind, std::string text,
                std::optional<ExposureLabel> exposure = E::playedWhileVisible) {
    return Excerpt{chunk,  chunk,    std::move(group), std::move(kind), "Source",
                   "1:00", exposure, std::move(text),  "capture"};
}

// Passages 1 and 2 mention the title ("sour") and the objective ("grinder").
std::vector<Excerpt> pack() {
    return {passage(1, "g1", "transcript", "Sour shots come from a coarse grinder"),
            passage(2, "g2", "article", "Set the grinder finer for sour espresso"),
            passage(3, "g1", "transcript", "The same words again in another source"),
            passage(4, "g3", "comment", "I fixed sour shots with a finer grinder"),
            passage(5, "g4", "comment", "Mine were sour too, grinder was off"),
            passage(6, "g5", "article", "Nothing about the task here", E::articleSectionNotObserved),
            passage(7, "g6", "transcript", "Crema only", E::outsideObservedPlayback)};
}

CandidateDraft draft(std::vector<std::pair<int64_t, std::optional<std::string>>> cited) {
    CandidateDraft d;
    d.title = "Grind finer";
    d.whyNow = "Sour shots";
    d.nextStep = "Pull a shot two steps finer and taste it";
    d.expectedOutcome = "A sweeter shot";
    d.actionFollows = true;
    d.origin = "model";
    for (auto& [chunk, verdict] : cited) {
        d.evidence.push_back({chunk, "cause", "claim", verdict});
    }
    return d;
}

ScoreBreakdown scored(const CandidateDraft& d, const std::vector<std::string>& suppressed = {}, bool timingNow = true) {
    return Scoring::score(d, task, pack(), suppressed, timingNow, MemoryConfig{});
}

const std::optional<std::string> ok = "supported";

TEST(ScoringTest, FitLooksForTheTitleAndTheObjectiveInTheEvidence) {
    struct Case {
        const char* name;
        CandidateDraft draft;
        double fit;
        const char* reason;
    } cases[] = {
        {"both", draft({{1, ok}, {2, ok}}), 1, "Task and its symptom both appear in the evidence"},
        {"both, across two passages", draft({{6, ok}, {1, ok}}), 1, "Task and its symptom both appear in the evidence"},
        {"a keyword counts with the objective", draft({{7, ok}, {6, ok}}), 0.5, "Only part of the task matches"},
        {"neither", draft({{6, ok}, {3, ok}}), 0, "Generic overlap"},
        {"passages missing from the pack count for nothing", draft({{90, ok}, {91, ok}}), 0, "Generic overlap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto breakdown = scored(c.draft);
        EXPECT_EQ(breakdown.fit, c.fit);
        EXPECT_EQ(breakdown.reasons.at("fit"), c.reason);
    }
}

TEST(ScoringTest, EvidenceCountsIndependentSupportedGroups) {
    std::optional<std::string> none;
    CandidateDraft fromTemplate = draft({{1, none}, {2, none}});
    fromTemplate.origin = "template";
    struct Case {
        const char* name;
        CandidateDraft draft;
        double evidence;
        std::string reason;
    } cases[] = {
        {"two groups", draft({{1, ok}, {2, ok}}), 1, "2 independent sources support it"},
        {"three groups, an inference among them", draft({{1, ok}, {2, "inference_only"}, {6, ok}}), 1,
         "3 independent sources support it"},
        {"one group twice", draft({{1, ok}, {3, ok}}), 0.5, "One independent source"},
        {"one contradicted sinks the rest", draft({{1, ok}, {2, ok}, {6, "contradicted"}}), 0,
         "Unsupported or comments only"},
        {"one unsupported sinks the rest", draft({{1, ok}, {2, ok}, {6, "unsupported"}}), 0,
         "Unsupported or comments only"},
        {"supported comments only", draft({{4, ok}, {5, ok}}), 0, "Unsupported or comments only"},
        {"a comment beside an article is another group", draft({{4, ok}, {2, ok}}), 1,
         "2 independent sources support it"},
        {"never verified", draft({{1, none}, {2, none}}), 0, "Unsupported or comments only"},
        {"only one passage verified", draft({{1, ok}, {2, none}}), 0.5, "One independent source"},
        {"a template needs no verdicts", fromTemplate, 1, "2 independent sources support it"},
        {"a refusal outside the pack is not counted", draft({{1, ok}, {2, ok}, {99, "contradicted"}}), 1,
         "2 independent sources support it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto breakdown = scored(c.draft);
        EXPECT_EQ(breakdown.evidence, c.evidence);
        EXPECT_EQ(breakdown.reasons.at("evidence"), c.reason);
    }
}

TEST(ScoringTest, NoveltyFirstMatchWins) {
    // The next step's signature is "finer pull shot step taste two".
    struct Case {
        const char* name;
        std::vector<std::string> suppressed;
        std::string objective;
        std::vector<int64_t> cited;
        double novelty;
        const char* reason;
    } cases[] = {
        {"marked before, reworded", {"other", "finer pull shot taste"}, "x", {6, 1}, 0, "You already marked this"},
        {"below 60 % of the smaller set",
         {"finer pull shot alpha beta gamma"},
         "x",
         {6, 1},
         1,
         "Comes from material outside what you watched or read"},
        {"the task's own plan", {}, "Taste two shots pulled finer, step by step", {6, 1}, 0, "Repeats your task plan"},
        {"unseen article section",
         {},
         "Dial in the grinder",
         {6, 1},
         1,
         "Comes from material outside what you watched or read"},
        {"unseen playback",
         {},
         "Dial in the grinder",
         {1, 7},
         1,
         "Comes from material outside what you watched or read"},
        {"familiar", {}, "Dial in the grinder", {1, 2}, 0.5, "Familiar material with a relevant qualification"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CandidateDraft d = draft({});
        for (int64_t chunk : c.cited) {
            d.evidence.push_back({chunk, "cause", "claim", ok});
        }
        TaskContext t = task;
        t.objective = c.objective;
        auto breakdown = Scoring::score(d, t, pack(), c.suppressed, true, MemoryConfig{});
        EXPECT_EQ(breakdown.novelty, c.novelty);
        EXPECT_EQ(breakdown.reasons.at("novelty"), c.reason);
    }
}

TEST(ScoringTest, ActionabilityNeedsAVerifiedModelStepWithAnOutcome) {
    struct Case {
        const char* name;
        std::string origin;
        std::optional<std::string> outcome;
        std::optional<bool> follows;
        double actionability;
    } cases[] = {
        {"all there", "model", "Sweeter", true, 1},          {"no outcome", "model", std::nullopt, true, 0.5},
        {"does not follow", "model", "Sweeter", false, 0.5}, {"never verified", "model", "Sweeter", std::nullopt, 0.5},
        {"a template", "template", "Sweeter", true, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CandidateDraft d = draft({{1, ok}, {2, ok}});
        d.origin = c.origin;
        d.expectedOutcome = c.outcome;
        d.actionFollows = c.follows;
        auto breakdown = scored(d);
        EXPECT_EQ(breakdown.actionability, c.actionability);
        EXPECT_EQ(breakdown.reasons.at("actionability"),
                  c.actionability == 1 ? "Bounded test with an expected result" : "Useful, but no checkable outcome");
    }
    EXPECT_EQ(scored(draft({}), {}, true).reasons.at("timing"), "Your current task can use it now");
    auto later = scored(draft({}), {}, false);
    EXPECT_EQ(later.timing, 0.5);
    EXPECT_EQ(later.reasons.at("timing"), "Relevant next time");
}

TEST(ScoringTest, TotalsAndEligibility) {
    struct Case {
        const char* name;
        double fit, evidence, novelty, actionability, timing;
        double total;
        Scoring::Eligibility eligibility;
    } cases[] = {
        {"the least that is pushed", 1, 1, 0.5, 1, 0.5, 0.85, {true, std::nullopt}},
        {"shown now", 1, 1, 0.5, 1, 1, 0.9, {true, std::nullopt}},
        {"new material", 1, 1, 1, 1, 0.5, 0.95, {true, std::nullopt}},
        {"everything", 1, 1, 1, 1, 1, 1, {true, std::nullopt}},
        {"one independent source", 1, 0.5, 1, 1, 1, 0.875, {false, "no_evidence"}},
        {"evidence first", 0, 0, 0, 0.5, 0.5, 0.125, {false, "no_evidence"}},
        {"a repeat", 1, 1, 0, 1, 1, 0.8, {false, "duplicate"}},
        {"no checkable outcome", 1, 1, 1, 0.5, 1, 0.925, {false, "low_value"}},
        {"part of the task", 0.5, 1, 1, 1, 1, 0.85, {false, "low_value"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScoreBreakdown breakdown{c.fit, c.evidence, c.novelty, c.actionability, c.timing, c.total, {}};
        EXPECT_EQ(Scoring::eligible(breakdown, MemoryConfig{}), c.eligibility);
    }
}

TEST(ScoringTest, TheWorkedExamples) {
    // Every component at its best but novelty and timing: exactly 0.85, pushed.
    auto least = scored(draft({{1, ok}, {2, ok}}), {}, false);
    EXPECT_EQ(least.total, 0.85);
    EXPECT_EQ(Scoring::eligible(least, MemoryConfig{}), (Scoring::Eligibility{true, std::nullopt}));

    auto oneGroup = scored(draft({{1, ok}, {3, ok}}));
    EXPECT_EQ(oneGroup.evidence, 0.5);
    EXPECT_EQ(Scoring::eligible(oneGroup, MemoryConfig{}), (Scoring::Eligibility{false, "no_evidence"}));

    CandidateDraft noOutcome = draft({{1, ok}, {6, ok}});
    noOutcome.expectedOutcome.reset();
    auto lowValue = scored(noOutcome);
    EXPECT_EQ(lowValue.total, 0.925);
    EXPECT_EQ(Scoring::eligible(lowValue, MemoryConfig{}), (Scoring::Eligibility{false, "low_value"}));

    auto repeat = scored(draft({{1, ok}, {6, ok}}), {"finer pull shot taste"});
    EXPECT_EQ(repeat.novelty, 0);
    EXPECT_EQ(Scoring::eligible(repeat, MemoryConfig{}), (Scoring::Eligibility{false, "duplicate"}));

    ScoreBreakdown best = scored(draft({{1, ok}, {6, ok}}));
    ScoreBreakdown expected{1,
                            1,
                            1,
                            1,
                            1,
                            1,
                            {{"fit", "Task and its symptom both appear in the evidence"},
                             {"evidence", "2 independent sources support it"},
                             {"novelty", "Comes from material outside what you watched or read"},
                             {"actionability", "Bounded test with an expected result"},
                             {"timing", "Your current task can use it now"}}};
    EXPECT_EQ(best, expected);
}

TEST(ScoringTest, WeightsAndThresholdComeFromTheConfiguration) {
    MemoryConfig config;
    config.weightFit = 0.1;
    config.weightEvidence = 0.1;
    config.weightNovelty = 0.1;
    config.weightActionability = 0.1;
    config.weightTiming = 0.6;
    auto breakdown = Scoring::score(draft({{1, ok}, {2, ok}}), task, pack(), {}, false, config);
    EXPECT_EQ(breakdown.total, 0.65); // 0.1 + 0.1 + 0.05 + 0.1 + 0.3
    EXPECT_EQ(Scoring::eligible(breakdown, config), (Scoring::Eligibility{false, "low_value"}));
    config.autoThreshold = 0.65;
    EXPECT_EQ(Scoring::eligible(breakdown, config), (Scoring::Eligibility{true, std::nullopt}));

    // A total is rounded to three decimals, halves away from zero: 0.0625 is 62.5 thousandths.
    config = MemoryConfig{};
    config.weightFit = 0.0625;
    config.weightEvidence = config.weightNovelty = config.weightActionability = config.weightTiming = 0;
    EXPECT_EQ(Scoring::score(draft({{1, ok}, {2, ok}}), task, pack(), {}, true, config).total, 0.063);
}

TEST(ScoringTest, SignaturesKeepStemmedKeyWords) {
    struct Case {
        const char* name;
        std::string text;
        std::string signature;
    } cases[] = {
        {"stems sorted", "Pull a shot two steps finer and taste it", "finer pull shot step taste two"},
        {"worded differently, same things", "Taste it after pulling two shots, finer steps",
         "finer pull shot step taste two"},
        {"stems without repeats", "Closes closed", "clos"},
        {"stop words only", "what is the thing", ""},
        {"empty", "", ""},
        {"sorted before the first ten are taken",
         "zulu yankee xray whiskey victor uniform tango sierra romeo quebec papa oscar",
         "oscar papa quebec romeo sierra tango uniform victor whiskey xray"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Scoring::signature(c.text), c.signature);
    }
}

TEST(ScoringTest, OverlapOverTheSmallerWordSet) {
    struct Case {
        const char* a;
        const char* b;
        double overlap;
    } cases[] = {
        {"a b c", "b c d", 2.0 / 3},
        {"a b c d e", "a b", 1},
        {"a  b", "a", 1},
        {"a a b", "b b", 1},
        {"", "a", 0},
        {"a", "  ", 0},
        {"a b", "c d", 0},
        {"Pull pull", "pull", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_DOUBLE_EQ(Scoring::overlap(c.a, c.b), c.overlap);
    }
}

TEST(ScoringTest, BreakdownsReadBackFromTheirJson) {
    ScoreBreakdown breakdown = scored(draft({{1, ok}, {2, ok}}));
    Json json = breakdown.toJson();
    EXPECT_EQ(json.size(), 7u);
    for (const char* key : {"fit", "evidence", "novelty", "actionability", "timing", "total", "reasons"}) {
        EXPECT_TRUE(json.contains(key)) << key;
    }
    EXPECT_EQ(ScoreBreakdown::fromJson(Json::parse(json.dump())), breakdown);

    struct Case {
        const char* name;
        const char* json;
        bool reads;
    } cases[] = {
        {"integers and extra keys",
         R"({"fit":1,"evidence":0,"novelty":0.5,"actionability":1,"timing":1,"total":0.8,"reasons":{},"x":1})", true},
        {"a missing component", R"({"fit":1,"evidence":0,"novelty":0.5,"actionability":1,"total":0.8,"reasons":{}})",
         false},
        {"a component as text",
         R"({"fit":"1","evidence":0,"novelty":0.5,"actionability":1,"timing":1,"total":0.8,"reasons":{}})", false},
        {"a reason that is no text",
         R"({"fit":1,"evidence":0,"novelty":0.5,"actionability":1,"timing":1,"total":0.8,"reasons":{"fit":1}})", false},
        {"no reasons", R"({"fit":1,"evidence":0,"novelty":0.5,"actionability":1,"timing":1,"total":0.8})", false},
        {"not an object", "[]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScoreBreakdown::fromJson(Json::parse(c.json)).has_value(), c.reads);
    }
}

} // namespace
} // namespace brell
