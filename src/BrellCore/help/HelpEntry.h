#pragma once
// One entry of the help: a question or situation, its answer, the section it belongs
// to, where its button leads, and extra words it should be found by. Identity is `id`.
// A plain value; thread-safe; throws nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/help/HelpDestination.h"
#include "BrellCore/help/HelpSection.h"

namespace brell {

struct HelpEntry {
    std::string id;
    HelpSection section = HelpSection::whenToUse;
    std::string title;
    std::string body;
    std::optional<HelpDestination> action;
    std::vector<std::string> keywords;

    // Every word of the query (split on spaces) appears somewhere in the title, body,
    // section title or keywords, ignoring case and accents. A query without words
    // matches every entry.
    bool matches(std::string_view query) const;

    bool operator==(const HelpEntry& other) const { return id == other.id; }
};

} // namespace brell
