#include "BrellCore/help/HelpDestination.h"

#include <array>

namespace brell::HelpDestinations {
namespace {

struct Row {
    const char* raw;
    const char* button;
};

// In declaration order, so a destination's row is rows[destination].
constexpr std::array<Row, 14> rows = {{
    {"brells", "Open Brells"},
    {"ask", "Ask Brell"},
    {"activity", "Open Activity"},
    {"saved", "Open Saved"},
    {"evidence", "Open Evidence"},
    {"sourcesPrivacy", "Open Sources & Privacy"},
    {"aiConnections", "Open AI Connections"},
    {"privacyData", "Open Privacy & Data"},
    {"catchUp", "Catch Me Up"},
    {"settings", "Open Settings"},
    {"keyboardShortcuts", "Keyboard Shortcuts"},
    {"setupGuide", "Open Setup Guide"},
    {"accessibilitySettings", "Open Accessibility Settings"},
    {"screenRecordingSettings", "Open Screen Recording Settings"},
}};

} // namespace

std::string rawValue(HelpDestination destination) {
    return rows[static_cast<std::size_t>(destination)].raw;
}

std::optional<HelpDestination> fromRaw(std::string_view text) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (text == rows[i].raw) {
            return static_cast<HelpDestination>(i);
        }
    }
    return std::nullopt;
}

std::string buttonTitle(HelpDestination destination) {
    return rows[static_cast<std::size_t>(destination)].button;
}

} // namespace brell::HelpDestinations
