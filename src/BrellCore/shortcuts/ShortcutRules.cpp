#include "BrellCore/shortcuts/ShortcutRules.h"

#include <algorithm>
#include <unordered_set>

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell::ShortcutRules {
namespace {

namespace K = KeyCode;

constexpr uint32_t ctl = KeyModifiers::controlMask;
constexpr uint32_t opt = KeyModifiers::optionMask;
constexpr uint32_t sft = KeyModifiers::shiftMask;
constexpr uint32_t cmd = KeyModifiers::commandMask;

struct Row {
    uint32_t key;
    uint32_t modifiers;
    const char* message;
};

// clang-format off
constexpr Row reservedRows[] = {
    {K::space, cmd, "macOS uses \u2318Space for Spotlight."},
    {K::space, opt | cmd, "macOS uses \u2325\u2318Space for Finder search."},
    {K::space, ctl, "macOS uses \u2303Space to switch input sources."},
    {K::space, ctl | opt, "macOS uses \u2303\u2325Space to switch input sources."},
    {K::space, ctl | cmd, "macOS uses \u2303\u2318Space for Emoji & Symbols."},
    {K::n3, sft | cmd, "macOS uses \u2318\u21E73 for screenshots."},
    {K::n4, sft | cmd, "macOS uses \u2318\u21E74 for screenshots."},
    {K::n5, sft | cmd, "macOS uses \u2318\u21E75 for the screenshot toolbar."},
    {K::n3, ctl | sft | cmd, "macOS uses \u2303\u21E7\u23183 to copy a screenshot."},
    {K::n4, ctl | sft | cmd, "macOS uses \u2303\u21E7\u23184 to copy a screenshot."},
    {K::tab, cmd, "macOS uses \u2318Tab to switch apps."},
    {K::tab, sft | cmd, "macOS uses \u21E7\u2318Tab to switch apps."},
    {K::grave, cmd, "macOS uses \u2318` to switch windows."},
    {K::grave, sft | cmd, "macOS uses \u21E7\u2318` to switch windows."},
    {K::escape, opt | cmd, "macOS uses \u2325\u2318Esc for Force Quit."},
    {K::escape, opt | sft | cmd, "macOS uses \u2325\u21E7\u2318Esc to force quit the front app."},
    {K::q, ctl | cmd, "macOS uses \u2303\u2318Q to lock the screen."},
    {K::q, sft | cmd, "macOS uses \u21E7\u2318Q to log out."},
    {K::q, opt | sft | cmd, "macOS uses \u2325\u21E7\u2318Q to log out."},
    {K::f, ctl | cmd, "macOS uses \u2303\u2318F for full screen."},
    {K::d, ctl | cmd, "macOS uses \u2303\u2318D to look up a word."},
    {K::d, opt | cmd, "macOS uses \u2325\u2318D to show or hide the Dock."},
    {K::h, opt | cmd, "macOS uses \u2325\u2318H to hide other apps."},
    {K::m, opt | cmd, "macOS uses \u2325\u2318M to minimize all windows."},
    {K::w, opt | cmd, "macOS uses \u2325\u2318W to close all windows."},
    {K::y, sft | cmd, "macOS uses \u21E7\u2318Y for \u201cMake New Sticky Note\u201d in every app."},
    {K::slash, sft | cmd, "macOS uses \u21E7\u2318/ to search the Help menu."},
    {K::up, ctl, "macOS uses \u2303\u2191 for Mission Control."},
    {K::down, ctl, "macOS uses \u2303\u2193 for App Expos\u00E9."},
    {K::left, ctl, "macOS uses \u2303\u2190 to move between Spaces."},
    {K::right, ctl, "macOS uses \u2303\u2192 to move between Spaces."},
    {K::n8, opt | cmd, "macOS uses \u2325\u23188 for Zoom."},
    {K::equal, opt | cmd, "macOS uses \u2325\u2318= to zoom in."},
    {K::minus, opt | cmd, "macOS uses \u2325\u2318- to zoom out."},
    {K::n8, ctl | opt | cmd, "macOS uses \u2303\u2325\u23188 to invert colours."},
    {K::comma, ctl | opt | cmd, "macOS uses \u2303\u2325\u2318, to lower contrast."},
    {K::period, ctl | opt | cmd, "macOS uses \u2303\u2325\u2318. to raise contrast."},
    {K::f5, cmd, "macOS uses \u2318F5 for VoiceOver."},
    {K::f5, opt | cmd, "macOS uses \u2325\u2318F5 for Accessibility Shortcuts."},
    {K::f2, ctl, "macOS uses \u2303F2 to move to the menu bar."},
    {K::f3, ctl, "macOS uses \u2303F3 to move to the Dock."},
    {K::f7, ctl, "macOS uses \u2303F7 for keyboard navigation."},
};

constexpr Row commonRows[] = {
    {K::space, opt, "\u2325Space opens the ChatGPT and Claude launchers, and often Raycast or Alfred."},
    {K::space, sft | cmd, "\u21E7\u2318Space opens 1Password Quick Access."},
    {K::u, sft | cmd, "\u21E7\u2318U is used by Finder (Utilities) and other apps."},
    {K::p, sft | cmd, "\u21E7\u2318P opens the command palette in VS Code and other editors."},
    {K::n, sft | cmd, "\u21E7\u2318N opens a private window in Chrome and a new folder in Finder."},
    {K::t, sft | cmd, "\u21E7\u2318T reopens the closed tab in browsers."},
    {K::a, sft | cmd, "\u21E7\u2318A searches tabs in Chrome and opens Applications in Finder."},
    {K::c, sft | cmd, "\u21E7\u2318C inspects an element in Chrome."},
    {K::l, sft | cmd, "\u21E7\u2318L is the \u201cSearch With Google\u201d service."},
    {K::k, sft | cmd, "\u21E7\u2318K is used by Slack and Xcode."},
    {K::f, sft | cmd, "\u21E7\u2318F searches the project in VS Code and Xcode."},
    {K::g, sft | cmd, "\u21E7\u2318G is \u201cGo to Folder\u201d in Finder and file dialogs."},
    {K::i, opt | cmd, "\u2325\u2318I opens developer tools in Chrome and Safari, and inspectors in many apps."},
    {K::j, opt | cmd, "\u2325\u2318J opens the JavaScript console in Chrome."},
    {K::c, opt | cmd, "\u2325\u2318C opens the console in Safari."},
    {K::u, opt | cmd, "\u2325\u2318U shows page source in browsers."},
    {K::b, opt | cmd, "\u2325\u2318B opens bookmarks in Chrome and Safari."},
    {K::l, opt | cmd, "\u2325\u2318L opens Downloads in Finder and Safari."},
    {K::p, opt | cmd, "\u2325\u2318P shows the path bar in Finder."},
    {K::s, opt | cmd, "\u2325\u2318S shows the sidebar in Finder and saves all in Xcode."},
    {K::v, opt | cmd, "\u2325\u2318V moves files in Finder."},
    {K::n, opt | cmd, "\u2325\u2318N is used by Finder and several editors."},
    {K::left, opt | cmd, "\u2325\u2318\u2190 switches tabs in browsers."},
    {K::right, opt | cmd, "\u2325\u2318\u2192 switches tabs in browsers."},
    {K::left, ctl | opt | cmd, "\u2303\u2325\u2318\u2190 moves windows between displays in Rectangle."},
    {K::right, ctl | opt | cmd, "\u2303\u2325\u2318\u2192 moves windows between displays in Rectangle."},
};
// clang-format on

constexpr uint32_t controlTextKeys[] = {K::a, K::b, K::d, K::e, K::f, K::h, K::k,
                                        K::l, K::n, K::o, K::p, K::t, K::v, K::y};
constexpr uint32_t windowManagerKeys[] = {K::left, K::right, K::up, K::down, K::returnKey, K::deleteKey,
                                          K::c,    K::d,     K::f,  K::g,    K::e,         K::t,
                                          K::u,    K::i,     K::j,  K::k,    K::equal,     K::minus};

template <std::size_t N> std::vector<std::pair<KeyShortcut, std::string>> table(const Row (&rows)[N]) {
    std::vector<std::pair<KeyShortcut, std::string>> out;
    for (const auto& r : rows) {
        out.emplace_back(KeyShortcut(r.key, KeyModifiers(r.modifiers)), r.message);
    }
    return out;
}

template <std::size_t N> bool contains(const uint32_t (&codes)[N], uint32_t code) {
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

const std::string* lookup(const std::vector<std::pair<KeyShortcut, std::string>>& rows, const KeyShortcut& s) {
    for (const auto& [shortcut, message] : rows) {
        if (shortcut == s) {
            return &message;
        }
    }
    return nullptr;
}

// A candidate whose modifiers are exactly `raw`.
bool exactly(KeyModifiers m, uint32_t raw) {
    return m.rawValue() == raw;
}

} // namespace

const std::vector<std::pair<KeyShortcut, std::string>>& reserved() {
    static const auto rows = table(reservedRows);
    return rows;
}

const std::vector<std::pair<KeyShortcut, std::string>>& commonConflicts() {
    static const auto rows = table(commonRows);
    return rows;
}

ShortcutVerdict check(const KeyShortcut& candidate, GlobalShortcutAction action,
                      const std::map<GlobalShortcutAction, KeyShortcut>& others,
                      const std::vector<KeyShortcut>& systemTaken, const std::vector<AppCommand>& inApp) {
    const uint32_t key = candidate.keyCode;
    const KeyModifiers m = candidate.modifiers;
    const std::string shown = candidate.display();

    if (!KeyCode::label(key) || KeyCode::isModifierOnly(key)) {
        return ShortcutVerdict::rejected("BRELL can't use that key. Try a letter, number or F-key.");
    }
    if (!m.containsAny(KeyModifiers(cmd | opt | ctl))) {
        return ShortcutVerdict::rejected("Add \u2318, \u2303 or \u2325. Without one, the key would stop typing in "
                                         "every app.");
    }
    if (const auto* message = lookup(reserved(), candidate)) {
        return ShortcutVerdict::rejected(*message);
    }
    if (std::find(systemTaken.begin(), systemTaken.end(), candidate) != systemTaken.end()) {
        return ShortcutVerdict::rejected("macOS already uses " + shown +
                                         " (System Settings \u2192 Keyboard \u2192 Keyboard Shortcuts).");
    }
    for (const auto& [other, shortcut] : others) {
        if (other != action && shortcut == candidate) {
            return ShortcutVerdict::rejected(shown + " is already the " + GlobalShortcutActions::title(other) +
                                             " shortcut.");
        }
    }

    const bool typing = KeyCode::isLetter(key) || KeyCode::isDigit(key);
    const bool punctuation = KeyCode::isPunctuation(key);
    if (exactly(m, cmd)) {
        if (key == K::q || key == K::w || key == K::h || key == K::m) {
            return ShortcutVerdict::rejected("Every app uses " + shown + " (Quit, Close, Hide, Minimize).");
        }
        if (typing || punctuation) {
            return ShortcutVerdict::rejected("Every app uses \u2318 with one key (\u2318C, \u2318S\u2026). Add "
                                             "\u2303 or \u2325.");
        }
    }
    if ((exactly(m, opt) || exactly(m, opt | sft)) && (typing || punctuation)) {
        return ShortcutVerdict::rejected(shown + " types a character (\u00E9, \u00DF, \u00A9\u2026). Add \u2318 or "
                                                 "\u2303.");
    }
    if (exactly(m, ctl) && contains(controlTextKeys, key)) {
        return ShortcutVerdict::rejected(shown + " moves the cursor in text fields. Add \u2325 or \u2318.");
    }

    if (const auto* message = lookup(commonConflicts(), candidate)) {
        return ShortcutVerdict::warning(*message + " BRELL would take it over.");
    }
    if (exactly(m, ctl | opt) && contains(windowManagerKeys, key)) {
        return ShortcutVerdict::warning("Window managers (Rectangle, Magnet) use " + shown +
                                        " to snap windows. BRELL would take it over.");
    }
    for (auto command : inApp) {
        if (AppCommands::shortcut(command) == candidate) {
            const char* instead = action == GlobalShortcutAction::visualMode ? "start Visual mode" : "open BRELL";
            return ShortcutVerdict::warning("BRELL uses " + shown + " for " + AppCommands::title(command) +
                                            " in its window; there it would " + instead + " instead.");
        }
    }
    if (typing && exactly(m, opt | cmd)) {
        return ShortcutVerdict::warning("Browsers and Finder use many \u2325\u2318 shortcuts. If " + shown +
                                        " stops working somewhere, pick a \u2303\u2325\u2318 one.");
    }
    if (typing && exactly(m, sft | cmd)) {
        return ShortcutVerdict::warning("Many apps use \u21E7\u2318 shortcuts. If " + shown +
                                        " stops working somewhere, pick a \u2303\u2325\u2318 one.");
    }
    return ShortcutVerdict::ok();
}

} // namespace brell::ShortcutRules
