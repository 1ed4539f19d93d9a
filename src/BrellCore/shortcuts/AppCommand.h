#pragma once
// The application's own menu commands, each with its fixed shortcut. The raw value is
// the case name. The help lists them, and a global shortcut that equals one of them is
// warned about because inside BRELL's window it would do the other thing. Thread-safe;
// throws nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/shortcuts/KeyShortcut.h"

namespace brell {

enum class AppCommand {
    settings,
    hide,
    quit,
    newBrell,
    exportBrief,
    closeWindow,
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
    find,
    ask,
    deleteItem,
    brells,
    activity,
    saved,
    notes,
    evidence,
    back,
    forward,
    inspector,
    openWindow,
    minimize,
    keyboardShortcuts,
};

namespace AppCommands {

// Every command, in menu order (BRELL, File, Edit, View, Window, Help).
const std::vector<AppCommand>& allCases();

std::string rawValue(AppCommand command);
std::optional<AppCommand> fromRaw(std::string_view text);

// The menu item's title ("Settings…").
std::string title(AppCommand command);
// The menu it sits in ("BRELL", "File", "Edit", "View", "Window", "Help").
std::string menu(AppCommand command);
KeyShortcut shortcut(AppCommand command);

} // namespace AppCommands
} // namespace brell
