#pragma once
// One line of the setup guide's closing summary: the step it belongs to, whether it is
// shown as working, and its sentence. A plain value.
#include <string>

#include "BrellCore/help/OnboardingStep.h"

namespace brell {

struct OnboardingSummaryItem {
    OnboardingStep step = OnboardingStep::welcome;
    bool on = false;
    std::string text;

    bool operator==(const OnboardingSummaryItem&) const = default;
};

} // namespace brell
