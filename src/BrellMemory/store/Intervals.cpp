#include "BrellMemory/store/Intervals.h"

#include <algorithm>

namespace brell::Intervals {

std::vector<Range> merge(std::vector<Range> ranges, int64_t gap) {
    std::stable_sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    std::vector<Range> out;
    for (const auto& r : ranges) {
        if (!out.empty() && out.back().end + gap >= r.start) {
            out.back().end = std::max(out.back().end, r.end);
        } else {
            out.push_back(r);
        }
    }
    return out;
}

int64_t covered(Range range, const std::vector<Range>& ranges) {
    int64_t total = 0;
    for (const auto& r : ranges) {
        total += std::max<int64_t>(0, std::min(r.end, range.end) - std::max(r.start, range.start));
    }
    return total;
}

std::vector<Range> subtract(const std::vector<Range>& ranges, const std::vector<Range>& minus) {
    std::vector<Range> holes = merge(minus, 0);
    std::vector<Range> out;
    for (const auto& [s, e] : ranges) {
        int64_t cursor = s;
        for (const auto& [c, d] : holes) {
            if (d <= cursor || c >= e) {
                continue;
            }
            if (cursor < c) {
                out.push_back({cursor, c});
            }
            cursor = d;
        }
        if (cursor < e) {
            out.push_back({cursor, e});
        }
    }
    return out;
}

} // namespace brell::Intervals
