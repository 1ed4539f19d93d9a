#include "BrellCore/shortcuts/GlobalShortcutAction.h"

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell::GlobalShortcutActions {

const std::array<GlobalShortcutAction, 2>& allCases() {
    static constexpr std::array<GlobalShortcutAction, 2> cases = {GlobalShortcutAction::fileSelection,
                                                                  GlobalShortcutAction::visualMode};
    return cases;
}

std::string rawValue(GlobalShortcutAction action) {
    return action == GlobalShortcutAction::fileSelection ? "fileSelection" : "visualMode";
}

std::optional<GlobalShortcutAction> fromRaw(std::string_view text) {
    for (auto action : allCases()) {
        if (rawValue(action) == text) {
            return action;
        }
    }
    return std::nullopt;
}

std::string title(GlobalShortcutAction action) {
    return action == GlobalShortcutAction::fileSelection ? "Save Selection" : "Visual Mode";
}

std::string detail(GlobalShortcutAction action) {
    return action == GlobalShortcutAction::fileSelection ? "Saves the selected text, or the page, with its source"
                                                         : "Starts or stops Visual mode";
}

std::string defaultsKey(GlobalShortcutAction action) {
    return "shortcut." + rawValue(action);
}

int hotKeyID(GlobalShortcutAction action) {
    return action == GlobalShortcutAction::fileSelection ? 1 : 2;
}

KeyShortcut defaultShortcut(GlobalShortcutAction action) {
    const auto hyper = KeyModifiers::control() | KeyModifiers::option() | KeyModifiers::command();
    return {action == GlobalShortcutAction::fileSelection ? KeyCode::s : KeyCode::v, hyper};
}

} // namespace brell::GlobalShortcutActions
