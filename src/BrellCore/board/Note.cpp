#include "BrellCore/board/Note.h"

#include "BrellCore/board/Hashing.h"

namespace brell {

std::string rawValue(Note::Mode mode) {
    switch (mode) {
    case Note::Mode::ai:
        return "ai";
    case Note::Mode::manual:
        return "manual";
    }
    return {};
}

std::optional<Note::Mode> noteModeFromRaw(std::string_view text) {
    if (text == "ai") {
        return Note::Mode::ai;
    }
    if (text == "manual") {
        return Note::Mode::manual;
    }
    return std::nullopt;
}

} // namespace brell

std::size_t std::hash<brell::Note>::operator()(const brell::Note& note) const noexcept {
    std::size_t seed = 0;
    brell::Hashing::combine(seed, static_cast<int>(note.mode));
    brell::Hashing::combine(seed, note.explanation);
    brell::Hashing::combine(seed, note.caveat);
    brell::Hashing::combine(seed, note.provider);
    brell::Hashing::combine(seed, note.createdAt);
    return seed;
}
