#include "BrellCore/help/OnboardingFlow.h"

namespace brell::OnboardingFlow {

bool isComplete(OnboardingStep step, const OnboardingFacts& facts, const Seen& seen) {
    const bool wasSeen = seen.contains(step);
    switch (step) {
    case OnboardingStep::welcome:
    case OnboardingStep::browser:
        return wasSeen;
    case OnboardingStep::capture:
        return facts.accessibility;
    case OnboardingStep::screen:
        return (facts.screenOn && facts.screenPermitted) || wasSeen;
    case OnboardingStep::chrome:
        if (facts.hostInstalled && facts.extensionEverConnected) {
            return true;
        }
        // While Chrome is there to be linked, having looked at the step is not enough.
        return !facts.chromeAppInstalled && wasSeen;
    case OnboardingStep::finish:
        return false;
    }
    return false;
}

OnboardingStep firstUnfinished(const OnboardingFacts& facts, const Seen& seen) {
    for (auto step : OnboardingSteps::allCases()) {
        if (!isComplete(step, facts, seen)) {
            return step;
        }
    }
    return OnboardingStep::finish;
}

bool shouldAutoAdvance(OnboardingStep step, const OnboardingFacts& before, const OnboardingFacts& after) {
    switch (step) {
    case OnboardingStep::capture:
        return !before.accessibility && after.accessibility;
    case OnboardingStep::screen:
        return after.screenOn && after.screenPermitted && !(before.screenOn && before.screenPermitted);
    case OnboardingStep::chrome:
        return !before.extensionConnected && after.extensionConnected;
    default:
        return false;
    }
}

ChromeStage chromeStage(const OnboardingFacts& facts) {
    if (!(facts.chromeAppInstalled && facts.hostInstalled)) {
        return facts.chromeAppInstalled ? ChromeStage::needsLink : ChromeStage::notInstalled;
    }
    return facts.extensionEverConnected || facts.extensionConnected ? ChromeStage::connected
                                                                    : ChromeStage::needsExtension;
}

std::vector<OnboardingSummaryItem> summary(const OnboardingFacts& f, const std::string& shortcut) {
    std::vector<OnboardingSummaryItem> items;
    items.push_back({OnboardingStep::capture, f.accessibility,
                     shortcut + (f.accessibility ? " saves selected text." : " can't read selected text yet.")});

    std::string memory = "Memory is off.";
    if (f.memoryOn) {
        memory = f.memoryPaused ? "Memory is on but paused." : "Memory is on.";
    }
    items.push_back({OnboardingStep::welcome, f.memoryOn && !f.memoryPaused, memory});

    const bool everLinked = f.extensionEverConnected || f.extensionConnected;
    std::string chrome = "The Chrome extension isn't added yet.";
    if (!f.chromeAppInstalled) {
        chrome = "Chrome isn't installed. Video and article memory need it.";
    } else if (f.hostInstalled && everLinked) {
        chrome = f.extensionConnected ? "Chrome is connected." : "Chrome was connected. Open Chrome to resume.";
    }
    items.push_back({OnboardingStep::chrome, f.chromeAppInstalled && f.hostInstalled && everLinked, chrome});

    std::string screen = "Screen memory is off (optional).";
    if (f.screenOn) {
        screen = f.screenPermitted ? "Screen memory is on."
                                   : "Screen memory is waiting for the Screen Recording permission.";
    }
    items.push_back({OnboardingStep::screen, f.screenOn && f.screenPermitted, screen});

    std::string ai = "No AI found. Search still works without it.";
    if (f.claudeCode && f.onDevice) {
        ai = "AI: Claude Code and Apple Intelligence, found on this Mac.";
    } else if (f.claudeCode) {
        ai = "AI: Claude Code, found on this Mac.";
    } else if (f.onDevice) {
        ai = "AI: Apple Intelligence on this Mac.";
    } else if (f.aiReady) {
        ai = "AI is set up.";
    }
    items.push_back({OnboardingStep::finish, f.claudeCode || f.onDevice || f.aiReady, ai});
    return items;
}

Seen decodeSeen(const std::optional<std::vector<std::string>>& stored) {
    Seen seen;
    if (stored) {
        for (const auto& name : *stored) {
            if (auto step = OnboardingSteps::fromRaw(name)) {
                seen.insert(*step);
            }
        }
    }
    return seen;
}

std::vector<std::string> encodeSeen(const Seen& seen) {
    std::vector<std::string> out;
    for (auto step : OnboardingSteps::allCases()) {
        if (seen.contains(step)) {
            out.push_back(OnboardingSteps::rawValue(step));
        }
    }
    return out;
}

} // namespace brell::OnboardingFlow
