#pragma once
// One thing in the user's mail and chat that still needs them, as the catch-up review
// found it: the kept window it was read in, who wrote, what they want, why it matters
// and how urgent the model judged it. Fields hold the model's words, cut to their
// limits but otherwise unchecked ("urgency" may be anything); CatchUp::parse makes
// them, and only for windows that were sent. A plain value; throws nothing but
// std::bad_alloc.
#include <cstddef>
#include <string>

#include "BrellMemory/screen/ScreenCapture.h"

namespace brell {

struct CatchUpItem {
    // Limits in user-perceived characters.
    static constexpr std::size_t maxFrom = 80;
    static constexpr std::size_t maxSummary = 240;
    static constexpr std::size_t maxWhyItMatters = 200;
    static constexpr std::size_t maxUrgency = 10;

    ScreenCapture capture; // the window the message was seen in
    std::string from;      // who wrote it; may be empty
    std::string summary;   // what they want
    std::string whyItMatters;
    std::string urgency; // "high", "normal" or "low" as the model gave it

    // The capture's id, "-" and the hash of `summary`: stable while the program runs,
    // not across runs.
    std::string id() const;
    // 0 for "high", 2 for "low", 1 for "normal" and anything else.
    int urgencyRank() const;

    bool operator==(const CatchUpItem&) const = default;
};

} // namespace brell
