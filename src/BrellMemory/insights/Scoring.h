#pragma once
// Rating a candidate and deciding whether it may be pushed to the user. Five components
// at fixed levels — fit to the task, independent support, novelty, actionability and
// timing — are combined with the configured weights into a total rounded to three
// decimals, each explained in one short sentence. signature() reduces a next step to its
// stemmed key words so that a step the user already dealt with is recognised however it
// is worded.
//
// Pure functions; safe from any thread. Nothing here throws except std::bad_alloc (or
// TextError when ICU itself fails).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/db/MemoryConfig.h"
#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/ScoreBreakdown.h"
#include "BrellMemory/insights/TaskContext.h"

namespace brell::Scoring {

// Whether a rated insight may be shown unasked, and otherwise why it is held:
// "no_evidence", "duplicate" or "low_value".
struct Eligibility {
    bool eligible = false;
    std::optional<std::string> holdReason;

    bool operator==(const Eligibility&) const = default;
};

// `suppressed` holds the signatures of steps the user marked in this project;
// `timingNow` whether the insight would be shown for the current moment.
ScoreBreakdown score(const CandidateDraft& draft, const TaskContext& task, const std::vector<Excerpt>& pack,
                     const std::vector<std::string>& suppressed, bool timingNow, const MemoryConfig& config);

Eligibility eligible(const ScoreBreakdown& breakdown, const MemoryConfig& config);

// The stems of the text's own query terms, without repeats, sorted, at most 10, joined
// with single spaces; empty for a text of stop words only.
std::string signature(std::string_view text);

// The words two texts share (split at spaces) over the size of the smaller word set;
// 0 when either has no words.
double overlap(std::string_view a, std::string_view b);

} // namespace brell::Scoring
