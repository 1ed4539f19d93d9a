// Reading a video session delta into the value the host stores, before any storing.
#include "BrellMemory/host/VideoDelta.h"

#include <gtest/gtest.h>

#include "support/ParseOutcome.h"

namespace brell {
namespace {

const Json watchSource = {{"id", "youtube:dQw4w9WgXcQ"},
                          {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ&t=42"},
                          {"title", "  A   talk\nabout tides "}};

TEST(VideoDeltaTest, ReadsTheVideoTitleRangesAndPlayingTime) {
    auto parsed = VideoDelta::parse(
        watchSource,
        {{"rangesMs", {{0, 10000}, {20000, 30000}}}, {"playedRangesMs", {{0, 40000}}}, {"playedWallMs", 40000}});
    ASSERT_TRUE(std::holds_alternative<VideoDelta>(parsed)) << test::outcome(parsed);
    VideoDelta expected;
    expected.key = "youtube:dQw4w9WgXcQ";
    expected.videoID = "dQw4w9WgXcQ";
    expected.watchURL = "https://www.youtube.com/watch?v=dQw4w9WgXcQ";
    expected.title = "A talk about tides";
    expected.ranges = {{0, 10000}, {20000, 30000}};
    expected.played = std::vector<Range>{{0, 40000}};
    expected.playedWallMs = 40000;
    EXPECT_EQ(std::get<VideoDelta>(parsed), expected);

    // Optional parts absent: no played ranges, no playing time, the fallback title.
    Json bare = watchSource;
    bare.erase("title");
    auto minimal = VideoDelta::parse(bare, {{"rangesMs", Json::array()}, {"playedWallMs", "5"}});
    ASSERT_TRUE(std::holds_alternative<VideoDelta>(minimal)) << test::outcome(minimal);
    const auto& delta = std::get<VideoDelta>(minimal);
    EXPECT_EQ(delta.title, "YouTube video");
    EXPECT_FALSE(delta.played);
    EXPECT_TRUE(delta.ranges.empty());
    EXPECT_EQ(delta.playedWallMs, 0);
}

TEST(VideoDeltaTest, RefusesWithTheFirstReasonThatApplies) {
    auto source = [](const char* id, const char* url) { return Json{{"id", id}, {"url", url}}; };
    const Json watch = source("youtube:dQw4w9WgXcQ", "https://www.youtube.com/watch?v=dQw4w9WgXcQ");
    struct Case {
        const char* name;
        Json source;
        Json payload;
        const char* reason;
    } cases[] = {
        {"id of another video",
         source("youtube:aaaaaaaaaaa", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"),
         {{"rangesMs", Json::array()}},
         "video_source"},
        {"short link",
         source("youtube:dQw4w9WgXcQ", "https://youtu.be/dQw4w9WgXcQ"),
         {{"rangesMs", Json::array()}},
         "video_source"},
        {"http address",
         source("youtube:dQw4w9WgXcQ", "http://www.youtube.com/watch?v=dQw4w9WgXcQ"),
         {{"rangesMs", Json::array()}},
         "video_source"},
        {"id without its prefix",
         source("dQw4w9WgXcQ", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"),
         {{"rangesMs", Json::array()}},
         "video_source"},
        {"the source is checked before the ranges", source("x", "y"), {{"rangesMs", "no"}}, "video_source"},
        {"ranges missing", watch, Json::object(), "ranges"},
        {"ranges not a list of lists", watch, {{"rangesMs", {1, 2}}}, "ranges"},
        {"a real number in a range", watch, {{"rangesMs", {{0, 1.5}}}}, "ranges"},
        {"more than 1000 ranges", watch, {{"rangesMs", Json(std::vector<Json>(1001, Json{0, 1}))}}, "ranges"},
        {"a shape fault after a bound fault is still a shape fault", watch, {{"rangesMs", {{5, 1}, {"a"}}}}, "ranges"},
        {"three numbers", watch, {{"rangesMs", {{0, 1, 2}}}}, "range_bounds"},
        {"start after end", watch, {{"rangesMs", {{5, 1}}}}, "range_bounds"},
        {"empty range", watch, {{"rangesMs", {{5, 5}}}}, "range_bounds"},
        {"negative start", watch, {{"rangesMs", {{-1, 5}}}}, "range_bounds"},
        {"past a day", watch, {{"rangesMs", {{0, 86'400'001}}}}, "range_bounds"},
        {"played ranges follow the same rules",
         watch,
         {{"rangesMs", Json::array()}, {"playedRangesMs", nullptr}},
         "ranges"},
        {"playing time past a day", watch, {{"rangesMs", Json::array()}, {"playedWallMs", 86'400'001}}, "played_wall"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::outcome(VideoDelta::parse(c.source, c.payload)), c.reason);
    }
    // The limits themselves are fine.
    EXPECT_EQ(test::outcome(VideoDelta::parse(watch, {{"rangesMs", {{0, 86'400'000}}}, {"playedWallMs", 86'400'000}})),
              "(accepted)");
    EXPECT_EQ(test::outcome(VideoDelta::parse(watch, {{"rangesMs", Json(std::vector<Json>(1000, Json{0, 1}))}})),
              "(accepted)");
}

} // namespace
} // namespace brell
