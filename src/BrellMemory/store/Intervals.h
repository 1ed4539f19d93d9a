#pragma once
// Arithmetic over closed millisecond ranges [start, end] with start <= end: merging
// played ranges, measuring how much of a span they cover, and taking ranges away.
// Pure functions.
#include <cstdint>
#include <vector>

namespace brell {

struct Range {
    int64_t start = 0;
    int64_t end = 0;
    bool operator==(const Range&) const = default;
};

namespace Intervals {

// Sorted by start (stable); a range joins the previous one when it starts at most
// `gap` after the previous one's end.
std::vector<Range> merge(std::vector<Range> ranges, int64_t gap);

// How many milliseconds of `range` the (merged) `ranges` cover.
int64_t covered(Range range, const std::vector<Range>& ranges);

// The parts of `ranges` not inside `minus`, in order.
std::vector<Range> subtract(const std::vector<Range>& ranges, const std::vector<Range>& minus);

} // namespace Intervals
} // namespace brell
