#include "BrellCore/shortcuts/SymbolicHotKeys.h"

#include <limits>
#include <optional>

#include "BrellCore/shortcuts/KeyCode.h"

namespace brell::SymbolicHotKeys {
namespace {

// A whole, non-negative number no larger than `max`. The dictionary comes from a
// property list, so a negative or oversized value is a damaged entry to skip, not a
// reason to stop.
std::optional<uint64_t> whole(const Json& value, uint64_t max) {
    if (value.is_number_unsigned()) {
        auto n = value.get<uint64_t>();
        return n <= max ? std::optional<uint64_t>(n) : std::nullopt;
    }
    auto n = JsonText::integer(value);
    if (!n || *n < 0 || static_cast<uint64_t>(*n) > max) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(*n);
}

// "enabled" is a property-list boolean, which may arrive as true or as the number 1.
bool isEnabled(const Json& value) {
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    return value.is_number_integer() && JsonText::integer(value) == 1;
}

} // namespace

std::vector<KeyShortcut> enabled(const Json& dictionary) {
    std::vector<KeyShortcut> out;
    if (!dictionary.is_object()) {
        return out;
    }
    for (const auto& [id, entry] : dictionary.items()) {
        if (!entry.is_object() || !isEnabled(JsonText::member(entry, "enabled"))) {
            continue;
        }
        const Json& parameters = JsonText::member(JsonText::member(entry, "value"), "parameters");
        if (!parameters.is_array() || parameters.size() < 3) {
            continue;
        }
        auto code = whole(parameters[1], std::numeric_limits<uint32_t>::max());
        auto flags = whole(parameters[2], std::numeric_limits<uint64_t>::max());
        if (!code || !flags || *code == noKey || !KeyCode::label(static_cast<uint32_t>(*code))) {
            continue;
        }
        out.emplace_back(static_cast<uint32_t>(*code), fromCocoa(*flags));
    }
    return out;
}

KeyModifiers fromCocoa(uint64_t flags) {
    KeyModifiers m;
    if ((flags & 0x20000) != 0) {
        m |= KeyModifiers::shift();
    }
    if ((flags & 0x40000) != 0) {
        m |= KeyModifiers::control();
    }
    if ((flags & 0x80000) != 0) {
        m |= KeyModifiers::option();
    }
    if ((flags & 0x100000) != 0) {
        m |= KeyModifiers::command();
    }
    return m;
}

} // namespace brell::SymbolicHotKeys
