#include "BrellCore/help/SetupGuide.h"

namespace brell {
namespace {

bool passed(const SetupGuide& guide, OnboardingStep step, const OnboardingFlow::Seen& seen) {
    if (OnboardingFlow::isComplete(step, guide.facts, seen)) {
        return true;
    }
    return step == OnboardingStep::capture && guide.accessibilityUnknown && seen.contains(step);
}

} // namespace

OnboardingStep SetupGuide::current(const OnboardingFlow::Seen& seen) const {
    for (auto step : OnboardingSteps::allCases()) {
        if (!passed(*this, step, seen)) {
            return step;
        }
    }
    return OnboardingStep::finish;
}

std::vector<std::pair<OnboardingStep, SetupGuide::StepState>>
SetupGuide::steps(const OnboardingFlow::Seen& seen) const {
    const OnboardingStep now = current(seen);
    std::vector<std::pair<OnboardingStep, StepState>> out;
    for (auto step : OnboardingSteps::allCases()) {
        StepState state = StepState::toDo;
        if (step == now) {
            state = StepState::current;
        } else if ((step == OnboardingStep::capture && accessibilityUnknown) ||
                   (step == OnboardingStep::screen && screenPermissionUnknown && facts.screenOn &&
                    !OnboardingFlow::isComplete(step, facts, {}))) {
            state = passed(*this, step, seen) ? StepState::unknown : StepState::toDo;
        } else if (OnboardingFlow::isComplete(step, facts, seen)) {
            state = StepState::done;
        }
        out.emplace_back(step, state);
    }
    return out;
}

std::vector<SetupGuide::SummaryLine> SetupGuide::summary(const std::string& shortcut) const {
    std::vector<SummaryLine> lines;
    for (const auto& item : OnboardingFlow::summary(facts, shortcut)) {
        SummaryLine line{item.step, item.on, item.text};
        if (item.step == OnboardingStep::capture && accessibilityUnknown) {
            line.on = std::nullopt;
            line.text = "Whether " + shortcut + " can read selected text can't be known on this system.";
        }
        if (item.step == OnboardingStep::screen && screenPermissionUnknown && facts.screenOn) {
            line.on = std::nullopt;
            line.text = "Screen memory is on; whether it has the Screen Recording permission can't be known on this "
                        "system.";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace brell
