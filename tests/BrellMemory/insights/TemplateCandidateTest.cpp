// The candidate written without a model: its anchor and partner, its texts and clipping.
#include <gtest/gtest.h>

#include "BrellMemory/insights/TemplateCandidate.h"
#include "util/Text.h"

namespace brell {
namespace {

Excerpt passage(int64_t chunk, std::string group, std::string kind, std::optional<ExposureLabel> exposure,
                std::string title = "Some source", std::string where = "1:00", std::string text = "some text") {
    return Excerpt{chunk,    chunk,           std::move(group), std::move(kind), std::move(title), std::move(where),
                   exposure, std::move(text), "capture"};
}

const TaskContext task{7, 12, 1, "Espresso", "Fix sour shots", "grinder setting for light roasts", "espresso"};

TEST(TemplateCandidateTest, ClipsInUserPerceivedCharacters) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t limit;
        std::string expected;
    } cases[] = {
        {"shorter", "abc", 5, "abc"},
        {"exactly the limit", std::string(38, 'x'), 38, std::string(38, 'x')},
        {"one over", std::string(39, 'x'), 38, std::string(37, 'x') + "\u2026"},
        {"forty characters", std::string(40, 'y'), 38, std::string(37, 'y') + "\u2026"},
        {"accented letters count once", "e\u0301e\u0301e\u0301", 3, "e\u0301e\u0301e\u0301"},
        {"a cut never splits a character", "e\u0301e\u0301e\u0301e\u0301", 3, "e\u0301e\u0301\u2026"},
        {"emoji with a modifier", "\U0001F44D\U0001F3FD\U0001F44D\U0001F3FDab", 3,
         "\U0001F44D\U0001F3FD\U0001F44D\U0001F3FD\u2026"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TemplateCandidate::clip(c.text, c.limit), c.expected);
    }
}

TEST(TemplateCandidateTest, TheWorkedExample) {
    std::vector<Excerpt> pack = {
        passage(1, "s1", "transcript", ExposureLabel::playedWhileVisible, "Watched video", "3:00", "grinder"),
        passage(2, "s2", "transcript", ExposureLabel::outsideObservedPlayback,
                "Tuning the espresso grinder for light roasts", "12:04",
                "For light roasts set the grinder finer; sour shots mean the espresso is under-extracted."),
        passage(3, "s2", "article", ExposureLabel::articleSectionInView, "Same group", "Intro", "x"),
        passage(4, "s3", "comment", std::nullopt, "Comment source", "comment", "y"),
        passage(5, "s4", "article", ExposureLabel::articleSectionInView, "Roasting guide", "Light roasts", "finer"),
    };
    auto draft = TemplateCandidate::make(task, pack);
    ASSERT_TRUE(draft);
    CandidateDraft expected;
    expected.relationship = Relationship::missedDetail;
    expected.title = "Revisit 12:04 in \u201CTuning the espresso grinder for light\u2026\u201D";
    // The task's terms found in the anchor, at most three, in the task's order.
    expected.whyNow = "Your task \u201CFix sour shots\u201D matches what it covers: \u201Csour\u201D, "
                      "\u201Cshots\u201D, \u201Cgrinder\u201D.";
    expected.nextStep = "Open 12:04 and compare it with \u201C3:00\u201D before changing your approach.";
    expected.evidence = {{2, "missed_detail", pack[1].text, std::nullopt},
                         {1, "corroboration", "grinder", std::nullopt}};
    expected.origin = "template";
    EXPECT_EQ(*draft, expected);
}

