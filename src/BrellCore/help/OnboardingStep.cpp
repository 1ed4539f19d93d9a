#include "BrellCore/help/OnboardingStep.h"

namespace brell::OnboardingSteps {
namespace {

struct Row {
    const char* raw;
    const char* title;
    bool permission;
    bool optional;
};

// In step order, so a step's row is rows[step].
constexpr std::array<Row, 6> rows = {{
    {"welcome", "Welcome", false, false},
    {"capture", "Read your selection", true, false},
    {"browser", "Keep the page address", true, true},
    {"screen", "Remember your screen", true, true},
    {"chrome", "Add BRELL to Chrome", false, false},
    {"finish", "Done", false, false},
}};

const Row& row(OnboardingStep step) {
    return rows[static_cast<std::size_t>(step)];
}

} // namespace

const std::array<OnboardingStep, 6>& allCases() {
    static constexpr std::array<OnboardingStep, 6> cases = {OnboardingStep::welcome, OnboardingStep::capture,
                                                            OnboardingStep::browser, OnboardingStep::screen,
                                                            OnboardingStep::chrome,  OnboardingStep::finish};
    return cases;
}

std::string rawValue(OnboardingStep step) {
    return row(step).raw;
}

std::optional<OnboardingStep> fromRaw(std::string_view text) {
    for (auto step : allCases()) {
        if (text == row(step).raw) {
            return step;
        }
    }
    return std::nullopt;
}

int number(OnboardingStep step) {
    return static_cast<int>(step) + 1;
}

std::optional<OnboardingStep> next(OnboardingStep step) {
    if (step == OnboardingStep::finish) {
        return std::nullopt;
    }
    return static_cast<OnboardingStep>(static_cast<int>(step) + 1);
}

std::optional<OnboardingStep> previous(OnboardingStep step) {
    if (step == OnboardingStep::welcome) {
        return std::nullopt;
    }
    return static_cast<OnboardingStep>(static_cast<int>(step) - 1);
}

std::string title(OnboardingStep step) {
    return row(step).title;
}

bool isPermission(OnboardingStep step) {
    return row(step).permission;
}

bool isOptional(OnboardingStep step) {
    return row(step).optional;
}

} // namespace brell::OnboardingSteps
