#pragma once
// What the setup guide knows about this computer, gathered by the caller (permissions,
// browser, memory switches, AI availability) and passed in; the guide's logic reads
// nothing itself. A plain value; thread-safe; throws nothing.
#include <optional>

#include "util/Date.h"

namespace brell {

struct OnboardingFacts {
    bool accessibility = false; // the app may read the selection
    bool browserNeedsAsking = false;
    bool chromeAppInstalled = false;
    bool hostInstalled = false; // the native-messaging manifest is installed
    bool extensionEverConnected = false;
    bool extensionConnected = false; // the companion is talking now
    bool memoryOn = false;
    bool memoryPaused = false;
    bool screenOn = false;
    bool screenPermitted = false;
    bool claudeCode = false; // the command-line assistant was found
    bool onDevice = false;   // the on-device model is available
    bool aiReady = false;    // some AI provider is configured

    // The companion counts as talking when it was heard from no more than `window`
    // seconds before `now`.
    static bool extensionTalking(std::optional<Date> lastSeen, Date now, double window);

    bool operator==(const OnboardingFacts&) const = default;
};

} // namespace brell
