#include "BrellCore/board/Lane.h"

#include <gtest/gtest.h>

namespace brell {

TEST(LaneTest, EachLaneHasItsFixedTexts) {
    struct Case {
        Lane lane;
        const char* raw;
        const char* title;
        const char* arrow;
        const char* promise;
    } cases[] = {
        {Lane::links, "links", "Links", "\u2190", "Pages and links, with where you found them"},
        {Lane::notes, "notes", "Notes", "\u2191", "A quote plus an explanation"},
        {Lane::evidence, "evidence", "Evidence", "\u2192", "Exact quotes with their source"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(c.lane.rawValue(), c.raw);
        EXPECT_EQ(c.lane.id(), c.raw);
        EXPECT_EQ(c.lane.title(), c.title);
        EXPECT_EQ(c.lane.arrow(), c.arrow);
        EXPECT_EQ(c.lane.promise(), c.promise);
        EXPECT_EQ(Lane::fromRaw(c.raw), c.lane);
    }
}

TEST(LaneTest, DeclaredAndExportOrdersDiffer) {
    EXPECT_EQ(Lane::allLanes(), (std::array<Lane, 3>{Lane::links, Lane::notes, Lane::evidence}));
    EXPECT_EQ(Lane::exportOrder(), (std::array<Lane, 3>{Lane::evidence, Lane::notes, Lane::links}));
}

TEST(LaneTest, OnlyTheExactRawValuesDecode) {
    for (const char* text : {"Links", "EVIDENCE", "note", "", " links", "quote"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Lane::fromRaw(text));
    }
}

} // namespace brell
