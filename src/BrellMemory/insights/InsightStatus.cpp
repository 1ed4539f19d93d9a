#include "BrellMemory/insights/InsightStatus.h"

namespace brell {

std::string rawValue(InsightStatus status) {
    switch (status) {
    case InsightStatus::new_:
        return "new";
    case InsightStatus::shown:
        return "shown";
    case InsightStatus::saved:
        return "saved";
    case InsightStatus::useful:
        return "useful";
    case InsightStatus::dismissed:
        return "dismissed";
    case InsightStatus::known:
        return "known";
    case InsightStatus::notRelevant:
        return "not_relevant";
    case InsightStatus::wrongProject:
        return "wrong_project";
    case InsightStatus::withdrawn:
        return "withdrawn";
    }
    return "new";
}

std::optional<InsightStatus> insightStatusFromRaw(std::string_view text) {
    for (auto status : allInsightStatuses) {
        if (rawValue(status) == text) {
            return status;
        }
    }
    return std::nullopt;
}

InsightStatus insightStatusFromStored(std::string_view text) {
    return insightStatusFromRaw(text).value_or(InsightStatus::new_);
}

bool isKept(InsightStatus status) {
    return status == InsightStatus::saved || status == InsightStatus::useful;
}

} // namespace brell
