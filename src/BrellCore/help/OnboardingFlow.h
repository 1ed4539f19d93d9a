#pragma once
// The setup guide's logic, free of any user interface: when a step counts as done,
// which step comes next, when the guide may move on by itself, how far Chrome is
// linked, the five closing summary lines, and the stored form of the steps already
// seen. Pure functions; thread-safe; throws nothing.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BrellCore/help/OnboardingFacts.h"
#include "BrellCore/help/OnboardingStep.h"
#include "BrellCore/help/OnboardingSummaryItem.h"

namespace brell::OnboardingFlow {

using Seen = std::set<OnboardingStep>;

enum class ChromeStage { notInstalled = 0, needsLink = 1, needsExtension = 2, connected = 3 };

bool isComplete(OnboardingStep step, const OnboardingFacts& facts, const Seen& seen);

// The first step in order that is not complete; `finish` when all before it are.
OnboardingStep firstUnfinished(const OnboardingFacts& facts, const Seen& seen);

// The user has just granted what `step` asks for, between `before` and `after`.
bool shouldAutoAdvance(OnboardingStep step, const OnboardingFacts& before, const OnboardingFacts& after);

ChromeStage chromeStage(const OnboardingFacts& facts);

// Always five lines: capture, welcome (memory), chrome, screen, finish (AI).
// `shortcut` is the display label of the user's capture shortcut.
std::vector<OnboardingSummaryItem> summary(const OnboardingFacts& facts, const std::string& shortcut);

// Strings that name no step are ignored; no list is an empty set.
Seen decodeSeen(const std::optional<std::vector<std::string>>& stored);
// The raw values of the steps, in step order.
std::vector<std::string> encodeSeen(const Seen& seen);

} // namespace brell::OnboardingFlow
