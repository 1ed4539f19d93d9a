#pragma once
// The whole text of board.json: an object with "version" (always written as 1, read
// but not checked) and "cards" (the board in order), both required when reading;
// other keys are ignored. A plain value; thread-safe.
//
// The text is pretty-printed with two-space indentation and the keys of every object
// sorted, with forward slashes in strings escaped as "\/" (readers accept both forms).
// docs/board-json.md describes the format.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/board/Card.h"

namespace brell {

struct BoardFile {
    int64_t version = 1;
    std::vector<Card> cards;

    // Throws BoardJson::DecodeError when the text is not a board.
    static BoardFile parse(std::string_view text);

    // Throws nothing: ill-formed UTF-8 in a text is written as U+FFFD.
    std::string text() const;

    bool operator==(const BoardFile&) const = default;
};

} // namespace brell
