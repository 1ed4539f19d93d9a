#include "BrellMemory/insights/Relationship.h"

namespace brell {

std::string rawValue(Relationship relationship) {
    switch (relationship) {
    case Relationship::diagnosis:
        return "diagnosis";
    case Relationship::workaround:
        return "workaround";
    case Relationship::contradiction:
        return "contradiction";
    case Relationship::missedDetail:
        return "missed_detail";
    case Relationship::transfer:
        return "transfer";
    case Relationship::decision:
        return "decision";
    }
    return "diagnosis";
}

std::optional<Relationship> relationshipFromRaw(std::string_view text) {
    for (auto relationship : allRelationships) {
        if (rawValue(relationship) == text) {
            return relationship;
        }
    }
    return std::nullopt;
}

} // namespace brell
