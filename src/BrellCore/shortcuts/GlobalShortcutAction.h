#pragma once
// The two actions the user can give a system-wide shortcut: saving the selection from
// any application, and starting or stopping Visual mode. The raw value is the case
// name; the chosen shortcut is kept in the settings under `defaultsKey`. Thread-safe;
// throws nothing.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/shortcuts/KeyShortcut.h"

namespace brell {

enum class GlobalShortcutAction { fileSelection, visualMode };

namespace GlobalShortcutActions {

// fileSelection, visualMode.
const std::array<GlobalShortcutAction, 2>& allCases();

// "fileSelection", "visualMode"; also the action's id.
std::string rawValue(GlobalShortcutAction action);
// Exactly a raw value; nothing for any other text.
std::optional<GlobalShortcutAction> fromRaw(std::string_view text);

std::string title(GlobalShortcutAction action);
std::string detail(GlobalShortcutAction action);
// "shortcut." followed by the raw value.
std::string defaultsKey(GlobalShortcutAction action);
// The identifier of the action's registration with the system: 1, 2.
int hotKeyID(GlobalShortcutAction action);
// ⌃⌥⌘S, ⌃⌥⌘V.
KeyShortcut defaultShortcut(GlobalShortcutAction action);

} // namespace GlobalShortcutActions
} // namespace brell
