#include "BrellMemory/recall/TopicBrief.h"

#include <gtest/gtest.h>

#include "support/Golden.h"

namespace brell {
namespace {

// 2025-03-01T09:05:07Z, shown in UTC.
constexpr Date march1 = 1740819907.0;

ChunkRecord talk() {
    return ChunkRecord::transcript(
        10, 1, "abcdefghijk", "Pricing *psychology* talk",
        {{61000, "Welcome back."}, {65000, "The middle tier is the anchor."}, {3725000, "And that is all for today."}},
        1);
}

ChunkRecord essay(std::optional<std::string> heading) {
    ChunkRecord chunk;
    chunk.id = 12;
    chunk.sourceID = 2;
    chunk.sourceKind = "article";
    chunk.sourceTitle = "Why three tiers";
    chunk.sourceURL = "https://blog.example/tiers";
    chunk.kind = "article";
    chunk.text = "Decoy pricing works.\nBuyers pick the middle.";
    chunk.heading = std::move(heading);
    chunk.provenance = "captured";
    return chunk;
}

ChunkRecord savedQuote() {
    return ChunkRecord::saved(0, "K1", "Pricing notes", std::string("https://acme.example/pricing"),
                              "Annual billing saves two months.", "evidence", 1);
}

ChunkRecord screenText() {
    ChunkRecord chunk;
    chunk.id = 7;
    chunk.sourceID = -7;
    chunk.sourceKind = "screen";
    chunk.sourceKey = "screen:com.apple.Notes";
    chunk.sourceTitle = "Notes";
    chunk.kind = "screen";
    chunk.text = "Call Sam.";
    return chunk;
}

TopicBrief::Passage passageAt(ChunkRecord chunk, std::optional<int64_t> ms, std::string quote,
                              std::optional<ExposureLabel> exposure, std::string url) {
    return TopicBrief::Passage{std::move(chunk), ms, std::move(quote), exposure, std::move(url)};
}

const std::string talkURL = "https://www.youtube.com/watch?v=abcdefghijk&t=65s#brell-at=65";

std::vector<TopicBrief::Passage> threePassages() {
    return {
        passageAt(talk(), 65000, "The middle tier is the anchor.", ExposureLabel::playedWhileVisible, talkURL),
        passageAt(essay("Decoys & anchors"), std::nullopt, "Decoy pricing works.\n\nBuyers pick the middle.",
                  ExposureLabel::uncertain, "https://blog.example/tiers#:~:text=Decoy%20pricing"),
        passageAt(savedQuote(), std::nullopt, "Annual billing saves two months.", std::nullopt,
                  "https://acme.example/pricing#:~:text=Annual%20billing"),
    };
}

AnswerSentence sentenceOn(const TopicBrief::Passage& passage, std::string text) {
    return AnswerSentence{std::move(text), Moment{passage.chunk, passage.ms, "", passage.exposure, passage.openURL},
                          passage.quote};
}

TEST(TopicBriefTest, BriefsMatchTheirGoldenFiles) {
    auto passages = threePassages();
    std::vector<AnswerSentence> answer = {
        sentenceOn(passages[0], "The middle tier is the *anchor* of the page."),
        sentenceOn(passageAt(talk(), 3725000, "And that is all for today.", std::nullopt,
                             "https://www.youtube.com/watch?v=abcdefghijk&t=3725s#brell-at=3725"),
                   "The talk ends\r\n# after an hour."),
    };
    struct Case {
        const char* file;
        std::vector<AnswerSentence> answer;
        std::optional<std::string> label;
        std::vector<TopicBrief::Passage> passages;
    } cases[] = {
        {"markdown/topic-brief-answer.md", answer, std::string("Claude \u00B7 sonnet_4"), passages},
        {"markdown/topic-brief-passages.md", {}, std::nullopt, {passages[1], passages[2]}},
    };
    for (const auto& c : cases) {
        test::expectGolden(c.file,
                           TopicBrief::markdown("  Pricing tiers #1\n", c.answer, c.label, c.passages, march1, "UTC"));
    }
}

TEST(TopicBriefTest, SectionsFollowWhatIsLeftToQuote) {
    auto passages = threePassages();
    std::vector<AnswerSentence> everyPassage;
    for (const auto& p : passages) {
        everyPassage.push_back(sentenceOn(p, "Sentence."));
    }
    auto onlyPassages = std::vector<TopicBrief::Passage>{passages[0], passages[1]};
    std::string header = "# Tiers\n\n_Brief from BRELL on 1 Mar 2025 at 09:05 \u00B7 ";
    struct Case {
        const char* name;
        std::string topic;
        std::vector<AnswerSentence> answer;
        std::vector<TopicBrief::Passage> passages;
        std::string expectedStart;
        bool hasAnswer;
        std::optional<std::string> passagesHeading;
    } cases[] = {
        {"no answer, two passages",
         "Tiers",
         {},
         onlyPassages,
         header + "2 passages from your own research_\n",
         false,
         "## Passages"},
        {"every passage cited at its position", "Tiers", everyPassage, passages,
         header + "3 passages from your own research_\n", true, std::nullopt},
        {"one passage",
         "Tiers",
         {},
         {passages[2]},
         header + "1 passage from your own research_\n",
         false,
         "## Passages"},
        {"no passages", "Tiers", {}, {}, header + "0 passages from your own research_\n", false, std::nullopt},
        {"a topic of only spaces",
         "   ",
         {},
         {},
         "# \n\n_Brief from BRELL on 1 Mar 2025 at 09:05 \u00B7 0 passages from your own research_\n",
         false,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string brief = TopicBrief::markdown(c.topic, c.answer, std::nullopt, c.passages, march1, "UTC");
        EXPECT_EQ(brief.rfind(c.expectedStart, 0), 0u) << brief;
        EXPECT_EQ(brief.find("\n## Answer (AI)\n") != std::string::npos, c.hasAnswer) << brief;
        if (c.passagesHeading) {
            EXPECT_NE(brief.find("\n" + *c.passagesHeading + "\n"), std::string::npos) << brief;
        } else {
            EXPECT_EQ(brief.find("\n## Passages"), std::string::npos) << brief;
            EXPECT_EQ(brief.find("\n## More passages"), std::string::npos) << brief;
        }
        EXPECT_EQ(brief.back(), '\n');
    }
    EXPECT_EQ(TopicBrief::markdown("", {}, std::nullopt, {}, march1, "UTC"),
              "# \n\n_Brief from BRELL on 1 Mar 2025 at 09:05 \u00B7 0 passages from your own research_\n");
}

TEST(TopicBriefTest, SourceLines) {
    ChunkRecord captured = talk();
    captured.provenance = "captured";
    ChunkRecord noStart = captured;
    noStart.startMs.reset();
    ChunkRecord brokenTitle = essay(std::string("Part\n## Two"));
    brokenTitle.sourceTitle = "Title\r\n# Injected [x](y)";
    struct Case {
        const char* name;
        TopicBrief::Passage passage;
        std::string expected;
    } cases[] = {
        {"video at 65 s, watched, a fixture", passageAt(talk(), 65000, "q", ExposureLabel::playedWhileVisible, talkURL),
         "Video \u00B7 Pricing \\*psychology\\* talk \u00B7 01:05 \u00B7 Watched at this moment \u00B7 demo fixture "
         "\u00B7 [Open at 01:05](" +
             talkURL + ")"},
        {"video past an hour", passageAt(captured, 3725000, "q", std::nullopt, "https://y.example/w?v=1&t=3725s"),
         "Video \u00B7 Pricing \\*psychology\\* talk \u00B7 1:02:05 \u00B7 [Open at 1:02:05](https://y.example/w?v=1&"
         "t=3725s)"},
        {"video without a position: the chunk's start",
         passageAt(captured, std::nullopt, "q", std::nullopt, "app:none"),
         "Video \u00B7 Pricing \\*psychology\\* talk \u00B7 01:01"},
        {"video without any time", passageAt(noStart, std::nullopt, "q", std::nullopt, ""),
         "Video \u00B7 Pricing \\*psychology\\* talk \u00B7 00:00"},
        {"article with a heading",
         passageAt(essay("Decoys & anchors"), std::nullopt, "q", ExposureLabel::articleSectionInView,
                   "https://blog.example/tiers"),
         "Article \u00B7 Why three tiers \u00B7 \u201CDecoys \\& anchors\u201D \u00B7 Section was in view \u00B7 "
         "[jump to quote](https://blog.example/tiers)"},
        {"article without a heading",
         passageAt(essay(std::nullopt), std::nullopt, "q", ExposureLabel::uncertain, "https://blog.example/tiers"),
         "Article \u00B7 Why three tiers \u00B7 Reading status unavailable \u00B7 [jump to quote](https://blog.example/"
         "tiers)"},
        {"saved quote opens", passageAt(savedQuote(), std::nullopt, "q", std::nullopt, "https://acme.example/p"),
         "Saved quote \u00B7 Pricing notes \u00B7 [open](https://acme.example/p)"},
        {"saved quote without a web page", passageAt(savedQuote(), std::nullopt, "q", std::nullopt, ""),
         "Saved quote \u00B7 Pricing notes"},
        {"parentheses, spaces and brackets in the address",
         passageAt(essay(std::nullopt), std::nullopt, "q", std::nullopt, "https://w.example/a (b)/<c>"),
         "Article \u00B7 Why three tiers \u00B7 [jump to quote](https://w.example/a%20%28b%29/%3Cc%3E)"},
        {"screen text with an app link",
         passageAt(screenText(), std::nullopt, "q", std::nullopt, "app:com.apple.Notes"), "Screen text \u00B7 Notes"},
        {"a line break in a title or heading stays on the line",
         passageAt(brokenTitle, std::nullopt, "q", std::nullopt, ""),
         "Article \u00B7 Title \\# Injected \\[x\\](y) \u00B7 \u201CPart \\#\\# Two\u201D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TopicBrief::sourceLine(c.passage), c.expected);
    }
}

TEST(TopicBriefTest, KindLabelsAndBlockquotes) {
    ChunkRecord comment = essay(std::nullopt);
    comment.kind = "comment";
    ChunkRecord title = essay(std::nullopt);
    title.kind = "metadata";
    ChunkRecord note = essay(std::nullopt);
    note.kind = "note";
    struct Case {
        ChunkRecord chunk;
        const char* expected;
    } kinds[] = {{talk(), "Video"},
                 {essay(std::nullopt), "Article"},
                 {savedQuote(), "Saved quote"},
                 {screenText(), "Screen text"},
                 {comment, "Comment"},
                 {title, "Title"},
                 {note, "Note"}};
    for (const auto& c : kinds) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(TopicBrief::kindLabel(c.chunk), c.expected);
    }

    struct Quote {
        const char* name;
        std::string text;
        std::string expected;
    } quotes[] = {
        {"empty", "", "> "},
        {"lines kept untrimmed, empty ones with their space", "  a *b*\n\nc ", ">   a \\*b\\*\n> \n> c "},
        {"no line-start escape", "- item\n1. one", "> - item\n> 1. one"},
        {"CR LF once, a lone CR and a line separator each end a line", "a\r\nb\rc\u2028d", "> a\n> b\n> c\n> d"},
    };
    for (const auto& c : quotes) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TopicBrief::blockquote(c.text), c.expected);
    }
}

} // namespace
} // namespace brell
