#include "BrellMemory/store/Intervals.h"

#include <gtest/gtest.h>

#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"
#include "BrellMemory/store/Timecode.h"

namespace brell {
namespace {

using Ranges = std::vector<Range>;

TEST(IntervalsTest, Merge) {
    struct Case {
        const char* name;
        Ranges input;
        int64_t gap;
        Ranges expected;
    } cases[] = {
        {"empty", {}, 1000, {}},
        {"gap within limit joins", {{0, 5000}, {6000, 9000}}, 1000, {{0, 9000}}},
        {"gap one past the limit stays apart", {{0, 5000}, {6001, 9000}}, 1000, {{0, 5000}, {6001, 9000}}},
        {"touching with no gap", {{0, 10}, {10, 20}}, 0, {{0, 20}}},
        {"nested", {{0, 100}, {10, 20}}, 0, {{0, 100}}},
        {"unsorted input", {{50, 60}, {0, 10}, {5, 55}}, 0, {{0, 60}}},
        {"equal starts", {{0, 5}, {0, 50}}, 0, {{0, 50}}},
        {"point ranges", {{7, 7}, {7, 7}}, 0, {{7, 7}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Intervals::merge(c.input, c.gap), c.expected);
    }
}

TEST(IntervalsTest, CoveredAndSubtract) {
    EXPECT_EQ(Intervals::covered({10000, 30000}, {{0, 12000}, {20000, 40000}}), 12000);
    EXPECT_EQ(Intervals::covered({10, 20}, {}), 0);
    EXPECT_EQ(Intervals::covered({10, 20}, {{20, 30}}), 0); // touching covers nothing
    struct Case {
        const char* name;
        Ranges ranges;
        Ranges minus;
        Ranges expected;
    } cases[] = {
        {"nothing taken", {{0, 10}}, {}, {{0, 10}}},
        {"middle hole", {{0, 10}}, {{3, 5}}, {{0, 3}, {5, 10}}},
        {"covers all", {{2, 8}}, {{0, 10}}, {}},
        {"touching leaves all", {{0, 10}}, {{10, 20}}, {{0, 10}}},
        {"overlapping, unsorted subtrahends",
         {{0, 100}},
         {{50, 60}, {10, 20}, {55, 70}},
         {{0, 10}, {20, 50}, {70, 100}}},
        {"several ranges", {{0, 10}, {20, 30}}, {{5, 25}}, {{0, 5}, {25, 30}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Intervals::subtract(c.ranges, c.minus), c.expected);
    }
}

TEST(TimecodeTest, Format) {
    struct Case {
        int64_t ms;
        const char* label;
    } cases[] = {{0, "00:00"},           {999, "00:00"},         {75'000, "01:15"},       {3'599'999, "59:59"},
                 {3'600'000, "1:00:00"}, {3'725'000, "1:02:05"}, {36'000'000, "10:00:00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ms);
        EXPECT_EQ(Timecode::format(c.ms), c.label);
    }
}

TEST(ExposureLabelTest, RawValuesAndDisplay) {
    for (auto label : allExposureLabels) {
        EXPECT_EQ(exposureLabelFromRaw(rawValue(label)), label);
    }
    EXPECT_FALSE(exposureLabelFromRaw("played while visible"));
    EXPECT_EQ(display(ExposureLabel::playedWhileVisible, "video"), "Watched at this moment");
    EXPECT_EQ(display(ExposureLabel::outsideObservedPlayback, "video"), "Outside watched intervals");
    EXPECT_EQ(display(ExposureLabel::uncertain, "video"), "Watch status unavailable");
    EXPECT_EQ(display(ExposureLabel::uncertain, "article"), "Reading status unavailable");
    EXPECT_EQ(display(ExposureLabel::articleSectionNotObserved, "article"), "Section not seen");
    EXPECT_TRUE(isOutsideObserved(ExposureLabel::articleSectionNotObserved));
    EXPECT_FALSE(isOutsideObserved(ExposureLabel::uncertain));
}

// Raw values are stored and sent to assistants, display texts shown: both pinned word
// for word, in case order.
TEST(ExposureLabelTest, EveryLabelsStoredAndShownWords) {
    struct Case {
        ExposureLabel label;
        const char* raw;
        const char* videoDisplay;
        const char* articleDisplay;
    } cases[] = {
        {ExposureLabel::playedWhileVisible, "Played while visible", "Watched at this moment", "Watched at this moment"},
        {ExposureLabel::playedInBackground, "Played in background", "Played in background", "Played in background"},
        {ExposureLabel::outsideObservedPlayback, "Outside observed playback", "Outside watched intervals",
         "Outside watched intervals"},
        {ExposureLabel::articleSectionInView, "Article section in view", "Section was in view", "Section was in view"},
        {ExposureLabel::articleSectionNotObserved, "Article section not observed", "Section not seen",
         "Section not seen"},
        {ExposureLabel::fromComments, "From comments", "From comments", "From comments"},
        {ExposureLabel::brellInference, "BRELL inference", "BRELL inference", "BRELL inference"},
        {ExposureLabel::seenOnScreen, "Seen on screen", "Seen on screen", "Seen on screen"},
        {ExposureLabel::uncertain, "Uncertain exposure", "Watch status unavailable", "Reading status unavailable"},
    };
    ASSERT_EQ(std::size(cases), allExposureLabels.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(allExposureLabels[i], c.label);
        EXPECT_EQ(rawValue(c.label), c.raw);
        EXPECT_EQ(exposureLabelFromRaw(c.raw), c.label);
        EXPECT_EQ(display(c.label, "video"), c.videoDisplay);
        EXPECT_EQ(display(c.label, "article"), c.articleDisplay);
    }
}

TEST(ChunkRecordTest, PassageStartsAtTheCueAndCutsAtASpace) {
    ChunkRecord c;
    c.kind = "transcript";
    c.text = "Ünïcode first cue. Then the second cue speaks about gravity waves at length here.";
    c.cues = {{0, 10000}, {19, 14000}};
    EXPECT_EQ(c.passage(15000, 200), "Then the second cue speaks about gravity waves at length here.");
    EXPECT_EQ(c.passage(9000, 200), c.text); // before the first cue: the first entry
    EXPECT_EQ(c.passage(15000, 20), "Then the second cue\u2026");
    EXPECT_EQ(c.passage(std::nullopt, 18), "Ünïcode first\u2026");
    c.text = "exactly twenty chars";
    c.cues.clear();
    EXPECT_EQ(c.passage(0, 20), "exactly twenty chars");
    c.text = "nospaceatallinthistext";
    EXPECT_EQ(c.passage(0, 5), "nospa\u2026");
}

TEST(ChunkRecordTest, CuesDecodeOrFallBackToNone) {
    EXPECT_EQ(ChunkRecord::decodeCues("[[0,1000],[12,5000]]"),
              (std::vector<std::vector<int64_t>>{{0, 1000}, {12, 5000}}));
    EXPECT_TRUE(ChunkRecord::decodeCues("[[0,\"x\"]]").empty());
    EXPECT_TRUE(ChunkRecord::decodeCues("{}").empty());
    EXPECT_TRUE(ChunkRecord::decodeCues(std::nullopt).empty());
    ChunkRecord c;
    for (auto [kind, label] : {std::pair{"transcript", "Transcript"},
                               {"metadata", "Title"},
                               {"note", "Note"},
                               {"comment", "Comment"},
                               {"article", "Article"}}) {
        c.kind = kind;
        EXPECT_EQ(c.kindLabel(), label);
    }
}

} // namespace
} // namespace brell
