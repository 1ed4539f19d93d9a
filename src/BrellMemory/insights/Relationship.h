#pragma once
// How a proposed next step relates to the task: a diagnosis, a workaround, a
// contradiction, a missed detail, a transfer from elsewhere or a decision. The raw value
// is what models are asked for and what the insight row stores; any other text names
// no relationship.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class Relationship {
    diagnosis,
    workaround,
    contradiction,
    missedDetail,
    transfer,
    decision,
};

inline constexpr std::array<Relationship, 6> allRelationships = {
    Relationship::diagnosis,    Relationship::workaround, Relationship::contradiction,
    Relationship::missedDetail, Relationship::transfer,   Relationship::decision};

std::string rawValue(Relationship relationship);
std::optional<Relationship> relationshipFromRaw(std::string_view text);

} // namespace brell