TEST(TemplateCandidateTest, PicksItsAnchorAndPartner) {
    using E = ExposureLabel;
    struct Case {
        const char* name;
        std::vector<Excerpt> pack;
        std::optional<std::pair<int64_t, int64_t>> chosen; // anchor and partner chunks
    } cases[] = {
        {"everything watched or read",
         {passage(1, "a", "transcript", E::playedWhileVisible), passage(2, "b", "article", E::articleSectionInView),
          passage(3, "c", "comment", E::outsideObservedPlayback)},
         std::nullopt},
        {"no exposure is not unseen",
         {passage(1, "a", "transcript", std::nullopt), passage(2, "b", "article", std::nullopt)},
         std::nullopt},
        {"only one group",
         {passage(1, "a", "transcript", E::outsideObservedPlayback),
          passage(2, "a", "article", E::articleSectionInView)},
         std::nullopt},
        {"an unread article section anchors",
         {passage(1, "a", "comment", E::articleSectionNotObserved),
          passage(2, "b", "article", E::articleSectionNotObserved),
          passage(3, "c", "transcript", E::playedWhileVisible)},
         std::pair<int64_t, int64_t>{2, 3}},
        {"a comment partner only when nothing else differs",
         {passage(1, "a", "transcript", E::outsideObservedPlayback), passage(2, "b", "comment", std::nullopt),
          passage(3, "a", "article", std::nullopt)},
         std::pair<int64_t, int64_t>{1, 2}},
        {"the first non-comment of another group wins over an earlier comment",
         {passage(1, "b", "comment", std::nullopt), passage(2, "a", "transcript", E::outsideObservedPlayback),
          passage(3, "c", "article", std::nullopt)},
         std::pair<int64_t, int64_t>{2, 3}},
        {"the partner may come before the anchor",
         {passage(1, "b", "article", E::articleSectionInView),
          passage(2, "a", "transcript", E::outsideObservedPlayback)},
         std::pair<int64_t, int64_t>{2, 1}},
        {"empty pack", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto draft = TemplateCandidate::make(task, c.pack);
        ASSERT_EQ(draft.has_value(), c.chosen.has_value());
        if (draft) {
            ASSERT_EQ(draft->evidence.size(), 2u);
            EXPECT_EQ(draft->evidence[0].chunkID, c.chosen->first);
            EXPECT_EQ(draft->evidence[1].chunkID, c.chosen->second);
        }
    }
}

TEST(TemplateCandidateTest, TextsAndTheirLimits) {
    std::string longText(300, 'w');
    // A comment partner is named by its source, since its place is just "comment".
    std::vector<Excerpt> pack = {
        passage(1, "a", "transcript", ExposureLabel::outsideObservedPlayback, "Short", "1:02:03", longText),
        passage(2, "b", "comment", std::nullopt, "Forum thread about grinders and light roasting", "comment", "c"),
    };
    TaskContext longTask = task;
    longTask.title = std::string(60, 'k');
    auto draft = TemplateCandidate::make(longTask, pack);
    ASSERT_TRUE(draft);
    EXPECT_EQ(draft->title, "Revisit 1:02:03 in \u201CShort\u201D");
    // No task term is in the anchor: no list and no colon.
    EXPECT_EQ(draft->whyNow, "Your task \u201C" + std::string(49, 'k') + "\u2026\u201D matches what it covers.");
    EXPECT_EQ(draft->nextStep, "Open 1:02:03 and compare it with \u201CForum thread about grinders and light "
                               "roasting\u201D before changing your approach.");
    EXPECT_EQ(draft->evidence[0].claim, std::string(159, 'w') + "\u2026");
    EXPECT_EQ(draft->evidence[1].role, "corroboration");
    EXPECT_FALSE(draft->expectedOutcome || draft->uncertainty || draft->model || draft->actionFollows);

    // The whole title is clipped to 80 after its parts are.
    pack[0].whereLabel = std::string(70, 'h');
    draft = TemplateCandidate::make(longTask, pack);
    ASSERT_TRUE(draft);
    EXPECT_EQ(Text::characterCount(draft->title), 80u);
    EXPECT_EQ(draft->title, "Revisit " + std::string(70, 'h') + " \u2026");
}

} // namespace
} // namespace brell
