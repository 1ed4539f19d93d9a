#pragma once
// What the user said about an insight, and the status each answer gives it. "mute_source"
// dismisses the insight and, with a source named, also mutes that source. The raw value
// is the stored `feedback.reason` text. Pure functions; throw nothing.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "BrellMemory/insights/InsightStatus.h"

namespace brell {

enum class FeedbackReason {
    useful,
    saved,
    notRelevant,
    known,
    wrongProject,
    dismissed,
    muteSource,
};

inline constexpr std::array<FeedbackReason, 7> allFeedbackReasons = {
    FeedbackReason::useful,       FeedbackReason::saved,     FeedbackReason::notRelevant, FeedbackReason::known,
    FeedbackReason::wrongProject, FeedbackReason::dismissed, FeedbackReason::muteSource};

std::string rawValue(FeedbackReason reason);
// The reason with this raw value, or nothing.
std::optional<FeedbackReason> feedbackReasonFromRaw(std::string_view text);
// The insight status the reason sets.
InsightStatus statusSetBy(FeedbackReason reason);

} // namespace brell
