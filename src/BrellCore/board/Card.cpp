#include "BrellCore/board/Card.h"

#include <utility>

#include "BrellCore/board/Hashing.h"
#include "util/Text.h"

namespace brell {

Card::Card(Capture capture, Lane lane, std::optional<Note> note, UUID id, Date updatedAt,
           std::optional<bool> hiddenFromAssistants)
    : id(id), capture(std::move(capture)), lane(lane), note(std::move(note)), updatedAt(updatedAt),
      hiddenFromAssistants(hiddenFromAssistants) {}

bool Card::matches(std::string_view query) const {
    // Full case folding, so "STRASSE" finds "Straße" and a final sigma matches a capital.
    std::string needle = Text::caseFold(Text::trim(query));
    if (needle.empty()) {
        return true;
    }
    auto contains = [&needle](std::string_view field) {
        return Text::caseFold(field).find(needle) != std::string::npos;
    };
    auto containsIfPresent = [&contains](const std::optional<std::string>& field) { return field && contains(*field); };
    return containsIfPresent(capture.text) || containsIfPresent(capture.targetURL) ||
           containsIfPresent(capture.targetTitle) || contains(capture.source.title) ||
           containsIfPresent(capture.source.url) || contains(capture.source.appName) ||
           (note && (contains(note->explanation) || containsIfPresent(note->caveat)));
}

} // namespace brell

std::size_t std::hash<brell::Card>::operator()(const brell::Card& card) const noexcept {
    std::size_t seed = 0;
    brell::Hashing::combine(seed, card.id);
    brell::Hashing::combine(seed, card.capture);
    brell::Hashing::combine(seed, card.lane);
    brell::Hashing::combine(seed, card.note);
    brell::Hashing::combine(seed, card.updatedAt);
    brell::Hashing::combine(seed, card.hiddenFromAssistants);
    return seed;
}
