// ShortcutRules::check: every rule, in order, with its exact sentence.
#include <gtest/gtest.h>

#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/ShortcutRules.h"

namespace brell {
namespace {

using Action = GlobalShortcutAction;
using Verdict = ShortcutVerdict;

constexpr uint32_t ctl = KeyModifiers::controlMask;
constexpr uint32_t opt = KeyModifiers::optionMask;
constexpr uint32_t sft = KeyModifiers::shiftMask;
constexpr uint32_t cmd = KeyModifiers::commandMask;

KeyShortcut key(uint32_t code, uint32_t modifiers) {
    return {code, KeyModifiers(modifiers)};
}

const std::map<Action, KeyShortcut> defaults = {
    {Action::fileSelection, key(KeyCode::s, ctl | opt | cmd)},
    {Action::visualMode, key(KeyCode::v, ctl | opt | cmd)},
};

TEST(ShortcutRulesTest, TablesHaveEveryRow) {
    EXPECT_EQ(ShortcutRules::reserved().size(), 42u);
    EXPECT_EQ(ShortcutRules::commonConflicts().size(), 26u);
}

// Each reserved row is refused with its own sentence, each common conflict warned about
// with its sentence and the take-over clause, whichever action it is for.
TEST(ShortcutRulesTest, EveryTableRowDecidesWithItsSentence) {
    for (auto action : GlobalShortcutActions::allCases()) {
        for (const auto& [shortcut, message] : ShortcutRules::reserved()) {
            SCOPED_TRACE(shortcut.display());
            EXPECT_EQ(ShortcutRules::check(shortcut, action, {}, {}, AppCommands::allCases()),
                      Verdict::rejected(message));
        }
        for (const auto& [shortcut, message] : ShortcutRules::commonConflicts()) {
            SCOPED_TRACE(shortcut.display());
            EXPECT_EQ(ShortcutRules::check(shortcut, action, {}, {}, AppCommands::allCases()),
                      Verdict::warning(message + " BRELL would take it over."));
        }
    }
}

TEST(ShortcutRulesTest, JudgesEveryKindOfShortcut) {
    const std::string cantUse = "BRELL can't use that key. Try a letter, number or F-key.";
    const std::string addModifier =
        "Add \u2318, \u2303 or \u2325. Without one, the key would stop typing in every app.";
    const std::string oneKey = "Every app uses \u2318 with one key (\u2318C, \u2318S\u2026). Add \u2303 or \u2325.";
    const std::vector<KeyShortcut> taken = {key(KeyCode::j, ctl | sft | cmd), key(KeyCode::f6, ctl)};

    struct Case {
        const char* name;
        KeyShortcut candidate;
        Action action;
        std::map<Action, KeyShortcut> others;
        Verdict expected;
    } cases[] = {
        // Clean.
        {"default save", key(KeyCode::s, ctl | opt | cmd), Action::fileSelection, defaults, Verdict::ok()},
        {"default visual for itself", key(KeyCode::v, ctl | opt | cmd), Action::visualMode, defaults, Verdict::ok()},
        {"control G", key(KeyCode::g, ctl), Action::fileSelection, {}, Verdict::ok()},
        {"option F6", key(KeyCode::f6, opt), Action::fileSelection, {}, Verdict::ok()},
        {"command F6", key(KeyCode::f6, cmd), Action::fileSelection, {}, Verdict::ok()},
        {"shift command F6", key(KeyCode::f6, sft | cmd), Action::fileSelection, {}, Verdict::ok()},
        {"control option command space", key(KeyCode::space, ctl | opt | cmd), Action::visualMode, {}, Verdict::ok()},
        {"control option X (no window-manager key)",
         key(KeyCode::x, ctl | opt),
         Action::fileSelection,
         {},
         Verdict::ok()},
        // Rule 1: a key no shortcut may use.
        {"code 10", key(10, ctl | opt | cmd), Action::fileSelection, {}, Verdict::rejected(cantUse)},
        {"right command", key(54, ctl | opt | cmd), Action::fileSelection, {}, Verdict::rejected(cantUse)},
        {"function key", key(63, 0), Action::fileSelection, {}, Verdict::rejected(cantUse)},
        {"command alone", key(55, cmd), Action::fileSelection, {}, Verdict::rejected(cantUse)},
        // Rule 2: no command, option or control.
        {"S alone", key(KeyCode::s, 0), Action::fileSelection, {}, Verdict::rejected(addModifier)},
        {"shift S", key(KeyCode::s, sft), Action::fileSelection, {}, Verdict::rejected(addModifier)},
        {"F5 alone (before the reserved table)",
         key(KeyCode::f5, 0),
         Action::fileSelection,
         {},
         Verdict::rejected(addModifier)},
        // Rule 3 before rule 6: control up is reserved, and ⌘Space is checked before the one-key rule.
        {"command space",
         key(KeyCode::space, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("macOS uses \u2318Space for Spotlight.")},
        {"shift command 3",
         key(KeyCode::n3, sft | cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("macOS uses \u2318\u21E73 for screenshots.")},
        {"command grave",
         key(KeyCode::grave, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("macOS uses \u2318` to switch windows.")},
        {"sticky note",
         key(KeyCode::y, sft | cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("macOS uses \u21E7\u2318Y for \u201cMake New Sticky Note\u201d in every app.")},
        // Rule 4: taken by the system.
        {"taken",
         key(KeyCode::j, ctl | sft | cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("macOS already uses \u2303\u21E7\u2318J (System Settings \u2192 Keyboard \u2192 Keyboard "
                           "Shortcuts).")},
        // Rule 4 comes before rule 6's cursor rule, which would not apply to F6 anyway.
        {"taken control F6",
         key(KeyCode::f6, ctl),
         Action::visualMode,
         {},
         Verdict::rejected("macOS already uses \u2303F6 (System Settings \u2192 Keyboard \u2192 Keyboard Shortcuts).")},
        // Rule 5: the other action's shortcut; the action's own is fine.
        {"visual's shortcut for save", key(KeyCode::v, ctl | opt | cmd), Action::fileSelection, defaults,
         Verdict::rejected("\u2303\u2325\u2318V is already the Visual Mode shortcut.")},
        {"save's shortcut for visual", key(KeyCode::s, ctl | opt | cmd), Action::visualMode, defaults,
         Verdict::rejected("\u2303\u2325\u2318S is already the Save Selection shortcut.")},
        // Rule 6: command alone.
        {"command Q",
         key(KeyCode::q, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("Every app uses \u2318Q (Quit, Close, Hide, Minimize).")},
        {"command W",
         key(KeyCode::w, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("Every app uses \u2318W (Quit, Close, Hide, Minimize).")},
        {"command H",
         key(KeyCode::h, cmd),
         Action::visualMode,
         {},
         Verdict::rejected("Every app uses \u2318H (Quit, Close, Hide, Minimize).")},
        {"command M",
         key(KeyCode::m, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected("Every app uses \u2318M (Quit, Close, Hide, Minimize).")},
        {"command J", key(KeyCode::j, cmd), Action::fileSelection, {}, Verdict::rejected(oneKey)},
        {"command 7", key(KeyCode::n7, cmd), Action::fileSelection, {}, Verdict::rejected(oneKey)},
        {"command period", key(KeyCode::period, cmd), Action::fileSelection, {}, Verdict::rejected(oneKey)},
        {"command K before the in-app rule",
         key(KeyCode::k, cmd),
         Action::fileSelection,
         {},
         Verdict::rejected(oneKey)},
        // Rule 6: option types characters.
        {"option E",
         key(KeyCode::e, opt),
         Action::fileSelection,
         {},
         Verdict::rejected("\u2325E types a character (\u00E9, \u00DF, \u00A9\u2026). Add \u2318 or \u2303.")},
        {"option shift E",
         key(KeyCode::e, opt | sft),
         Action::fileSelection,
         {},
         Verdict::rejected("\u2325\u21E7E types a character (\u00E9, \u00DF, \u00A9\u2026). Add \u2318 or \u2303.")},
        {"option slash",
         key(KeyCode::slash, opt),
         Action::fileSelection,
         {},
         Verdict::rejected("\u2325/ types a character (\u00E9, \u00DF, \u00A9\u2026). Add \u2318 or \u2303.")},
        // Rule 6: control moves the cursor.
        {"control A",
         key(KeyCode::a, ctl),
         Action::fileSelection,
         {},
         Verdict::rejected("\u2303A moves the cursor in text fields. Add \u2325 or \u2318.")},
        {"control Y",
         key(KeyCode::y, ctl),
         Action::visualMode,
         {},
         Verdict::rejected("\u2303Y moves the cursor in text fields. Add \u2325 or \u2318.")},
        // Rule 7 before rule 9: ⌥⌘I is also the inspector's.
        {"option command I",
         key(KeyCode::i, opt | cmd),
         Action::fileSelection,
         {},
         Verdict::warning("\u2325\u2318I opens developer tools in Chrome and Safari, and inspectors in many apps. "
                          "BRELL would take it over.")},
        {"control option command left",
         key(KeyCode::left, ctl | opt | cmd),
         Action::fileSelection,
         {},
         Verdict::warning("\u2303\u2325\u2318\u2190 moves windows between displays in Rectangle. BRELL would take it "
                          "over.")},
        // Rule 8: window managers.
        {"control option left",
         key(KeyCode::left, ctl | opt),
         Action::fileSelection,
         {},
         Verdict::warning("Window managers (Rectangle, Magnet) use \u2303\u2325\u2190 to snap windows. BRELL would "
                          "take it over.")},
        {"control option return",
         key(KeyCode::returnKey, ctl | opt),
         Action::visualMode,
         {},
         Verdict::warning("Window managers (Rectangle, Magnet) use \u2303\u2325\u21A9 to snap windows. BRELL would "
                          "take it over.")},
        // Rule 9: BRELL's own menu commands; the sentence depends on the action.
        {"redo for save",
         key(KeyCode::z, sft | cmd),
         Action::fileSelection,
         {},
         Verdict::warning("BRELL uses \u21E7\u2318Z for Redo in its window; there it would open BRELL instead.")},
        {"redo for visual",
         key(KeyCode::z, sft | cmd),
         Action::visualMode,
         {},
         Verdict::warning("BRELL uses \u21E7\u2318Z for Redo in its window; there it would start Visual mode "
                          "instead.")},
        {"delete item",
         key(KeyCode::deleteKey, cmd),
         Action::fileSelection,
         {},
         Verdict::warning("BRELL uses \u2318\u232B for Delete Item\u2026 in its window; there it would open BRELL "
                          "instead.")},
        // Rule 10: crowded modifier pairs.
        {"option command X",
         key(KeyCode::x, opt | cmd),
         Action::fileSelection,
         {},
         Verdict::warning("Browsers and Finder use many \u2325\u2318 shortcuts. If \u2325\u2318X stops working "
                          "somewhere, pick a \u2303\u2325\u2318 one.")},
        {"shift command X",
         key(KeyCode::x, sft | cmd),
         Action::fileSelection,
         {},
         Verdict::warning("Many apps use \u21E7\u2318 shortcuts. If \u21E7\u2318X stops working somewhere, pick a "
                          "\u2303\u2325\u2318 one.")},
        {"shift command 9",
         key(KeyCode::n9, sft | cmd),
         Action::visualMode,
         {},
         Verdict::warning("Many apps use \u21E7\u2318 shortcuts. If \u21E7\u2318"
                          "9 stops working somewhere, pick "
                          "a \u2303\u2325\u2318 one.")},
        {"option command comma (punctuation is no typing key here)",
         key(KeyCode::comma, opt | cmd),
         Action::fileSelection,
         {},
         Verdict::ok()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ShortcutRules::check(c.candidate, c.action, c.others, taken, AppCommands::allCases()), c.expected);
    }
}

TEST(ShortcutRulesTest, InAppRuleOnlyConsidersTheCommandsPassedIn) {
    const KeyShortcut redo = key(KeyCode::z, sft | cmd);
    EXPECT_EQ(ShortcutRules::check(redo, Action::fileSelection, {}, {}, {}),
              Verdict::warning("Many apps use \u21E7\u2318 shortcuts. If \u21E7\u2318Z stops working somewhere, pick "
                               "a \u2303\u2325\u2318 one."));
    EXPECT_EQ(ShortcutRules::check(key(KeyCode::deleteKey, cmd), Action::fileSelection, {}, {}, {AppCommand::undo}),
              Verdict::ok());
}

TEST(ShortcutVerdictTest, CarriesItsSentence) {
    EXPECT_EQ(Verdict::ok().message(), std::nullopt);
    EXPECT_FALSE(Verdict::ok().isRejected());
    EXPECT_FALSE(Verdict::warning("w").isRejected());
    EXPECT_TRUE(Verdict::rejected("r").isRejected());
    EXPECT_EQ(Verdict::rejected("r").message(), "r");
    EXPECT_NE(Verdict::rejected("r"), Verdict::warning("r"));
    EXPECT_NE(Verdict::rejected("r"), Verdict::rejected("s"));
}

} // namespace
} // namespace brell
