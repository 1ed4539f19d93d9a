#include "BrellMemory/insights/FeedbackReason.h"

namespace brell {

std::string rawValue(FeedbackReason reason) {
    switch (reason) {
    case FeedbackReason::useful:
        return "useful";
    case FeedbackReason::saved:
        return "saved";
    case FeedbackReason::notRelevant:
        return "not_relevant";
    case FeedbackReason::known:
        return "known";
    case FeedbackReason::wrongProject:
        return "wrong_project";
    case FeedbackReason::dismissed:
        return "dismissed";
    case FeedbackReason::muteSource:
        return "mute_source";
    }
    return "dismissed";
}

std::optional<FeedbackReason> feedbackReasonFromRaw(std::string_view text) {
    for (auto reason : allFeedbackReasons) {
        if (rawValue(reason) == text) {
            return reason;
        }
    }
    return std::nullopt;
}

InsightStatus statusSetBy(FeedbackReason reason) {
    switch (reason) {
    case FeedbackReason::useful:
        return InsightStatus::useful;
    case FeedbackReason::saved:
        return InsightStatus::saved;
    case FeedbackReason::notRelevant:
        return InsightStatus::notRelevant;
    case FeedbackReason::known:
        return InsightStatus::known;
    case FeedbackReason::wrongProject:
        return InsightStatus::wrongProject;
    case FeedbackReason::dismissed:
    case FeedbackReason::muteSource:
        return InsightStatus::dismissed;
    }
    return InsightStatus::dismissed;
}

} // namespace brell
