#include "BrellMemory/recall/AskResult.h"

namespace brell {

std::string AskResult::headline() const {
    switch (strength) {
    case Strength::strong:
        return "";
    case Strength::weak:
        return "I found a few possible matches.";
    case Strength::none:
        break;
    }
    return "I don't have enough evidence in your memory yet.";
}

std::string rawValue(AskResult::Strength strength) {
    switch (strength) {
    case AskResult::Strength::strong:
        return "strong";
    case AskResult::Strength::weak:
        return "weak";
    case AskResult::Strength::none:
        break;
    }
    return "none";
}

} // namespace brell
