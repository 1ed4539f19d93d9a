#pragma once
// The setup guide as a program outside the desktop application runs it, where some
// permissions cannot be known (the system keeps them per application, or has no such
// permission at all). OnboardingFlow's rules decide everything that is known; a fact
// marked unknown is never taken as granted or refused: its step can be looked at and
// passed, and its summary line says it cannot be known. Pure; thread-safe; throws
// nothing.
#include <optional>
#include <string>
#include <vector>

#include "BrellCore/help/OnboardingFlow.h"

namespace brell {

struct SetupGuide {
    // What the flow knows; the two permissions below are false here when unknown.
    OnboardingFacts facts;
    bool accessibilityUnknown = false;
    bool screenPermissionUnknown = false;

    enum class StepState { done, current, toDo, unknown };

    // The flow's first unfinished step, except that a step whose completion rests on an
    // unknown permission counts as passed once it has been seen.
    OnboardingStep current(const OnboardingFlow::Seen& seen) const;

    // How each step stands, in step order.
    std::vector<std::pair<OnboardingStep, StepState>> steps(const OnboardingFlow::Seen& seen) const;

    struct SummaryLine {
        OnboardingStep step;
        std::optional<bool> on; // nothing when it cannot be known here
        std::string text;
    };
    // OnboardingFlow::summary, with the lines that rest on an unknown permission saying so.
    std::vector<SummaryLine> summary(const std::string& shortcut) const;
};

} // namespace brell
