#pragma once
// One board item: a capture sitting in a lane, with an optional explanation and the
// user's choice to keep it away from AI assistants. Identified by `id`; every board
// operation addresses cards by it. A plain value with equality and hashing over every
// field. Thread-safe; throws nothing.
#include <optional>
#include <string>
#include <string_view>

#include "BrellCore/board/Capture.h"
#include "BrellCore/board/Lane.h"
#include "BrellCore/board/Note.h"
#include "BrellCore/board/UUID.h"
#include "util/Date.h"

namespace brell {

struct Card {
    Card(Capture capture, Lane lane, std::optional<Note> note, UUID id, Date updatedAt,
         std::optional<bool> hiddenFromAssistants);

    UUID id;
    Capture capture;
    Lane lane;
    std::optional<Note> note;
    Date updatedAt;                           // last change; a lane move sets it to now
    std::optional<bool> hiddenFromAssistants; // kept as written: absent and false differ in the file

    // True only when hiddenFromAssistants is present and true.
    bool isHiddenFromAssistants() const { return hiddenFromAssistants.value_or(false); }

    // A blank query (after trimming) matches every card. Otherwise true when the
    // trimmed query occurs, ignoring case (full Unicode case folding), in the capture's text, target address or
    // title, the source's title, address or application, or the note's explanation or
    // caveat. The bundle identifier, the lane and the dates are never searched.
    bool matches(std::string_view query) const;

    bool operator==(const Card&) const = default;
};

} // namespace brell

template <> struct std::hash<brell::Card> { std::size_t operator()(const brell::Card& card) const noexcept; };
