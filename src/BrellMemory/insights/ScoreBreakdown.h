#pragma once
// How a candidate was rated: five components at fixed levels, their weighted total and
// one sentence per component that explains it to the user. Stored with the insight as
// JSON with exactly the field names below. A plain value; equality over all fields.
#include <map>
#include <optional>
#include <string>

#include "util/Json.h"

namespace brell {

struct ScoreBreakdown {
    double fit = 0;                             // 0, 0.5 or 1
    double evidence = 0;                        // 0, 0.5 or 1
    double novelty = 0;                         // 0, 0.5 or 1
    double actionability = 0;                   // 0.5 or 1
    double timing = 0;                          // 0.5 or 1
    double total = 0;                           // weighted sum, to three decimals
    std::map<std::string, std::string> reasons; // keyed fit, evidence, novelty, actionability, timing

    // {"fit": …, "evidence": …, "novelty": …, "actionability": …, "timing": …,
    // "total": …, "reasons": {…}}.
    Json toJson() const;
    // Nothing unless every field is there with its kind (numbers, and an object of
    // strings for the reasons); other members are ignored.
    static std::optional<ScoreBreakdown> fromJson(const Json& value);

    bool operator==(const ScoreBreakdown&) const = default;
};

} // namespace brell
