#pragma once
// Timing for benchmarks that print their own figures: run a body repeatedly and report
// the rate or the distribution of single runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace brell::bench {

// Calls `body` `count` times and returns calls per second.
inline double ratePerSecond(int count, const std::function<void()>& body) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        body();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return count / seconds;
}

// How long one call of `body` takes, in milliseconds.
inline double millisecondsOf(const std::function<void()>& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The nearest-rank percentile `p` (0 to 1) of `values`; 0 for none.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// Prints "name: figure unit | baseline: figure unit | ratio".
inline void printComparison(const std::string& name, double measured, const std::string& baselineName, double baseline,
                            const char* unit) {
    std::printf("%-44s %12.0f %s   %-34s %12.0f %s   ratio %.2f\n", name.c_str(), measured, unit, baselineName.c_str(),
                baseline, unit, baseline / measured);
}

} // namespace brell::bench
