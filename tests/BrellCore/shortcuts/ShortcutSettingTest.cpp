// The global actions, the menu commands, and how chosen shortcuts are stored and carried
// over from the earlier single-preset setting.
#include <gtest/gtest.h>

#include "BrellCore/shortcuts/AppCommand.h"
#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/ShortcutSetting.h"

namespace brell {
namespace {

using Action = GlobalShortcutAction;
using ShortcutSetting::Resolved;

const KeyModifiers hyper = KeyModifiers::control() | KeyModifiers::option() | KeyModifiers::command();
const KeyShortcut saveDefault(KeyCode::s, hyper);
const KeyShortcut visualDefault(KeyCode::v, hyper);

TEST(GlobalShortcutActionTest, Fields) {
    using namespace GlobalShortcutActions;
    ASSERT_EQ(allCases().size(), 2u);
    EXPECT_EQ(allCases()[0], Action::fileSelection);
    EXPECT_EQ(rawValue(Action::fileSelection), "fileSelection");
    EXPECT_EQ(title(Action::fileSelection), "Save Selection");
    EXPECT_EQ(detail(Action::fileSelection), "Saves the selected text, or the page, with its source");
    EXPECT_EQ(defaultsKey(Action::fileSelection), "shortcut.fileSelection");
    EXPECT_EQ(hotKeyID(Action::fileSelection), 1);
    EXPECT_EQ(defaultShortcut(Action::fileSelection), saveDefault);
    EXPECT_EQ(rawValue(Action::visualMode), "visualMode");
    EXPECT_EQ(title(Action::visualMode), "Visual Mode");
    EXPECT_EQ(detail(Action::visualMode), "Starts or stops Visual mode");
    EXPECT_EQ(defaultsKey(Action::visualMode), "shortcut.visualMode");
    EXPECT_EQ(hotKeyID(Action::visualMode), 2);
    EXPECT_EQ(defaultShortcut(Action::visualMode), visualDefault);
    EXPECT_EQ(fromRaw("visualMode"), Action::visualMode);
    EXPECT_EQ(fromRaw("VisualMode"), std::nullopt);
}

TEST(AppCommandTest, MenusAndShortcutsInOrder) {
    const auto& all = AppCommands::allCases();
    ASSERT_EQ(all.size(), 26u);
    std::string listing;
    for (auto c : all) {
        listing += AppCommands::rawValue(c) + "|" + AppCommands::title(c) + "|" + AppCommands::menu(c) + "|" +
                   AppCommands::shortcut(c).display() + "\n";
        EXPECT_EQ(AppCommands::fromRaw(AppCommands::rawValue(c)), c);
    }
    EXPECT_EQ(listing, "settings|Settings\u2026|BRELL|\u2318,\n"
                       "hide|Hide BRELL|BRELL|\u2318H\n"
                       "quit|Quit BRELL|BRELL|\u2318Q\n"
                       "newBrell|New Brell|File|\u2318N\n"
                       "exportBrief|Export Brief\u2026|File|\u2318E\n"
                       "closeWindow|Close Window|File|\u2318W\n"
                       "undo|Undo|Edit|\u2318Z\n"
                       "redo|Redo|Edit|\u21E7\u2318Z\n"
                       "cut|Cut|Edit|\u2318X\n"
                       "copy|Copy|Edit|\u2318C\n"
                       "paste|Paste|Edit|\u2318V\n"
                       "selectAll|Select All|Edit|\u2318A\n"
                       "find|Find|Edit|\u2318F\n"
                       "ask|Ask BRELL\u2026|Edit|\u2318K\n"
                       "deleteItem|Delete Item\u2026|Edit|\u2318\u232B\n"
                       "brells|Brells|View|\u23181\n"
                       "activity|Activity|View|\u23182\n"
                       "saved|Saved|View|\u23183\n"
                       "notes|Notes|View|\u23184\n"
                       "evidence|Evidence|View|\u23185\n"
                       "back|Back|View|\u2318[\n"
                       "forward|Forward|View|\u2318]\n"
                       "inspector|Show or Hide Inspector|View|\u2325\u2318I\n"
                       "openWindow|BRELL|Window|\u23180\n"
                       "minimize|Minimize|Window|\u2318M\n"
                       "keyboardShortcuts|Keyboard Shortcuts|Help|\u2318/\n");
}

TEST(ShortcutSettingTest, Resolve) {
    const KeyShortcut optionSpace(KeyCode::space, KeyModifiers::option());
    const KeyShortcut stored(KeyCode::k, hyper);
    struct Case {
        const char* name;
        Action action;
        std::optional<std::string> stored;
        std::optional<std::string> legacy;
        Resolved value;
        bool migrated;
    } cases[] = {
        {"switched off", Action::fileSelection, "none", "optionSpace", Resolved::off(), false},
        {"switched off visual", Action::visualMode, "none", std::nullopt, Resolved::off(), false},
        {"stored wins over legacy", Action::fileSelection, stored.storageString(), "optionSpace", Resolved::of(stored),
         false},
        {"nothing stored", Action::fileSelection, std::nullopt, std::nullopt, Resolved::of(saveDefault), false},
        {"legacy preset carried over", Action::fileSelection, std::nullopt, "optionSpace", Resolved::of(optionSpace),
         true},
        {"unreadable stored falls to legacy", Action::fileSelection, "garbage", "cmdShiftY",
         Resolved::of(KeyShortcut(KeyCode::y, KeyModifiers::shift() | KeyModifiers::command())), true},
        {"unknown legacy", Action::fileSelection, std::nullopt, "cmdOptionZ", Resolved::of(saveDefault), false},
        {"legacy is not visual's", Action::visualMode, std::nullopt, "optionSpace", Resolved::of(visualDefault), false},
        {"unreadable stored visual", Action::visualMode, "10:6400", std::nullopt, Resolved::of(visualDefault), false},
        {"None is not none", Action::visualMode, "None", std::nullopt, Resolved::of(visualDefault), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = ShortcutSetting::resolve(c.action, c.stored, c.legacy);
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.migrated, c.migrated);
    }
}

TEST(ShortcutSettingTest, LegacyPresetsAndStorageValues) {
    EXPECT_EQ(ShortcutSetting::legacyPreset("cmdShiftY"),
              KeyShortcut(KeyCode::y, KeyModifiers::shift() | KeyModifiers::command()));
    EXPECT_EQ(ShortcutSetting::legacyPreset("optionSpace"), KeyShortcut(KeyCode::space, KeyModifiers::option()));
    EXPECT_EQ(ShortcutSetting::legacyPreset("ctrlOptCmdP"), KeyShortcut(KeyCode::p, hyper));
    EXPECT_EQ(ShortcutSetting::legacyPreset("cmdshifty"), std::nullopt);
    EXPECT_EQ(ShortcutSetting::legacyPreset(std::nullopt), std::nullopt);

    EXPECT_EQ(ShortcutSetting::storageValue(Resolved::off()), "none");
    EXPECT_EQ(ShortcutSetting::storageValue(Resolved::of(saveDefault)), "1:6400");
    EXPECT_NE(Resolved::off(), Resolved::of(saveDefault));
    EXPECT_EQ(Resolved::off(), Resolved::off());
}

TEST(ShortcutSettingTest, ResolveAllReadsEachActionsKeyAndTheLegacyKeyOnce) {
    std::map<std::string, std::string> settings = {{"hotKey", "ctrlOptCmdP"}, {"shortcut.visualMode", "none"}};
    std::vector<std::string> asked;
    auto all = ShortcutSetting::resolveAll([&](const std::string& key) -> std::optional<std::string> {
        asked.push_back(key);
        auto found = settings.find(key);
        return found == settings.end() ? std::nullopt : std::optional<std::string>(found->second);
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"hotKey", "shortcut.fileSelection", "shortcut.visualMode"}));
    EXPECT_EQ(all.at(Action::fileSelection).value, Resolved::of(KeyShortcut(KeyCode::p, hyper)));
    EXPECT_TRUE(all.at(Action::fileSelection).migrated);
    EXPECT_EQ(all.at(Action::visualMode).value, Resolved::off());
}

} // namespace
} // namespace brell
