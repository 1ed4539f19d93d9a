#pragma once
// Timing for benchmarks that print their own figures: run a body repeatedly and report
// the rate or the distribution of single runs, and print a figure next to its floor
// (the limit it is measured against in the same run) and its goal.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace brell::bench {

inline double secondsOf(const std::function<void()>& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Calls `body` `count` times and returns calls per second.
inline double ratePerSecond(int count, const std::function<void()>& body) {
    double seconds = secondsOf([&] {
        for (int i = 0; i < count; ++i) {
            body();
        }
    });
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

inline double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Runs each body `perRound` times per round, for `rounds` rounds, the body that goes
// first turning from round to round, and returns each body's median rate (calls per
// second) over the rounds. On a machine busy with other work, the figures compared
// meet the same moments of load, so their ratio holds where the rates alone do not.
inline std::vector<double> alternatingRates(int rounds, int perRound,
                                            const std::vector<std::function<void()>>& bodies) {
    std::vector<std::vector<double>> rates(bodies.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < bodies.size(); ++k) {
            std::size_t which = (k + static_cast<std::size_t>(round)) % bodies.size();
            rates[which].push_back(ratePerSecond(perRound, bodies[which]));
        }
    }
    std::vector<double> out;
    for (auto& r : rates) {
        out.push_back(median(r));
    }
    return out;
}

// The load of the machine while a benchmark ran, for the reader of its figures.
inline void printLoad() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3) {
        std::printf("(load average %.1f %.1f %.1f)\n", load[0], load[1], load[2]);
    }
}

// "name  value unit | floor-name  value unit | ratio r  goal  met|MISSED".
inline void printFigure(const std::string& name, double value, const std::string& floorName, double floor,
                        const char* unit, double ratio, const std::string& goal, bool met) {
    std::printf("%-44s %10.1f %-10s | %-30s %10.1f %-10s | ratio %5.2f  goal %-18s %s\n", name.c_str(), value, unit,
                floorName.c_str(), floor, unit, ratio, goal.c_str(), met ? "met" : "MISSED");
}

// Prints "name: figure unit | baseline: figure unit | ratio".
inline void printComparison(const std::string& name, double measured, const std::string& baselineName, double baseline,
                            const char* unit) {
    std::printf("%-44s %12.0f %s   %-34s %12.0f %s   ratio %.2f\n", name.c_str(), measured, unit, baselineName.c_str(),
                baseline, unit, baseline / measured);
}

} // namespace brell::bench
