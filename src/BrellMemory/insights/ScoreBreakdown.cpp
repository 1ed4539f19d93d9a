#include "BrellMemory/insights/ScoreBreakdown.h"

namespace brell {
namespace {

std::optional<double> number(const Json& object, const char* key) {
    const Json& value = JsonText::member(object, key);
    if (!value.is_number()) {
        return std::nullopt;
    }
    return value.get<double>();
}

} // namespace

Json ScoreBreakdown::toJson() const {
    return {{"fit", fit},       {"evidence", evidence}, {"novelty", novelty}, {"actionability", actionability},
            {"timing", timing}, {"total", total},       {"reasons", reasons}};
}

std::optional<ScoreBreakdown> ScoreBreakdown::fromJson(const Json& value) {
    auto fit = number(value, "fit");
    auto evidence = number(value, "evidence");
    auto novelty = number(value, "novelty");
    auto actionability = number(value, "actionability");
    auto timing = number(value, "timing");
    auto total = number(value, "total");
    const Json& reasons = JsonText::member(value, "reasons");
    if (!fit || !evidence || !novelty || !actionability || !timing || !total || !reasons.is_object()) {
        return std::nullopt;
    }
    ScoreBreakdown breakdown{*fit, *evidence, *novelty, *actionability, *timing, *total, {}};
    for (const auto& [key, reason] : reasons.items()) {
        if (!reason.is_string()) {
            return std::nullopt;
        }
        breakdown.reasons.emplace(key, reason.get<std::string>());
    }
    return breakdown;
}

} // namespace brell
