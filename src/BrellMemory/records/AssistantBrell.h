#pragma once
// One of the user's brells (projects) as assistants see it: its name and key words as
// the user typed them and the current task, if one is set. Made by the projects side;
// a plain aggregate with equality; thread-safe; throws nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/board/Card.h"
#include "util/Date.h"

namespace brell {

struct AssistantBrell {
    std::string name;                     // typed by the user
    std::vector<std::string> keywords;    // typed by the user
    std::optional<std::string> task;      // the current task
    std::optional<std::string> objective; // the task's objective
    std::optional<Date> taskUpdatedAt;    // when the task last changed

    // Key words from a typed list: pieces between commas, semicolons and line breaks,
    // trimmed of spaces and tabs, kept when longer than 2 characters, in order.
    static std::vector<std::string> terms(std::string_view text);

    // The first 6 key words joined with single spaces; the name when there are none.
    std::string topic() const;

    // The cards, in the given order, that at least one key word matches
    // (Card::matches). No key words give no cards; a blank key word matches every card.
    std::vector<Card> cards(const std::vector<Card>& cards) const;

    bool operator==(const AssistantBrell&) const = default;
};

} // namespace brell
