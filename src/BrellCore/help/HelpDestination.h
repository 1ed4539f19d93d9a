#pragma once
// Where a help entry's button leads in the application. The raw value is what the JSON
// export carries; the button title is what the button says. Thread-safe; throws nothing.
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class HelpDestination {
    brells,
    ask,
    activity,
    saved,
    evidence,
    sourcesPrivacy,
    aiConnections,
    privacyData,
    catchUp,
    settings,
    keyboardShortcuts,
    setupGuide,
    accessibilitySettings,
    screenRecordingSettings,
};

namespace HelpDestinations {

std::string rawValue(HelpDestination destination);
std::optional<HelpDestination> fromRaw(std::string_view text);
std::string buttonTitle(HelpDestination destination);

} // namespace HelpDestinations
} // namespace brell
