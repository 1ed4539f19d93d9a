#include "BrellCore/help/HelpShortcuts.h"

#include "BrellCore/shortcuts/GlobalShortcutAction.h"

namespace brell {

HelpShortcuts HelpShortcuts::defaults() {
    return {GlobalShortcutActions::defaultShortcut(GlobalShortcutAction::fileSelection).display(),
            GlobalShortcutActions::defaultShortcut(GlobalShortcutAction::visualMode).display()};
}

} // namespace brell

namespace brell {

HelpShortcuts HelpShortcuts::of(const std::map<GlobalShortcutAction, ShortcutSetting::Resolution>& current) {
    auto label = [&current](GlobalShortcutAction action) {
        auto found = current.find(action);
        if (found != current.end() && found->second.value.shortcut()) {
            return found->second.value.shortcut()->display();
        }
        return GlobalShortcutActions::defaultShortcut(action).display();
    };
    return {label(GlobalShortcutAction::fileSelection), label(GlobalShortcutAction::visualMode)};
}

} // namespace brell
