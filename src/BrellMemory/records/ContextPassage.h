#pragma once
// One passage from the memory as the connector shows it to an assistant: a stretch of
// a watched video's transcript or of a read article, with where it sits in the source,
// whether the user actually met that part, and a link that opens the source there.
// Made by the memory side (moments and topic context), laid out by
// AssistantFormat::passage. A plain aggregate with equality; thread-safe.
#include <optional>
#include <string>

namespace brell {

struct ContextPassage {
    std::string kind;                    // what it comes from, as a label ("Video transcript", "Article")
    std::string title;                   // the video's or page's title
    std::optional<std::string> location; // where in the source, as display text (a time, a section)
    std::string text;                    // the words, verbatim; may hold line breaks
    std::optional<std::string> status;   // whether the user watched or read this part, as display text
    std::string link;                    // opens the source at this passage

    bool operator==(const ContextPassage&) const = default;
};

} // namespace brell
