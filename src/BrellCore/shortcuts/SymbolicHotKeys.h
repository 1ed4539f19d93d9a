#pragma once
// The shortcuts the operating system itself has taken, read from its symbolic hot-key
// dictionary (identifier → {"enabled": bool, "value": {"parameters": [character,
// key code, event flags]}}), given here as JSON. Entries that are switched off, lack a
// key, name a key without a label or are malformed in any way are skipped. Pure;
// thread-safe; throws nothing.
#include <cstdint>
#include <vector>

#include "BrellCore/shortcuts/KeyModifiers.h"
#include "BrellCore/shortcuts/KeyShortcut.h"
#include "util/Json.h"

namespace brell::SymbolicHotKeys {

// The key code the dictionary uses for "no key".
inline constexpr uint32_t noKey = 65535;

// One shortcut per enabled entry with a usable key, in the dictionary's order.
std::vector<KeyShortcut> enabled(const Json& dictionary);

// Event modifier flags: 0x20000 shift, 0x40000 control, 0x80000 option, 0x100000
// command; other bits are ignored.
KeyModifiers fromCocoa(uint64_t flags);

} // namespace brell::SymbolicHotKeys
