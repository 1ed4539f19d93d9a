#pragma once
// One kept window of screen memory (a `screen_capture` row): what the application read
// off the front window, when it was first and last seen, and the summary and topic the
// summariser gave it. A plain value; `id` is its identity. Made by
// MemoryStore::screenFrom; thread-safe as any value; throws nothing but std::bad_alloc.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "util/Date.h"

namespace brell {

struct ScreenCapture {
    // Limits, in user-perceived characters: the window text kept (20 to 8,000), the
    // title kept, and the longest summary still read back.
    static constexpr std::size_t maxTextCharacters = 8000;
    static constexpr std::size_t minTextCharacters = 20;
    static constexpr std::size_t maxTitleCharacters = 300;
    static constexpr std::size_t maxSummaryCharacters = 221;

    int64_t id = 0;
    Date at = 0;     // first time this window text was recorded
    Date lastAt = 0; // last time it was seen
    std::string bundleID;
    std::string appName;
    std::string windowTitle;            // at most 300 characters
    std::optional<std::string> url;     // when the application reported a page address
    std::string text;                   // trimmed, 20 to 8,000 characters
    std::optional<std::string> summary; // only while it still describes `text`
    std::optional<std::string> group;   // topic group; never empty

    // appName + " — " + windowTitle, or appName alone when the title is empty.
    std::string label() const;

    bool operator==(const ScreenCapture&) const = default;
};

} // namespace brell
