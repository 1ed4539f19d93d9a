#pragma once
// One key with its modifiers: the value a global shortcut or a menu command is made of.
// Stored as "keyCode:modifiers" in decimal (⌃⌥⌘S is "1:6400") and encoded in JSON as
// {"keyCode": n, "modifiers": n}. Construction keeps only the modifier bits of
// KeyModifiers::all. A plain value; thread-safe; throws nothing.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/shortcuts/KeyModifiers.h"
#include "util/Json.h"

namespace brell {

struct KeyShortcut {
    uint32_t keyCode = 0;
    KeyModifiers modifiers;

    KeyShortcut() = default;
    KeyShortcut(uint32_t keyCode, KeyModifiers modifiers) : keyCode(keyCode), modifiers(modifiers) {}

    // The storage text read back; nothing unless it is exactly two unsigned 32-bit
    // decimal numbers around ":" and the key has a label.
    static std::optional<KeyShortcut> fromStorageString(std::string_view text);

    // The key's label, or "Key " and the code when it has none.
    std::string keyLabel() const;
    // Modifier symbols then the key label: "⌃⌥⌘S".
    std::string display() const;
    // Each modifier symbol, then the key label, as separate texts.
    std::vector<std::string> keycaps() const;
    // Modifier words then the key label, spaced: "Control Option Command S".
    std::string spoken() const;
    // "1:6400".
    std::string storageString() const;

    Json json() const;
    // Nothing unless `value` is an object whose "keyCode" and "modifiers" are unsigned
    // 32-bit integers.
    static std::optional<KeyShortcut> fromJson(const Json& value);

    bool operator==(const KeyShortcut&) const = default;
};

} // namespace brell

template <> struct std::hash<brell::KeyShortcut> {
    std::size_t operator()(const brell::KeyShortcut& s) const noexcept {
        return std::hash<uint64_t>{}((static_cast<uint64_t>(s.keyCode) << 32) | s.modifiers.rawValue());
    }
};
