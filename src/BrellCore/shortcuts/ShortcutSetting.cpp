#include "BrellCore/shortcuts/ShortcutSetting.h"

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell::ShortcutSetting {

Resolution resolve(GlobalShortcutAction action, const std::optional<std::string>& stored,
                   const std::optional<std::string>& legacy) {
    if (stored && *stored == cleared) {
        return {Resolved::off(), false};
    }
    if (stored) {
        if (auto shortcut = KeyShortcut::fromStorageString(*stored)) {
            return {Resolved::of(*shortcut), false};
        }
    }
    if (action == GlobalShortcutAction::fileSelection) {
        if (auto preset = legacyPreset(legacy)) {
            return {Resolved::of(*preset), true};
        }
    }
    return {Resolved::of(GlobalShortcutActions::defaultShortcut(action)), false};
}

std::map<GlobalShortcutAction, Resolution>
resolveAll(const std::function<std::optional<std::string>(const std::string& key)>& stored) {
    std::map<GlobalShortcutAction, Resolution> all;
    const auto legacy = stored(std::string(legacyKey));
    for (auto action : GlobalShortcutActions::allCases()) {
        all.emplace(action, resolve(action, stored(GlobalShortcutActions::defaultsKey(action)), legacy));
    }
    return all;
}

std::string storageValue(const Resolved& value) {
    return value.shortcut() ? value.shortcut()->storageString() : std::string(cleared);
}

std::optional<KeyShortcut> legacyPreset(const std::optional<std::string>& legacy) {
    if (!legacy) {
        return std::nullopt;
    }
    if (*legacy == "cmdShiftY") {
        return KeyShortcut(KeyCode::y, KeyModifiers::shift() | KeyModifiers::command());
    }
    if (*legacy == "optionSpace") {
        return KeyShortcut(KeyCode::space, KeyModifiers::option());
    }
    if (*legacy == "ctrlOptCmdP") {
        return KeyShortcut(KeyCode::p, KeyModifiers::control() | KeyModifiers::option() | KeyModifiers::command());
    }
    return std::nullopt;
}

} // namespace brell::ShortcutSetting
