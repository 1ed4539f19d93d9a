#pragma once
// The six steps of the first-run setup guide, in order. The raw value is the case
// name and is what the settings keep for the steps already seen. Thread-safe; throws
// nothing.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class OnboardingStep { welcome, capture, browser, screen, chrome, finish };

namespace OnboardingSteps {

// welcome, capture, browser, screen, chrome, finish.
const std::array<OnboardingStep, 6>& allCases();

std::string rawValue(OnboardingStep step);
std::optional<OnboardingStep> fromRaw(std::string_view text);

// 1-based position.
int number(OnboardingStep step);
std::optional<OnboardingStep> next(OnboardingStep step);
std::optional<OnboardingStep> previous(OnboardingStep step);
std::string title(OnboardingStep step);
// The step asks the system for a permission: capture, browser, screen.
bool isPermission(OnboardingStep step);
// The guide may be finished without it: browser, screen.
bool isOptional(OnboardingStep step);

} // namespace OnboardingSteps
} // namespace brell
