#include <gtest/gtest.h>

#include "BrellMemory/visual/TinyJpeg.h"
#include "BrellMemory/visual/VisualPolicy.h"

namespace brell {
namespace {

TEST(VisualPolicyTest, SpreadPicksEvenlyWithFirstAndLast) {
    struct Case {
        const char* name;
        std::size_t n;
        int64_t count;
        std::vector<std::size_t> expected;
    };
    const Case cases[] = {
        {"20 items, 8 picked", 20, 8, {0, 3, 5, 8, 11, 14, 16, 19}},
        {"a half rounds away from zero", 4, 3, {0, 2, 3}},
        {"one picked is the first", 5, 1, {0}},
        {"two picked are the ends", 5, 2, {0, 4}},
        {"as many as there are", 3, 3, {0, 1, 2}},
        {"more than there are", 3, 8, {0, 1, 2}},
        {"zero means all", 3, 0, {0, 1, 2}},
        {"negative means all", 2, -4, {0, 1}},
        {"nothing to pick from", 0, 8, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VisualPolicy::spreadIndexes(c.n, c.count), c.expected);
    }
    std::vector<char> letters = {'a', 'b', 'c', 'd', 'e'};
    EXPECT_EQ(VisualPolicy::spread(letters, 3), (std::vector<char>{'a', 'c', 'e'}));
}

TEST(VisualPolicyTest, ChangedComparesTheMeanDifference) {
    struct Case {
        const char* name;
        std::vector<uint8_t> a;
        std::vector<uint8_t> b;
        double threshold;
        bool expected;
    };
    const Case cases[] = {
        {"no earlier picture", {}, {}, 0.5, true},
        {"other size", {1, 2}, {1, 2, 3}, 0.5, true},
        {"identical", {10, 20, 30}, {10, 20, 30}, 0.0, false},
        // Mean difference 51 / 255 = 0.2: equal to the threshold is not a change.
        {"at the threshold", {0, 0}, {51, 51}, 0.2, false},
        {"above the threshold", {0, 0}, {52, 52}, 0.2, true},
        {"differences in both directions count", {255, 0}, {0, 255}, 0.99, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VisualPolicy::changed(c.a, c.b, c.threshold), c.expected);
    }
}

TEST(VisualPolicyTest, OnlyWholeJpegFilesPass) {
    std::string jpeg = test::tinyJpeg();
    struct Case {
        const char* name;
        std::string bytes;
        bool expected;
    };
    const Case cases[] = {
        {"a real picture", jpeg, true},
        {"cut short before its end marker", jpeg.substr(0, jpeg.size() - 1), false},
        {"data after the end marker", jpeg + "xx", false},
        {"a PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false},
        {"text", "hello, this is not a picture", false},
        {"empty", "", false},
        {"markers only", std::string("\xFF\xD8\xFF\xD9", 4), false},
        {"no marker after the start", std::string("\xFF\xD8\xFF\x00\xFF\xD9", 6), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VisualPolicy::isJPEG(c.bytes), c.expected);
    }
}

} // namespace
} // namespace brell
