#pragma once
// One Visual-mode recording (a `visual_session` row): pictures of one application
// window the user chose to capture, the window text read alongside, and the user's
// note. A plain value; `id` is its identity. Made by MemoryStore::visualSessionFrom;
// thread-safe as any value; throws nothing but std::bad_alloc.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "util/Date.h"

namespace brell {

struct VisualSession {
    // Limits, in user-perceived characters.
    static constexpr std::size_t maxTitleCharacters = 300;
    static constexpr std::size_t maxNoteCharacters = 500;
    static constexpr std::size_t maxTextCharacters = 8000;

    int64_t id = 0; // never reused
    Date startedAt = 0;
    Date endedAt = 0; // time of the latest frame; the start while there is none
    std::string bundleID;
    std::string appName;
    std::string windowTitle;        // at most 300 characters
    std::optional<std::string> url; // page address when known
    std::string note;               // the user's note, trimmed, at most 500 characters
    std::string text;               // distinct window-text lines, at most 8,000 characters
    int64_t frameCount = 0;

    // appName + " — " + windowTitle, or appName alone when the title is empty.
    std::string label() const;

    bool operator==(const VisualSession&) const = default;
};

} // namespace brell
