#pragma once
// Judges a shortcut the user wants for a global action: rejected when it could not work
// or would break typing or another program, acceptable with a warning when a common app
// or BRELL's own window uses it, acceptable otherwise; each time with the sentence the
// user reads. The first rule that applies decides. Pure; thread-safe; throws nothing.
#include <map>
#include <vector>

#include "BrellCore/shortcuts/AppCommand.h"
#include "BrellCore/shortcuts/GlobalShortcutAction.h"
#include "BrellCore/shortcuts/KeyShortcut.h"
#include "BrellCore/shortcuts/ShortcutVerdict.h"

namespace brell::ShortcutRules {

// `others` holds the actions' current shortcuts (the action being judged may be among
// them and is ignored); `systemTaken` the shortcuts the system has taken; `inApp` the
// application's menu commands to compare with.
ShortcutVerdict check(const KeyShortcut& candidate, GlobalShortcutAction action,
                      const std::map<GlobalShortcutAction, KeyShortcut>& others,
                      const std::vector<KeyShortcut>& systemTaken, const std::vector<AppCommand>& inApp);

// The shortcuts macOS reserves, each with its sentence (rejected).
const std::vector<std::pair<KeyShortcut, std::string>>& reserved();
// Shortcuts common apps use, each with its sentence (warned about).
const std::vector<std::pair<KeyShortcut, std::string>>& commonConflicts();

} // namespace brell::ShortcutRules
