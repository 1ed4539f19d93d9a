#pragma once
// AskResult: the simplest answer to a question: up to three sources and how strongly
// the best of them matched, with the headline shown above them. A plain value; equality
// over all fields.
#include <cstddef>
#include <string>
#include <vector>

#include "BrellMemory/recall/SourceMatch.h"

namespace brell {

struct AskResult {
    enum class Strength { strong, weak, none };

    static constexpr std::size_t maxMatches = 3;

    std::vector<SourceMatch> matches; // one per source, at most maxMatches
    Strength strength = Strength::none;

    // "" when strong, "I found a few possible matches." when weak, "I don't have enough
    // evidence in your memory yet." when there is nothing.
    std::string headline() const;

    bool operator==(const AskResult&) const = default;
};

// "strong", "weak" or "none".
std::string rawValue(AskResult::Strength strength);

} // namespace brell
