#pragma once
// The answer to "has the user met this page before?": the companion's "seen" reply and
// `brell seen` are both written from this one value. Plain value.
#include <cstdint>
#include <optional>

#include "BrellMemory/store/SeenBefore.h"

namespace brell {

struct SeenAnswer {
    enum class Outcome {
        known,            // `visit` holds what memory knows
        notSeen,          // allowed, but nothing remembered
        invalidURL,       // not an https web address
        disabled,         // memory off or paused, or YouTube memory off for a video
        notAllowed,       // an article on a site that is not approved
        storeUnavailable, // the memory could not be read just now
    };

    Outcome outcome = Outcome::notSeen;
    std::optional<SeenBefore> visit; // with `known` only
    int64_t quotes = 0;              // the board's saved quotes from the page, with `known` only

    bool operator==(const SeenAnswer&) const = default;
};

} // namespace brell
