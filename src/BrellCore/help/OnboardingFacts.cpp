#include "BrellCore/help/OnboardingFacts.h"

namespace brell {

bool OnboardingFacts::extensionTalking(std::optional<Date> lastSeen, Date now, double window) {
    return lastSeen.has_value() && now - *lastSeen <= window;
}

} // namespace brell
