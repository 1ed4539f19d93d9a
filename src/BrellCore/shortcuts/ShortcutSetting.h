#pragma once
// How an action's chosen shortcut is stored in the settings, and how an earlier
// version's single preset for saving the selection ("hotKey") is carried over once.
// Pure functions; thread-safe; throws nothing.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/shortcuts/GlobalShortcutAction.h"
#include "BrellCore/shortcuts/KeyShortcut.h"

namespace brell::ShortcutSetting {

// Stored when the user switched the shortcut off.
inline constexpr std::string_view cleared = "none";
// The earlier version's setting: one preset name for saving the selection.
inline constexpr std::string_view legacyKey = "hotKey";

// An action's shortcut as resolved from the settings: a shortcut, or off.
class Resolved {
public:
    static Resolved off() { return Resolved(std::nullopt); }
    static Resolved of(KeyShortcut shortcut) { return Resolved(shortcut); }

    bool isOff() const { return !shortcut_; }
    const std::optional<KeyShortcut>& shortcut() const { return shortcut_; }

    bool operator==(const Resolved&) const = default;

private:
    explicit Resolved(std::optional<KeyShortcut> shortcut) : shortcut_(shortcut) {}
    std::optional<KeyShortcut> shortcut_;
};

struct Resolution {
    Resolved value;
    // The legacy preset was carried over: the caller stores storageValue(value) under
    // the action's defaultsKey.
    bool migrated = false;

    bool operator==(const Resolution&) const = default;
};

// The action's shortcut from its stored text, falling back to the legacy preset
// (saving the selection only) and then to the action's default.
Resolution resolve(GlobalShortcutAction action, const std::optional<std::string>& stored,
                   const std::optional<std::string>& legacy);

// Every action's resolution; `stored` gives the settings' text under a key, or nothing.
std::map<GlobalShortcutAction, Resolution>
resolveAll(const std::function<std::optional<std::string>(const std::string& key)>& stored);

// "none" for off, else the shortcut's storage text.
std::string storageValue(const Resolved& value);

// "cmdShiftY" → ⇧⌘Y, "optionSpace" → ⌥Space, "ctrlOptCmdP" → ⌃⌥⌘P; nothing otherwise.
std::optional<KeyShortcut> legacyPreset(const std::optional<std::string>& legacy);

} // namespace brell::ShortcutSetting
