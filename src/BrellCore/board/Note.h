#pragma once
// An explanation attached to a card, written by the user or by an AI provider. A plain
// value with equality and hashing over every field. Thread-safe; throws nothing.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "util/Date.h"

namespace brell {

struct Note {
    // Who wrote the explanation; raw values "ai" and "manual".
    enum class Mode { ai, manual };

    Mode mode = Mode::manual;
    std::string explanation;
    std::optional<std::string> caveat;   // a limitation the explanation carries (AI notes)
    std::optional<std::string> provider; // label of the AI provider that wrote it
    Date createdAt = 0;

    bool operator==(const Note&) const = default;
};

std::string rawValue(Note::Mode mode);
// Exactly "ai" or "manual"; nothing for any other text.
std::optional<Note::Mode> noteModeFromRaw(std::string_view text);

} // namespace brell

template <> struct std::hash<brell::Note> { std::size_t operator()(const brell::Note& note) const noexcept; };
