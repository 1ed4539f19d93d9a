// Reading captured captions into the value the host stores, before any storing.
#include "BrellMemory/host/CapturedTranscript.h"

#include <gtest/gtest.h>

#include "support/ParseOutcome.h"

namespace brell {
namespace {

const Json videoSource = {
    {"id", "youtube:dQw4w9WgXcQ"}, {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"}, {"title", "Tides\ttalk"}};

TEST(CapturedTranscriptTest, CuesEndWhereTheNextStartsAndChaptersNameThem) {
    Json payload = {{"cues", {{0, "<b>Hello</b> &amp; welcome"}, {4000, "tides"}, {4000, "turn"}, {9000, "twice"}}},
                    {"chapters", {{0, " Intro "}, {8000, "Tides"}, {-1, "bad start"}, {5, ""}, {1}}}};
    auto parsed = CapturedTranscript::parse(videoSource, payload, 1000);
    ASSERT_EQ(test::outcome(parsed), "(accepted)");
    const auto& t = std::get<CapturedTranscript>(parsed);
    EXPECT_EQ(t.key, "youtube:dQw4w9WgXcQ");
    EXPECT_EQ(t.watchURL, "https://www.youtube.com/watch?v=dQw4w9WgXcQ");
    EXPECT_EQ(t.title, "Tides talk");
    EXPECT_EQ(t.cues, (std::vector<Cue>{{0, 4000, "Hello & welcome"},
                                        {4000, 4001, "tides"}, // a cue is at least 1 ms long
                                        {4000, 9000, "turn"},
                                        {9000, 14000, "twice"}}));
    EXPECT_EQ(t.chapters, (std::vector<CapturedTranscript::Chapter>{{0, "Intro"}, {8000, "Tides"}}));
    EXPECT_EQ(t.chapterAt(7999), "Intro");
    EXPECT_EQ(t.chapterAt(8000), "Tides");

    // A chapter list holding anything but lists is no list; no title gives the fallback.
    Json untitled = videoSource;
    untitled.erase("title");
    auto plain = CapturedTranscript::parse(untitled, {{"cues", {{0, "a"}}}, {"chapters", {{{0, "A"}}, "B"}}}, 1000);
    ASSERT_EQ(test::outcome(plain), "(accepted)");
    EXPECT_TRUE(std::get<CapturedTranscript>(plain).chapters.empty());
    EXPECT_EQ(std::get<CapturedTranscript>(plain).title, "YouTube video");
    EXPECT_FALSE(std::get<CapturedTranscript>(plain).chapterAt(0));
}

TEST(CapturedTranscriptTest, RefusesWithTheFirstReasonThatApplies) {
    struct Case {
        const char* name;
        Json source;
        Json payload;
        const char* reason;
    } cases[] = {
        {"a video id that does not match",
         {{"id", "youtube:aaaaaaaaaaa"}, {"url", videoSource["url"]}},
         {{"cues", {{0, "a"}}}},
         "video_source"},
        {"no cues", videoSource, {{"cues", Json::array()}}, "cues"},
        {"cues not lists", videoSource, {{"cues", {"a"}}}, "cues"},
        {"more than 6000 cues", videoSource, {{"cues", Json(std::vector<Json>(6001, Json{0, "a"}))}}, "cues"},
        {"a cue of three parts", videoSource, {{"cues", {{0, "a", 1}}}}, "cue"},
        {"a start as text", videoSource, {{"cues", Json::array({Json::array({"0", "a"})})}}, "cue"},
        {"a negative start", videoSource, {{"cues", {{-1, "a"}}}}, "cue"},
        {"a start past a day", videoSource, {{"cues", {{86'400'001, "a"}}}}, "cue"},
        {"blank text", videoSource, {{"cues", {{0, "  "}}}}, "cue"},
        {"text with a NUL", videoSource, {{"cues", {{0, std::string("a\0b", 3)}}}}, "cue"},
        {"text over 2000 characters", videoSource, {{"cues", {{0, std::string(2001, 'a')}}}}, "cue"},
        {"going back in time", videoSource, {{"cues", {{5, "a"}, {4, "b"}}}}, "cue_order"},
        {"more text than the limit",
         videoSource,
         {{"cues", {{0, std::string(600, 'a')}, {1, std::string(401, 'b')}}}},
         "too_much_text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::outcome(CapturedTranscript::parse(c.source, c.payload, 1000)), c.reason);
    }
    EXPECT_EQ(test::outcome(CapturedTranscript::parse(
                  videoSource, {{"cues", {{0, std::string(600, 'a')}, {86'400'000, std::string(400, 'b')}}}}, 1000)),
              "(accepted)");
}

} // namespace
} // namespace brell
