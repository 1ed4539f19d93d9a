#pragma once
// The display labels of the user's two global shortcuts, which the help's answers
// mention: saving the selection and starting or stopping Visual mode. A plain value.
#include <map>
#include <string>

#include "BrellCore/shortcuts/ShortcutSetting.h"

namespace brell {

struct HelpShortcuts {
    std::string fileSelection;
    std::string visualMode;

    // The labels of the default shortcuts: ⌃⌥⌘S and ⌃⌥⌘V.
    static HelpShortcuts defaults();
    // The labels of the user's shortcuts; an action switched off keeps its default
    // label, which is what the answers then tell the user to set up again.
    static HelpShortcuts of(const std::map<GlobalShortcutAction, ShortcutSetting::Resolution>& current);

    bool operator==(const HelpShortcuts&) const = default;
};

} // namespace brell
