#pragma once
// Reads a shortcut as people write it: with symbols ("⌘⇧S", "⌃⌥⌘Space"), with words
// joined by "+", "-" or spaces ("cmd+shift+s", "Ctrl-Option-Space", "control option
// f5"), or mixed. Modifier words: command/cmd, option/opt/alt, control/ctrl/ctl, shift.
// Keys: letters, digits, F1–F19, the punctuation characters, the labels of KeyCode
// ("Space", "Esc", "↩", "←" …), common names ("return", "enter", "delete",
// "backspace", "page up", "left" …) and "Key N" for a raw key code. A text of
// modifiers only names the last modifier as its key, so the rules can refuse it as a
// key that only modifies. Pure; thread-safe; throws nothing.
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/shortcuts/KeyShortcut.h"

namespace brell::ShortcutText {

struct Parsed {
    std::optional<KeyShortcut> shortcut;
    // Why the text names no shortcut, as one sentence; empty when it does.
    std::string refusal;
};

Parsed parse(std::string_view text);

} // namespace brell::ShortcutText
