// Shortcuts as people type them, as stored in the settings, and the system's hot-key
// dictionary: any bytes as each.
//
// Checked: a text either names a shortcut, whose display reads back as the same
// shortcut, or is refused with a sentence of valid UTF-8; judging a shortcut always
// gives a verdict, with a sentence unless it is ok; a storage text that reads writes
// back to a text that reads the same; every system shortcut kept has a labelled key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/ShortcutRules.h"
#include "BrellCore/shortcuts/ShortcutText.h"
#include "BrellCore/shortcuts/SymbolicHotKeys.h"
#include "FuzzSupport.h"
#include "util/Json.h"
#include "util/Text.h"

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    using fuzz::check;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    auto parsed = ShortcutText::parse(text);
    if (parsed.shortcut) {
        check(parsed.refusal.empty(), "a read shortcut has no refusal");
        const std::string shown = parsed.shortcut->display();
        check(ShortcutText::parse(shown).shortcut == parsed.shortcut, "a display reads back", shown);
        for (auto action : GlobalShortcutActions::allCases()) {
            auto verdict = ShortcutRules::check(*parsed.shortcut, action, {}, {}, AppCommands::allCases());
            check(verdict.message().has_value() == (verdict.kind() != ShortcutVerdict::Kind::ok),
                  "only an ok verdict has no sentence", shown);
            if (verdict.message()) {
                check(Text::isValidUTF8(*verdict.message()), "a verdict is valid UTF-8", shown);
            }
        }
    } else {
        check(!parsed.refusal.empty() && Text::isValidUTF8(parsed.refusal), "a refusal is a valid sentence");
    }

    if (auto stored = KeyShortcut::fromStorageString(text)) {
        check(KeyCode::label(stored->keyCode).has_value(), "a stored shortcut has a labelled key");
        check(KeyShortcut::fromStorageString(stored->storageString()) == stored, "a storage text writes back",
              stored->storageString());
    }

    if (auto dictionary = JsonText::parse(text)) {
        for (const auto& s : SymbolicHotKeys::enabled(*dictionary)) {
            check(s.keyCode != SymbolicHotKeys::noKey && KeyCode::label(s.keyCode).has_value(),
                  "a system shortcut has a labelled key", s.storageString());
        }
    }
    return 0;
}
